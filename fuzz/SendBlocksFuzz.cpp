// A whole send (command 4) against a keyboard that answers each block with
// anything: every handshake code, cut and foreign messages, late and early
// arrivals, silence.
//
// Input: bytes to send (2 bytes, low first), words the buffer holds (2 bytes,
// low first), category, item number (2 bytes, low first), then the
// keyboard's messages (Script).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ScriptedLink.h"
#include "SentCheck.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 7) return 0;
  const uint32_t bytes = data[0] | data[1] << 8;
  const uint32_t wordCount = (data[2] | data[3] << 8) & 0x7FFF;
  std::vector<uint16_t> words(wordCount);
  for (uint32_t i = 0; i < wordCount; ++i) words[i] = static_cast<uint16_t>(i * 0x9E37u + 0x79B9u);
  SysExAddress address;
  address.category = data[4];
  address.itemNumber = data[5] | data[6] << 8;
  address.bytesRemaining = bytes;
  address.words = words.empty() ? nullptr : words.data();
  address.wordCount = wordCount;

  ScriptedLink::Driver().Listen(CheckSent);
  ScriptedLink::Driver().Play(data + 7, size - 7);
  ScriptedLink::Begin(QnSysEx::kSendBlocks, &address);
  try {
    RunToEnd(ScriptedLink::Protocol().Transact());
  } catch (const QnException&) {
    return 0;
  }
  // A send that returns has had every byte accepted.
  if (address.bytesRemaining != 0) {
    std::fprintf(stderr, "send ended with %u bytes unsent\n", address.bytesRemaining);
    std::abort();
  }
  return 0;
}
