#include "platform/midi/TimedQueue.h"

#include "platform/midi/ShortSlice.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

TimedQueue::TimedQueue() : thread_([this] { Run(); }) {}

TimedQueue::~TimedQueue() { Stop(); }

void TimedQueue::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TimedQueue::At(Clock::time_point when, std::function<void()> action) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    actions_.emplace(std::pair{when, posted_++}, std::move(action));
  }
  wake_.notify_all();
}

void TimedQueue::Run() {
#ifdef __linux__
  // Linux lets a sleeping thread wake up to 50 µs late by default; actions
  // that stand for bytes on a cable are due on time.
  prctl(PR_SET_TIMERSLACK, 1UL);
#endif
  const ShortSlice slice;
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (actions_.empty()) {
      wake_.wait(lock);
      continue;
    }
    auto first = actions_.begin();
    if (Clock::now() < first->first.first) {
      wake_.wait_until(lock, first->first.first);
      continue;
    }
    auto action = std::move(first->second);
    actions_.erase(first);
    lock.unlock();
    action();
    lock.lock();
  }
}
