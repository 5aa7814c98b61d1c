// A whole receive (command 5) against a keyboard that answers with anything:
// blocks of any length and number, handshakes, foreign and cut messages,
// late and early arrivals, silence.
//
// Input: word count of the buffer (2 bytes, low first), category, item
// number (2 bytes, low first), then the keyboard's messages (Script).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ScriptedLink.h"
#include "SentCheck.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  // Up to the largest item the keyboard holds, and a little more.
  const uint32_t wordCount = (data[0] | data[1] << 8) & 0x3FFF;
  std::vector<uint16_t> words(wordCount);
  SysExAddress address;
  address.category = data[2];
  address.itemNumber = data[3] | data[4] << 8;
  address.words = words.empty() ? nullptr : words.data();
  address.wordCount = wordCount;

  ScriptedLink::Driver().Listen(CheckSent);
  ScriptedLink::Driver().Play(data + 5, size - 5);
  ScriptedLink::Begin(QnSysEx::kReceiveBlocks, &address);
  try {
    RunToEnd(ScriptedLink::Protocol().Transact());
  } catch (const QnException&) {
  }
  return 0;
}
