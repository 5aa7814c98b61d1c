#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "midi/MidiClock.h"

// A clock a thread can wait on: how the waiting drivers and detection wait
// for a port's report or a deadline. Tests put their own in, so that a
// deadline passes without being waited for.
class WaitClock : public MidiClock {
 public:
  // Called with `lock` held: blocks on `cv` until `ready()` holds or the clock
  // has reached `deadline`; returns `ready()`.
  virtual bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                         TimePoint deadline, const std::function<bool()>& ready) = 0;

  // The real monotonic clock (the same time as MidiClock::Steady()).
  static WaitClock& Steady();
};
