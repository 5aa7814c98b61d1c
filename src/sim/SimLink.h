#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/Trv408.h"

namespace sim {

struct Timing {
  bool cable = false;  // 31250 baud: 320 µs per byte in each direction
  std::chrono::microseconds replyDelay{0};  // the keyboard's own time to answer
};

// The keyboard at the far end of a MIDI cable pair, on a thread of its own so
// that it behaves like a device: messages from the program arrive after
// their wire time, answers go out after the reply delay and their wire time.
class SimLink {
 public:
  using Sink = std::function<void(const Message&)>;

  SimLink(Trv408& keyboard, Timing timing);
  ~SimLink();  // stops the thread; undelivered messages are dropped

  void SetTiming(Timing timing);
  // Where the keyboard's messages go (the program's MIDI input).
  void SetSink(Sink sink);
  // A message from the program; `sent` runs on the link's thread once it has
  // gone out over the wire (never, under Fault::StallOutput).
  void Send(const Message& message, std::function<void()> sent);
};

}  // namespace sim
