#pragma once

#include <QTimer>
#include <QWidget>
#include <memory>

#include "dialogs/MidiMonitorModel.h"
#include "protocol/MessageRecorder.h"

namespace Ui {
class TMidiMonitorForm;
}

// Every message to and from the keyboard while the window is open, with
// what it means; failures in red. It records from the MIDI device's own
// thread and shows what came in a few times a second, so that a transfer
// never waits for it. Pause stops the display, not the recording.
class TMidiMonitorForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr size_t kKeptMessages = 10000;
  static constexpr int kRefreshMs = 100;

  explicit TMidiMonitorForm(const MsgStr& messages, QWidget* parent = nullptr);
  ~TMidiMonitorForm() override;

  MidiMonitorModel& Model() { return model_; }
  // Shows what has been recorded so far (the timer does this by itself).
  void Refresh();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void ShowCount();
  QString Word(MsgStr::Word word) const;
  void CopyBtnClick();
  void SaveBtnClick();

  std::unique_ptr<Ui::TMidiMonitorForm> ui_;
  const MsgStr& messages_;
  MessageRecorder recorder_{kKeptMessages};
  MidiMonitorModel model_;
  QTimer timer_;
};
