#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace sim {

// Runs actions on a thread of its own, each at its deadline; actions with the
// same deadline run in the order they were posted. The thread sleeps on a
// condition variable until the earliest deadline or a new action.
class TimedQueue {
 public:
  using Clock = std::chrono::steady_clock;

  TimedQueue();
  // Stops the thread; actions not yet run are dropped. Not from one of the
  // queue's own actions: the thread cannot wait for itself.
  ~TimedQueue();
  TimedQueue(const TimedQueue&) = delete;
  TimedQueue& operator=(const TimedQueue&) = delete;

  void Post(Clock::time_point deadline, std::function<void()> action);
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

}  // namespace sim
