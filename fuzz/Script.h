#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A fuzz input read as a sequence of MIDI messages. Each record is a
// control byte, a length byte and the message:
//
//   control bits 0-1: when the message arrives (Timing); bit 2: 256 is
//   added to the length, so that messages longer than a port buffer occur.
//
// A record cut short by the end of the input keeps the bytes that are there.
class Script {
 public:
  enum class Timing : uint8_t {
    kAnswer = 0,   // answers the next message the program sends
    kBetween = 1,  // arrives while the input waits between two exchanges
    kEarly = 2,    // arrives after the input started, before the request goes out
  };

  struct Record {
    Timing timing;
    std::vector<uint8_t> message;
  };

  static std::vector<Record> Parse(const uint8_t* data, size_t size);
  static void Append(std::vector<uint8_t>& out, Timing timing, const std::vector<uint8_t>& message);
};
