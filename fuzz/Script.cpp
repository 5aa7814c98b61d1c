#include "Script.h"

#include <algorithm>
#include <stdexcept>

std::vector<Script::Record> Script::Parse(const uint8_t* data, size_t size) {
  std::vector<Record> records;
  size_t at = 0;
  while (at + 2 <= size) {
    const uint8_t control = data[at];
    const size_t wanted = data[at + 1] + ((control & 0x04) != 0 ? 256u : 0u);
    at += 2;
    const size_t length = std::min(wanted, size - at);
    const uint8_t timing = control & 0x03;
    records.push_back({timing == 1 || timing == 2 ? static_cast<Timing>(timing) : Timing::kAnswer,
                       std::vector<uint8_t>(data + at, data + at + length)});
    at += length;
  }
  return records;
}

void Script::Append(std::vector<uint8_t>& out, Timing timing, const std::vector<uint8_t>& message) {
  if (message.size() > 511) throw std::length_error("a scripted message holds at most 511 bytes");
  out.push_back(
      static_cast<uint8_t>(static_cast<uint8_t>(timing) | (message.size() > 255 ? 4 : 0)));
  out.push_back(static_cast<uint8_t>(message.size() & 0xFF));
  out.insert(out.end(), message.begin(), message.end());
}
