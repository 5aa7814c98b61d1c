#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/midi/WaitClock.h"

// A WaitClock whose time moves only when a test says so, for testing the
// exchange limit without waiting for it. Use it with MidiDev::SetClock.
//
// MidiDev waits once for the output to go out and, when it wants a reply,
// once more for the reply; both waits share the deadline start + 1001 ms.
// By default a wait blocks (in real time) until its condition holds and no
// clock time passes, so an exchange that completes behaves as with the
// steady clock. Three ways make time pass:
//
//  - Script({d1, d2, ...}): the n-th next wait sees its completion dn of
//    clock time after it began (after it really happened). kNever: nothing
//    comes, the wait expires at once. Script({0ms, 1000ms}) passes,
//    Script({0ms, 1001ms}) fails with a reply time-out, Script({kNever})
//    fails with an output time-out.
//  - ExpireWhenQuiet(probe): nothing more will arrive. A wait whose condition
//    does not hold expires at once as soon as `probe()` says nothing is on
//    its way (for the built-in keyboard: BuiltInKeyboard::Quiet()). The probe
//    is called with the waiter's lock held and must not take that lock.
//  - Advance(d) from another thread: a waiting exchange gives up when the
//    clock reaches its deadline.
//
// A wait that would block for more than 10 s of real time gives up as well,
// so that a broken test fails instead of hanging.
class TestClock : public WaitClock {
 public:
  using Duration = std::chrono::milliseconds;
  static constexpr Duration kNever{-1};

  TimePoint Now() override {
    std::lock_guard<std::mutex> guard(mutex_);
    return now_;
  }

  void Advance(std::chrono::nanoseconds d) {
    std::lock_guard<std::mutex> guard(mutex_);
    now_ += std::chrono::duration_cast<TimePoint::duration>(d);
  }

  void Script(std::vector<Duration> steps) {
    std::lock_guard<std::mutex> guard(mutex_);
    script_.assign(steps.begin(), steps.end());
  }

  void ExpireWhenQuiet(std::function<bool()> quiet = [] { return true; }) {
    std::lock_guard<std::mutex> guard(mutex_);
    quiet_ = std::move(quiet);
  }

  // Back to plain waits: no script, no expiry.
  void RunNormally() {
    std::lock_guard<std::mutex> guard(mutex_);
    script_.clear();
    quiet_ = nullptr;
  }

  // Waits begun so far.
  int Waits() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return waits_;
  }

  // Returns whether the condition held before the deadline: a completion seen
  // exactly at the deadline is too late.
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                 TimePoint deadline, const std::function<bool()>& ready) override {
    Duration step{0};
    std::function<bool()> quiet;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      ++waits_;
      if (!script_.empty()) {
        step = script_.front();
        script_.pop_front();
      }
      quiet = quiet_;
    }
    const auto realLimit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      if (step != kNever && ready()) {
        std::lock_guard<std::mutex> guard(mutex_);
        const TimePoint seen = now_ + step;
        if (seen >= deadline) {
          now_ = deadline;
          return false;
        }
        now_ = seen;
        return true;
      }
      if (step == kNever || (quiet && quiet()) || Now() >= deadline ||
          std::chrono::steady_clock::now() >= realLimit) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (now_ < deadline) now_ = deadline;
        return false;
      }
      cv.wait_for(lock, std::chrono::milliseconds(1));
    }
  }

 private:
  mutable std::mutex mutex_;
  TimePoint now_ = TimePoint{} + std::chrono::hours(1);
  std::deque<Duration> script_;
  std::function<bool()> quiet_;
  int waits_ = 0;
};
