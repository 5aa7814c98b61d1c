#include "EventLoopWaiter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>

#include "midi/MidiDev.h"

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
    case QEvent::Close:
      return true;
    default:
      return false;
  }
}

}  // namespace

void EventLoopWaiter::Wait(const std::atomic<bool>& woken, MidiClock::TimePoint deadline) {
  QEventLoop loop;
  loop_ = &loop;
  ++generation_;
  if (!woken.load()) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - MidiClock::Steady().Now());
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(std::max<int64_t>(0, left.count()));
    QCoreApplication::instance()->installEventFilter(this);
    if (!woken.load()) loop.exec();
    QCoreApplication::instance()->removeEventFilter(this);
  }
  loop_ = nullptr;
}

void EventLoopWaiter::Wake() {
  const uint64_t generation = generation_.load();
  QMetaObject::invokeMethod(
      this,
      [this, generation] {
        if (loop_ != nullptr && generation == generation_.load()) loop_->quit();
      },
      Qt::QueuedConnection);
}

bool EventLoopWaiter::ForCancelButton(QObject* watched, QEvent* event) const {
  if (cancelButton_ == nullptr || !cancelButton_->isVisible()) return false;
  if (watched == cancelButton_) return event->type() != QEvent::Close;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      break;
    default:
      return false;
  }
  // The pointer's events come to the window first, which hands them to the
  // widget under the pointer, or to the button that holds the press.
  QWidget* top = cancelButton_->window();
  if (watched != top->windowHandle()) return false;
  if (cancelButton_->isDown()) return true;
  return top->childAt(static_cast<QMouseEvent*>(event)->position().toPoint()) == cancelButton_;
}

bool EventLoopWaiter::eventFilter(QObject* watched, QEvent* event) {
  if (!IsUserInput(event->type())) return false;
  if (ForCancelButton(watched, event)) return false;
  if (event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    MidiDev::Instance()->RequestCancel();
  }
  if (event->type() == QEvent::Close) event->ignore();
  return true;
}
