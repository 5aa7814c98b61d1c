#include "ScriptedDriver.h"

#include <stdexcept>
#include <utility>

#include "midi/MidiDev.h"

void ScriptedDriver::Play(const uint8_t* data, size_t size) {
  auto records = Script::Parse(data, size);
  script_.assign(std::make_move_iterator(records.begin()), std::make_move_iterator(records.end()));
}

void ScriptedDriver::Queue(Script::Timing timing, const Message& message) {
  script_.push_back({timing, message});
}

void ScriptedDriver::Listen(Listener listener) { listener_ = std::move(listener); }

MidiResult ScriptedDriver::OpenIn(unsigned device) {
  if (device != 0) return midi_result::kBadDeviceId;
  inOpen_ = true;
  return midi_result::kOk;
}

MidiResult ScriptedDriver::OpenOut(unsigned device) {
  if (device != 0) return midi_result::kBadDeviceId;
  outOpen_ = true;
  return midi_result::kOk;
}

void ScriptedDriver::CloseIn() { inOpen_ = false; }

void ScriptedDriver::CloseOut() { outOpen_ = false; }

void ScriptedDriver::Arrive(Message message) {
  if (inOpen_) arrived_.push_back(std::move(message));
}

void ScriptedDriver::HandArrived(MidiDev& device) {
  while (!arrived_.empty()) {
    const Message message = std::move(arrived_.front());
    arrived_.pop_front();
    device.Arrived(message.data(), message.size(), device.Clock().Now());
  }
}

MidiResult ScriptedDriver::Send(const uint8_t* data, size_t size) {
  if (!outOpen_) return midi_result::kInvalidHandle;
  while (!script_.empty() && script_.front().timing != Script::Timing::kAnswer) {
    Arrive(std::move(script_.front().message));
    script_.pop_front();
  }
  // The early records, and an answer left from a request that waited for
  // none, arrive before this request goes out: no exchange waits yet, so
  // the device takes them for strays.
  if (running_ != nullptr) HandArrived(*running_);
  if (listener_) listener_(Message(data, data + size));
  outputDone_ = true;
  if (!script_.empty()) {
    Arrive(std::move(script_.front().message));
    script_.pop_front();
  }
  return midi_result::kOk;
}

void ScriptedDriver::Start(MidiDev& device, Task<void>& task, std::function<void()> ended) {
  MidiDev* outer = std::exchange(running_, &device);
  task.Start();
  while (!task.Done()) {
    if (outputDone_) {
      outputDone_ = false;
      device.OutputDone(device.Clock().Now());
    } else if (!arrived_.empty()) {
      const Message message = std::move(arrived_.front());
      arrived_.pop_front();
      device.Arrived(message.data(), message.size(), device.Clock().Now());
    } else if (const auto deadline = device.Deadline()) {
      device.Expire(*deadline);
    } else {
      running_ = outer;
      throw std::logic_error("the work waits for something no driver brings");
    }
  }
  // The answer to a last request that waited for none comes too late for it.
  HandArrived(device);
  running_ = outer;
  if (ended) ended();
}
