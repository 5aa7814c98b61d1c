#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "sim/Scheduler.h"
#include "sim/Trv408.h"

namespace sim {

struct Timing {
  bool cable = false;                       // 31250 baud: 320 µs per byte in each direction
  std::chrono::microseconds replyDelay{0};  // the keyboard's own time to answer
};

// The keyboard at the far end of a MIDI cable pair, its events run by a
// scheduler so that it behaves like a device: messages from the program
// arrive after their wire time, answers go out after the reply delay and
// their wire time. Calls may come from any thread.
class SimLink {
 public:
  // A message of the keyboard's and the moment it has come whole over the
  // wire, which is when the scheduler delivers it or a little before.
  using Sink = std::function<void(const Message&, Scheduler::Clock::time_point at)>;

  static constexpr std::chrono::microseconds kByteTime{320};

  // Events still scheduled when the link goes must be dropped by then.
  SimLink(Trv408& keyboard, Timing timing, Scheduler& scheduler);
  ~SimLink();

  void SetTiming(Timing timing);
  // Where the keyboard's messages go (the program's MIDI input). Once it has
  // returned, the previous sink is not running and is not called again.
  void SetSink(Sink sink);
  // A message from the program; `sent` runs from the scheduler once it has
  // gone out over the wire (never, under Fault::StallOutput).
  void Send(const Message& message, std::function<void()> sent);
  // When every message sent so far will have reached the keyboard (a stalled
  // one never does), and when every answer so far will have been delivered.
  // Writes need no answer: this is how an observer knows when the keyboard
  // has taken them.
  Scheduler::Clock::time_point KeyboardFreeAt();
  Scheduler::Clock::time_point ProgramFreeAt();

 private:
  using Clock = Scheduler::Clock;

  std::chrono::microseconds WireTime(size_t bytes) const;
  void Arrived(const Message& message, Clock::time_point at, const std::function<void()>& sent);
  void Deliver(const Message& message, Clock::time_point at);

  Trv408& keyboard_;
  std::mutex mutex_;  // guards the timing and the wire schedule
  Timing timing_;
  Clock::time_point toKeyboardFree_{};  // when the program's last byte is through
  Clock::time_point toProgramFree_{};   // when the keyboard's last byte is through
  std::recursive_mutex sinkMutex_;      // held while the sink runs
  Sink sink_;
  Scheduler& scheduler_;
};

}  // namespace sim
