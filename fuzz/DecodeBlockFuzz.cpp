// DecodeBlock on any message, for a buffer of any size (or none).
//
// Input: word count of the buffer (2 bytes, low first; top bit of the second
// byte: no address at all), then the message.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ScriptedLink.h"
#include "midi/MidiDev.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  QnSysEx& protocol = ScriptedLink::Protocol();
  const uint32_t wordCount = (data[0] | data[1] << 8) & 0x3FFF;
  std::vector<uint16_t> words(wordCount);
  SysExAddress address;
  address.words = words.empty() ? nullptr : words.data();
  address.wordCount = wordCount;
  protocol.SetAddress((data[1] & 0x80) != 0 ? nullptr : &address);

  auto& reply = MidiDev::Instance()->Reply();
  reply.assign(data + 2, data + size);
  if (!protocol.DecodeBlock()) return 0;

  // A sound block is a framed message whose words all lie in the buffer.
  const uint32_t first = ((reply[10] & 0x7Fu) + (reply[11] & 0x7Fu) * 128u) * 64u;
  const uint32_t count = static_cast<uint32_t>(protocol.BytesInBlock() / 2);
  if (reply.front() != 0xF0 || reply.back() != 0xF7 || first + count > wordCount) {
    std::fprintf(stderr, "unsound block taken: words %u to %u of %u\n", first, first + count,
                 wordCount);
    std::abort();
  }
  return 0;
}
