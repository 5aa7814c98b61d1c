#include "WindowJobEvents.h"

#include <QProgressBar>
#include <QStatusBar>

WindowJobEvents::WindowJobEvents(QStatusBar* status, QProgressBar* bar,
                                 std::function<void()> listed, std::function<void()> listChanged)
    : status_(status),
      bar_(bar),
      listed_(std::move(listed)),
      listChanged_(std::move(listChanged)) {}

void WindowJobEvents::Status(const std::string& text) {
  status_->showMessage(QString::fromStdString(text));
  status_->repaint();
}

void WindowJobEvents::Progressed(const Progress& progress) {
  // A bar without a range would show the toolkit's busy animation instead.
  if (progress.maximum > 0) bar_->setRange(0, static_cast<int>(progress.maximum));
  bar_->setValue(progress.maximum > 0 ? static_cast<int>(progress.position) : bar_->minimum());
  bar_->repaint();
}

void WindowJobEvents::Done(const Item& item, Kind kind, const std::string& path) {
  if (kind == Kind::Imported) {
    lastImported = path;
    ++imported;
  } else if (kind == Kind::Sent) {
    lastSent = item.slot;
  }
}

void WindowJobEvents::Clear() {
  lastImported.clear();
  imported = 0;
  lastSent = nullptr;
  failed = kNone;
}
