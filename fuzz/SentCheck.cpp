#include "SentCheck.h"

#include <cstdio>
#include <cstdlib>

#include "midi/MidiDev.h"

namespace {

[[noreturn]] void Malformed(const char* what, const std::vector<uint8_t>& message) {
  std::fprintf(stderr, "malformed message sent (%s):", what);
  for (uint8_t byte : message) std::fprintf(stderr, " %02X", byte);
  std::fprintf(stderr, "\n");
  std::abort();
}

}  // namespace

void CheckSent(const std::vector<uint8_t>& message) {
  if (message.size() < 12 || message.size() > MidiDev::kBufferSize) Malformed("length", message);
  if (message.front() != 0xF0 || message.back() != 0xF7) Malformed("frame", message);
  for (size_t i = 1; i + 1 < message.size(); ++i) {
    if (message[i] & 0x80) Malformed("8-bit byte", message);
  }
  if (message[1] != 0x44 || message[2] != 0x11 || message[3] != 0x01 || message[4] != 0x7F)
    Malformed("header", message);
  if ((message[5] >> 4) != 4) return;
  const size_t words = message.size() >= 18 ? (message.size() - 15) / 3 : 0;
  if (words == 0 || words > 64 || message.size() != 15 + 3 * words || message[12] != words)
    Malformed("block length", message);
  unsigned sum = 0;
  for (size_t i = 13; i + 1 < message.size(); ++i) sum += message[i];
  if (sum % 128 != 0) Malformed("block checksum", message);
}
