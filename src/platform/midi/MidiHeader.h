#pragma once

#include <cstddef>
#include <cstdint>

// Header of one SysEx buffer handed to a MIDI port, the stand-in for the
// system's buffer header. A port changes `bytesRecorded` and `flags` from its
// own thread, always under the MidiEvent mutex it was opened with, and
// signals that event afterwards.
struct MidiHeader {
  static constexpr uint32_t kDone = 0x1;      // the port has handed the buffer back
  static constexpr uint32_t kPrepared = 0x2;  // the buffer may be given to the port
  static constexpr uint32_t kInQueue = 0x4;   // the port holds the buffer

  uint8_t* data;
  uint32_t bufferLength;
  uint32_t bytesRecorded;
  uint32_t flags;
  uint8_t reserved[64 - sizeof(uint8_t*) - 3 * sizeof(uint32_t)];
};
static_assert(sizeof(MidiHeader) == 64, "a buffer header is 64 bytes");
