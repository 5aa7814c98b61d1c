#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "sim/Scheduler.h"

// Runs actions on a thread of its own, each at its deadline on the real
// clock; actions with the same deadline run in the order they were posted.
// The thread sleeps on a condition variable until the earliest deadline or a
// new action.
class TimedQueue : public sim::Scheduler {
 public:
  TimedQueue();
  ~TimedQueue() override;  // stops the thread
  TimedQueue(const TimedQueue&) = delete;
  TimedQueue& operator=(const TimedQueue&) = delete;

  Clock::time_point Now() override { return Clock::now(); }
  void At(Clock::time_point when, std::function<void()> action) override;
  // Ends the thread; actions not yet run are dropped and later ones are not
  // taken. Not from one of the queue's own actions: the thread cannot wait
  // for itself.
  void Stop();
  bool OnQueueThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::map<std::pair<Clock::time_point, uint64_t>, std::function<void()>> actions_;
  uint64_t posted_ = 0;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once everything above exists
};
