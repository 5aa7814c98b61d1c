#pragma once

#include <condition_variable>
#include <mutex>

// The completion signal shared by MidiDev and its open ports: a port changes a
// header under the mutex and then wakes whoever waits on the condition.
class MidiEvent {
 public:
  template <class Change>
  void Post(Change&& change) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      change();
    }
    cv_.notify_all();
  }
  std::mutex& Mutex() { return mutex_; }
  std::condition_variable& Condition() { return cv_; }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
};
