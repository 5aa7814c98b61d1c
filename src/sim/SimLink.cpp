#include "sim/SimLink.h"

#include <algorithm>

namespace sim {

SimLink::SimLink(Trv408& keyboard, Timing timing, Scheduler& scheduler)
    : keyboard_(keyboard), timing_(timing), scheduler_(scheduler) {}

SimLink::~SimLink() = default;

void SimLink::SetTiming(Timing timing) {
  std::lock_guard lock(mutex_);
  timing_ = timing;
}

void SimLink::SetSink(Sink sink) {
  std::lock_guard lock(sinkMutex_);
  sink_ = std::move(sink);
}

std::chrono::microseconds SimLink::WireTime(size_t bytes) const {
  return timing_.cable ? kByteTime * static_cast<int64_t>(bytes) : std::chrono::microseconds{0};
}

void SimLink::Send(const Message& message, std::function<void()> sent) {
  if (keyboard_.TakeFault(Fault::StallOutput)) return;
  std::lock_guard lock(mutex_);
  const auto start = std::max(scheduler_.Now(), toKeyboardFree_);
  const auto done = start + WireTime(message.size());
  toKeyboardFree_ = done;
  scheduler_.At(done,
                [this, message, done, sent = std::move(sent)] { Arrived(message, done, sent); });
}

Scheduler::Clock::time_point SimLink::KeyboardFreeAt() {
  std::lock_guard lock(mutex_);
  return toKeyboardFree_;
}

Scheduler::Clock::time_point SimLink::ProgramFreeAt() {
  std::lock_guard lock(mutex_);
  return toProgramFree_;
}

void SimLink::Arrived(const Message& message, Clock::time_point at,
                      const std::function<void()>& sent) {
  if (sent) sent();
  auto answers = keyboard_.Receive(message);
  std::lock_guard lock(mutex_);
  auto ready = at + timing_.replyDelay;
  for (auto& answer : answers) {
    const auto start = std::max(ready, toProgramFree_);
    const auto done = start + WireTime(answer.size());
    toProgramFree_ = done;
    scheduler_.At(done, [this, answer = std::move(answer), done] { Deliver(answer, done); });
    ready = done;
  }
}

void SimLink::Deliver(const Message& message, Clock::time_point at) {
  std::lock_guard lock(sinkMutex_);
  const Sink sink = sink_;
  if (sink) sink(message, at);
}

}  // namespace sim
