#pragma once

#include <atomic>

// How the caller of an exchange waits for its worker. Without one it simply
// blocks; a window installs one that keeps painting (but takes no input)
// while the keyboard answers.
class ExchangeWaiter {
 public:
  virtual ~ExchangeWaiter() = default;
  // On the caller's thread once the worker runs; returns when `finished`
  // holds, which the worker sets just before it calls Finished().
  virtual void Wait(const std::atomic<bool>& finished) = 0;
  // On the worker's thread, as its last step.
  virtual void Finished() = 0;
};
