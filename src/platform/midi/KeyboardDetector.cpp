#include "platform/midi/KeyboardDetector.h"

#include <utility>

KeyboardDetector::KeyboardDetector(MidiService& service, WaitClock& clock,
                                   std::set<unsigned> skipInputs, std::set<unsigned> skipOutputs)
    : clock_(clock),
      ports_(service,
             [this](unsigned input, const uint8_t* message, size_t size, MidiArrival) {
               {
                 std::lock_guard<std::mutex> lock(mutex_);
                 arrivals_.push_back({input, std::vector<uint8_t>(message, message + size)});
               }
               arrived_.notify_all();
             }),
      probe_(ports_, clock, std::move(skipInputs), std::move(skipOutputs)) {}

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
  // What the closed inputs queued last answers nothing.
  std::lock_guard<std::mutex> lock(mutex_);
  arrivals_.clear();
  return detection.Result();
}
