// The simulated keyboard's request handling fed any sequence of messages,
// with any of its fault modes in force: it must never fail, and everything
// it sends, but an echo of what it was sent, must be a message the program's
// port can carry.
//
// Input: the fault (low four bits: the Fault in declaration order, 13 and
// above none; high four bits: how many occasions, 0 for good), then the
// messages (Script; the timing bits are not used).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Script.h"
#include "sim/Trv408.h"

namespace {

[[noreturn]] void Bad(const char* what, const sim::Message& message) {
  std::fprintf(stderr, "keyboard sent a bad message (%s):", what);
  for (uint8_t byte : message) std::fprintf(stderr, " %02X", byte);
  std::fprintf(stderr, "\n");
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  sim::Trv408 keyboard;
  const int fault = data[0] & 0x0F;
  if (fault <= static_cast<int>(sim::Fault::HugeSize))
    keyboard.SetFault(static_cast<sim::Fault>(fault), data[0] >> 4);
  const bool longAnswers = fault == static_cast<int>(sim::Fault::LongAnswer);
  // A thru loop gives back whatever came, formed or not.
  const bool echoes = fault == static_cast<int>(sim::Fault::Echo);

  for (const auto& record : Script::Parse(data + 1, size - 1)) {
    for (const auto& answer : keyboard.Receive(record.message)) {
      if (echoes && answer == record.message) continue;
      if (answer.size() < 9 || answer.front() != 0xF0 || answer.back() != 0xF7)
        Bad("frame", answer);
      if (answer.size() > 256 && !longAnswers) Bad("length", answer);
      for (size_t i = 1; i + 1 < answer.size(); ++i) {
        if (answer[i] & 0x80) Bad("8-bit byte", answer);
      }
    }
  }
  if (keyboard.FreeBytes() > sim::Trv408::kSongRhythmMemory) std::abort();
  return 0;
}
