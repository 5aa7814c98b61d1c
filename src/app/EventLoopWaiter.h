#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>

#include "midi/ExchangeWaiter.h"

class QEventLoop;

// Waits for an exchange in a local event loop that takes no user input, so
// that the window keeps painting (and never looks hung) while the keyboard
// answers, yet no command can start inside another.
class EventLoopWaiter : public QObject, public ExchangeWaiter {
 public:
  void Wait(const std::atomic<bool>& finished) override;
  void Finished() override;

 private:
  QEventLoop* loop_ = nullptr;
  // Tells the wake-up of one exchange from that of the next: a wake-up still
  // queued when its exchange has ended must not end the next one's loop.
  std::atomic<uint64_t> generation_{0};
};
