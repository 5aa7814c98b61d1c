#include "support/SimDriver.h"

#include <stdexcept>

#include "midi/MidiDev.h"

SimDriver::SimDriver(sim::Timing timing) : link_(keyboard_, timing, *this) {
  link_.SetSink([this](const sim::Message& message, TimePoint at) {
    if (inOpen_ && running_ != nullptr) running_->Arrived(message.data(), message.size(), at);
  });
}

void SimDriver::At(TimePoint when, std::function<void()> action) {
  events_.emplace(std::pair{std::max(when, now_), posted_++}, std::move(action));
}

void SimDriver::Inject(std::vector<uint8_t> message, TimePoint at) {
  At(at, [this, message = std::move(message)] {
    if (inOpen_ && running_ != nullptr) running_->Arrived(message.data(), message.size(), now_);
  });
}

MidiResult SimDriver::OpenIn(unsigned device) {
  if (device != kPort) return midi_result::kBadDeviceId;
  inOpen_ = true;
  return midi_result::kOk;
}

MidiResult SimDriver::OpenOut(unsigned device) {
  if (device != kPort) return midi_result::kBadDeviceId;
  outOpen_ = true;
  return midi_result::kOk;
}

// What has arrived by now came before the request: the device is shown it
// first, while nothing waits.
MidiResult SimDriver::Send(const uint8_t* data, size_t size) {
  if (!outOpen_) return midi_result::kInvalidHandle;
  const sim::Message message(data, data + size);
  if (onSend_) onSend_(message);
  while (RunNext(now_)) {
  }
  const uint64_t serial = ++sent_;
  link_.Send(message, [this, serial] {
    if (running_ != nullptr && serial == sent_) running_->OutputDone(now_);
  });
  return midi_result::kOk;
}

bool SimDriver::RunNext(TimePoint limit) {
  if (events_.empty() || events_.begin()->first.first > limit) return false;
  auto first = events_.begin();
  now_ = first->first.first;
  std::function<void()> action = std::move(first->second);
  events_.erase(first);
  action();
  return true;
}

// An event exactly at the deadline comes too late: the device has failed by
// then.
void SimDriver::Start(MidiDev& device, Task<void>& task, std::function<void()> ended) {
  MidiDev* outer = std::exchange(running_, &device);
  task.Start();
  while (!task.Done()) {
    const auto deadline = device.Deadline();
    if (events_.empty() && !deadline) {
      running_ = outer;
      throw std::logic_error("the work waits for something that never comes");
    }
    if (!deadline) {
      RunNext(TimePoint::max());
    } else if (!RunNext(*deadline - TimePoint::duration(1))) {
      now_ = std::max(now_, *deadline);
      device.Expire(now_);
    }
  }
  running_ = outer;
  if (ended) ended();
}
