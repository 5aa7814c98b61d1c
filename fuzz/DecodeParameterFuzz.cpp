// DecodeParameter on any answer (of any length: the port's cut at its
// buffer is not assumed), for any width and index count.
//
// Input: width, index count, then the answer.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "ScriptedLink.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  QnSysEx& protocol = ScriptedLink::Protocol();
  SysExParam parameter;
  parameter.number = 0x22;
  parameter.width = data[0];
  parameter.indexCount = data[1];
  parameter.value = 0xDEADBEEF;

  protocol.SetParameter(&parameter);
  auto& reply = MidiDev::Instance()->Reply();
  reply.assign(data + 2, data + size);
  bool decoded = false;
  try {
    decoded = protocol.DecodeParameter();
  } catch (const QnSysExException&) {
    return 0;
  }
  // Anything that begins a SysEx message is decoded or refused as too short.
  if (decoded != (!reply.empty() && reply[0] == 0xF0)) {
    std::fprintf(stderr, "answer %s\n", decoded ? "decoded without 0xF0" : "not decoded");
    std::abort();
  }
  return 0;
}
