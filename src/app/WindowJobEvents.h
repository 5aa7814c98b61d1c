#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "jobs/JobEvents.h"

class QProgressBar;
class QStatusBar;

// What the window shows of a job as it goes: the status line and the bar,
// repainted at once since the message loop waits while the work runs; the
// keyboard side again when the list changed; and what the job did last, for
// the views to select once it has ended.
class WindowJobEvents : public JobEvents {
 public:
  WindowJobEvents(QStatusBar* status, QProgressBar* bar, std::function<void()> listed,
                  std::function<void()> listChanged);

  void Status(const std::string& text) override;
  void Progressed(const Progress& progress) override;
  void Done(const Item& item, Kind kind, const std::string& path) override;
  void Failed(const Item& item) override { failed = item.index; }
  void Listed() override { listed_(); }
  void ListChanged() override { listChanged_(); }

  // Cleared as a job starts.
  void Clear();
  std::string lastImported;
  size_t imported = 0;
  const QnData* lastSent = nullptr;
  size_t failed = kNone;
  static constexpr size_t kNone = static_cast<size_t>(-1);

 private:
  QStatusBar* status_;
  QProgressBar* bar_;
  std::function<void()> listed_;
  std::function<void()> listChanged_;
};
