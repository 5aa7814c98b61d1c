#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "sim/Fault.h"

namespace sim {

using Message = std::vector<uint8_t>;

// The keyboard's side of the SysEx protocol: its user memory (10 tones, 10
// DSP settings, 16 registrations, 2 songs and 4 rhythms sharing 21504 bytes),
// parameter reads and writes, and block transfers in both directions.
// Thread-safe: every public operation takes the object's lock.
class Trv408 {
 public:
  static constexpr uint32_t kSongRhythmMemory = 21504;

  enum class Kind { Tone, Dsp, Registration, Song, Rhythm };
  struct SlotId {
    Kind kind;
    int bank;  // registrations only
    int slot;
  };

  Trv408();  // plausible demo contents

  // Takes one message from the program; returns what the keyboard sends back,
  // in order (usually one message or none).
  std::vector<Message> Receive(const Message& message);

  void SetKeyboardType(int type);
  void SetFault(Fault fault, int count = 1);
  Fault CurrentFault() const;

  // Item data in file order (16-bit words high byte first); empty when the
  // slot holds nothing.
  std::vector<uint8_t> Item(SlotId id) const;
  void SetItem(SlotId id, const std::vector<uint8_t>& data);
  void Clear(SlotId id);
  uint32_t FreeBytes() const;

  // The whole memory as a file; Load returns false for a file it cannot read.
  bool Load(const std::string& path);
  bool Save(const std::string& path) const;
  // Saves to this file after every change of the memory (empty: never).
  void SetAutoSave(const std::string& path);
};

}  // namespace sim
