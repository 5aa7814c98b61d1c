#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "midi/MidiClock.h"
#include "midi/MidiDriver.h"
#include "sim/Scheduler.h"
#include "sim/SimLink.h"
#include "sim/Trv408.h"

// Keyboard work against the simulator on a simulated clock, as the engine's
// tests run it: no threads and no waiting. Start runs a job to its end, the
// clock jumping from one event (a message through the wire, an answer, the
// device's deadline) to the next, so a time-out costs nothing and every run
// is the same. Its ports are number kPort each; messages that reach a closed
// input, or arrive while no job runs, are lost.
class SimDriver : public MidiDriver, public MidiClock, public sim::Scheduler {
 public:
  static constexpr unsigned kPort = 0;

  explicit SimDriver(sim::Timing timing = {});

  sim::Trv408& Keyboard() { return keyboard_; }

  // A message from the keyboard's side of the cable that reaches the program
  // at `at` (another device, a late copy).
  void Inject(std::vector<uint8_t> message, TimePoint at);
  // Called with each message as the program is about to send it; what it
  // injects for the present moment arrives before the message goes out. It
  // may also cancel, or change the keyboard.
  void OnSend(std::function<void(const std::vector<uint8_t>&)> hook) { onSend_ = std::move(hook); }

  TimePoint Now() override { return now_; }
  void At(TimePoint when, std::function<void()> action) override;

  MidiResult OpenIn(unsigned device) override;
  MidiResult OpenOut(unsigned device) override;
  void CloseIn() override { inOpen_ = false; }
  void CloseOut() override { outOpen_ = false; }
  MidiResult Send(const uint8_t* data, size_t size) override;
  void Start(MidiDev& device, Task<void>& task, std::function<void()> ended) override;
  MidiClock& Clock() override { return *this; }

 private:
  bool RunNext(TimePoint limit);

  TimePoint now_{};
  uint64_t posted_ = 0;
  std::map<std::pair<TimePoint, uint64_t>, std::function<void()>> events_;
  sim::Trv408 keyboard_;
  sim::SimLink link_;
  bool inOpen_ = false;
  bool outOpen_ = false;
  MidiDev* running_ = nullptr;
  uint64_t sent_ = 0;  // serial of the last message sent
  std::function<void(const std::vector<uint8_t>&)> onSend_;
};
