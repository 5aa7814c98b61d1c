#pragma once

#include <QAbstractButton>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <cstdint>

#include "platform/midi/ServiceDriver.h"

class QEventLoop;

// Waits for an exchange in a local event loop, so that the window keeps
// painting (and never looks hung) while the keyboard answers. User input
// goes nowhere meanwhile, so that no command can start inside another, but
// for the way to stop the work: Escape, and the cancel button if one is set.
// Both ask for a cancel, which the work honours before its next exchange.
class EventLoopWaiter : public QObject, public ServiceDriver::Waiter {
 public:
  void Wait(const std::atomic<bool>& woken, MidiClock::TimePoint deadline) override;
  void Wake() override;
  void SetCancelButton(QAbstractButton* button) { cancelButton_ = button; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Whether the event is on its way to the visible cancel button.
  bool ForCancelButton(QObject* watched, QEvent* event) const;

  QEventLoop* loop_ = nullptr;
  QPointer<QAbstractButton> cancelButton_;
  // Tells the wake-up of one exchange from that of the next: a wake-up still
  // queued when its exchange has ended must not end the next one's loop.
  std::atomic<uint64_t> generation_{0};
};
