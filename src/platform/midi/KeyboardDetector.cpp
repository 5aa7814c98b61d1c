#include "platform/midi/KeyboardDetector.h"

#include <utility>

KeyboardDetector::KeyboardDetector(MidiService& service, WaitClock& clock,
                                   std::set<unsigned> skipInputs, std::set<unsigned> skipOutputs)
    : service_(service),
      clock_(clock),
      probe_(*this, clock, std::move(skipInputs), std::move(skipOutputs)) {}

KeyboardDetector::~KeyboardDetector() { CloseAll(); }

bool KeyboardDetector::OpenIn(unsigned input) {
  const MidiReceiver receiver = [this, input](const uint8_t* message, size_t size, MidiArrival) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      arrivals_.push_back({input, std::vector<uint8_t>(message, message + size)});
    }
    arrived_.notify_all();
  };
  std::unique_ptr<MidiInPort> port;
  if (service_.OpenIn(input, receiver, port) != midi_result::kOk || !port) return false;
  inputs_[input] = std::move(port);
  return true;
}

bool KeyboardDetector::OpenOut(unsigned output) {
  std::unique_ptr<MidiOutPort> port;
  if (service_.OpenOut(output, port) != midi_result::kOk || !port) return false;
  outputs_[output] = std::move(port);
  return true;
}

bool KeyboardDetector::Send(unsigned output, const std::vector<uint8_t>& message) {
  const auto port = outputs_.find(output);
  return port != outputs_.end() &&
         port->second->Send(message.data(), message.size(), nullptr) == midi_result::kOk;
}

void KeyboardDetector::CloseAll() {
  outputs_.clear();
  // Closed inputs call no more; what they queued goes with them.
  inputs_.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  arrivals_.clear();
}

KeyboardProbe::Result KeyboardDetector::Detect() {
  Task<KeyboardProbe::Result> detection = probe_.Detect();
  detection.Start();
  while (!detection.Done()) {
    std::deque<Arrival> arrived;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      const MidiClock::TimePoint deadline = probe_.Deadline().value_or(clock_.Now());
      clock_.WaitUntil(lock, arrived_, deadline, [this] { return !arrivals_.empty(); });
      arrived.swap(arrivals_);
    }
    for (const Arrival& arrival : arrived)
      probe_.Arrived(arrival.input, arrival.message.data(), arrival.message.size());
    probe_.Expire(clock_.Now());
  }
  return detection.Result();
}
