#include "WebDriver.h"

#include <emscripten.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

#include "midi/MidiDev.h"

WebDriver::WebDriver(SendOut send, Wake wake)
    : send_(std::move(send)), wake_(std::move(wake)), simulator_(*this) {
  simulator_.Link().SetSink([this](const sim::Message& message, TimePoint at) {
    if (in_ == kBuiltInPort && running_ != nullptr)
      running_->Arrived(message.data(), message.size(), at);
  });
}

MidiClock::TimePoint WebDriver::FromMs(double ms) {
  return TimePoint(std::chrono::duration_cast<TimePoint::duration>(
      std::chrono::duration<double, std::milli>(ms)));
}

MidiClock::TimePoint WebDriver::Now() { return FromMs(emscripten_get_now()); }

MidiResult WebDriver::OpenIn(unsigned device) {
  if (device != kPagePort && device != kBuiltInPort) return midi_result::kBadDeviceId;
  in_ = device;
  return midi_result::kOk;
}

MidiResult WebDriver::OpenOut(unsigned device) {
  if (device != kPagePort && device != kBuiltInPort) return midi_result::kBadDeviceId;
  out_ = device;
  return midi_result::kOk;
}

// What the simulator has delivered by now came before the request: the
// device is shown it first, while nothing waits.
MidiResult WebDriver::Send(const uint8_t* data, size_t size) {
  if (!out_) return midi_result::kInvalidHandle;
  const uint64_t serial = ++sent_;
  if (*out_ == kPagePort) {
    if (!send_(data, size)) return midi_result::kInvalidHandle;
    handedOver_ = Now();
    return midi_result::kOk;
  }
  handedOver_.reset();
  while (simulator_.RunDue(Now())) {
  }
  simulator_.Link().Send(sim::Message(data, data + size), [this, serial] {
    if (running_ != nullptr && serial == sent_) running_->OutputDone(Now());
  });
  return midi_result::kOk;
}

void WebDriver::Arrived(const uint8_t* data, size_t size, double atMs) {
  if (in_ != kPagePort || running_ == nullptr) return;
  running_->Arrived(data, size, FromMs(atMs));
  Pump();
}

void WebDriver::ProbeArrived(unsigned input, const uint8_t* data, size_t size) {
  if (probe_ == nullptr) return;
  probe_->Arrived(input, data, size);
  Pump();
}

void WebDriver::Tick() {
  if (task_ != nullptr) Pump();
}

void WebDriver::Pump() {
  if (pumping_) return;
  pumping_ = true;
  while (probe_ != nullptr && !task_->Done()) {
    const std::optional<TimePoint> deadline = probe_->Deadline();
    if (!deadline || Now() < *deadline) break;
    probe_->Expire(Now());
  }
  while (running_ != nullptr && !task_->Done()) {
    const TimePoint now = Now();
    const std::optional<TimePoint> deadline = running_->Deadline();
    if (handedOver_) {
      const TimePoint at = *std::exchange(handedOver_, std::nullopt);
      running_->OutputDone(at);
      continue;
    }
    // An event exactly at the deadline comes too late.
    const TimePoint limit = deadline ? std::min(now, *deadline - TimePoint::duration(1)) : now;
    if (simulator_.RunDue(limit)) continue;
    if (deadline && now >= *deadline) {
      running_->Expire(now);
      continue;
    }
    break;
  }
  pumping_ = false;
  if (task_ == nullptr) return;
  if (task_->Done()) {
    End();
    return;
  }
  std::optional<TimePoint> next;
  if (probe_ != nullptr) {
    next = probe_->Deadline();
  } else {
    next = running_->Deadline();
    if (const auto event = simulator_.NextEvent(); event && (!next || *event < *next)) next = event;
  }
  if (!next) {
    wake_(-1);
    return;
  }
  const std::chrono::duration<double, std::milli> left = *next - Now();
  wake_(std::max(0.0, left.count()));
}

void WebDriver::Start(MidiDev& device, Task<void>& task, std::function<void()> ended) {
  if (task_ != nullptr) throw std::logic_error("a second work while one runs");
  running_ = &device;
  handedOver_.reset();
  Begin(task, std::move(ended));
}

void WebDriver::StartProbe(KeyboardProbe& probe, Task<void>& task, std::function<void()> ended) {
  if (task_ != nullptr) throw std::logic_error("a second work while one runs");
  probe_ = &probe;
  Begin(task, std::move(ended));
}

void WebDriver::Begin(Task<void>& task, std::function<void()> ended) {
  task_ = &task;
  ended_ = std::move(ended);
  task.Start();
  Pump();
}

// Nothing of the work is touched after `ended`, which may start the next.
void WebDriver::End() {
  wake_(-1);
  running_ = nullptr;
  probe_ = nullptr;
  task_ = nullptr;
  std::function<void()> ended = std::move(ended_);
  ended_ = nullptr;
  if (ended) ended();
}
