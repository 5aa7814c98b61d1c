// The monitor's decoder on any sequence of messages, both ways: it must
// never throw, crash or read outside a message, and its words stay one line.
//
// Input: messages, each a length byte (bit 7: from the keyboard) and that
// many bytes, or what is left. A length of 127 takes the next byte as more,
// so that a message can fill the link's 256-byte buffer: a whole data block
// is 207 bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "midi/MidiDev.h"
#include "protocol/SysExDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SysExDecoder decoder;
  for (size_t at = 0; at < size;) {
    const uint8_t lead = data[at++];
    size_t wanted = lead & 0x7F;
    if (wanted == 0x7F && at < size) {
      wanted = std::min<size_t>(wanted + data[at++], MidiDev::kBufferSize);
    }
    const size_t length = std::min(wanted, size - at);
    const auto direction = (lead & 0x80) != 0 ? SysExDecoder::Direction::FromKeyboard
                                              : SysExDecoder::Direction::ToKeyboard;
    const std::string meaning = decoder.Meaning(data + at, length, direction);
    if (meaning.empty() || meaning.find_first_of("\t\n\r") != std::string::npos) std::abort();
    if (SysExDecoder::Hex(data + at, length).size() != (length == 0 ? 0 : 3 * length - 1)) {
      std::abort();
    }
    at += length;
  }
  return 0;
}
