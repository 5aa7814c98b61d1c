#pragma once

#include <cstdint>

// Result codes of the MIDI service; 0 is success. The numbers follow the
// classic multimedia MIDI service so that stored codes and texts stay
// meaningful across platforms. The message catalog holds their texts.
using MidiResult = uint32_t;

namespace midi_result {
constexpr MidiResult kOk = 0;
constexpr MidiResult kError = 1;          // unspecified error
constexpr MidiResult kBadDeviceId = 2;    // no device with that number
constexpr MidiResult kNotEnabled = 3;     // driver failed to enable
constexpr MidiResult kAllocated = 4;      // device already in use
constexpr MidiResult kInvalidHandle = 5;  // device not open
constexpr MidiResult kNoDriver = 6;       // no MIDI service on this machine
constexpr MidiResult kNoMemory = 7;       // out of memory
constexpr MidiResult kInvalidParam = 11;  // bad header or argument
constexpr MidiResult kUnprepared = 64;    // header not prepared
constexpr MidiResult kStillPlaying = 65;  // buffer still in the queue
constexpr MidiResult kNotReady = 67;      // hardware busy
}  // namespace midi_result
