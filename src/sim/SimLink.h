#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "sim/TimedQueue.h"
#include "sim/Trv408.h"

namespace sim {

struct Timing {
  bool cable = false;                       // 31250 baud: 320 µs per byte in each direction
  std::chrono::microseconds replyDelay{0};  // the keyboard's own time to answer
};

// The keyboard at the far end of a MIDI cable pair, on a thread of its own so
// that it behaves like a device: messages from the program arrive after
// their wire time, answers go out after the reply delay and their wire time.
class SimLink {
 public:
  using Sink = std::function<void(const Message&)>;

  static constexpr std::chrono::microseconds kByteTime{320};

  SimLink(Trv408& keyboard, Timing timing);
  ~SimLink();  // stops the thread; undelivered messages are dropped

  void SetTiming(Timing timing);
  // Where the keyboard's messages go (the program's MIDI input). Once it has
  // returned, the previous sink is not running and is not called again.
  void SetSink(Sink sink);
  // A message from the program; `sent` runs on the link's thread once it has
  // gone out over the wire (never, under Fault::StallOutput).
  void Send(const Message& message, std::function<void()> sent);
  // Blocks until every message sent so far has reached the keyboard and been
  // handled, and every answer it gave has been delivered (a stalled message
  // never arrives and is not waited for). Writes need no answer, so this is
  // how an observer knows the keyboard has taken them.
  void Flush();

 private:
  using Clock = TimedQueue::Clock;

  std::chrono::microseconds WireTime(size_t bytes) const;
  void Arrived(const Message& message, Clock::time_point at, const std::function<void()>& sent);
  void Deliver(const Message& message);

  Trv408& keyboard_;
  std::mutex mutex_;  // guards the timing and the wire schedule
  Timing timing_;
  Clock::time_point toKeyboardFree_{};  // when the program's last byte is through
  Clock::time_point toProgramFree_{};   // when the keyboard's last byte is through
  std::recursive_mutex sinkMutex_;      // held while the sink runs
  Sink sink_;
  TimedQueue queue_;  // last: its thread stops before the rest goes
};

}  // namespace sim
