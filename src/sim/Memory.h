#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/SlotId.h"

namespace sim {

// The 42 slots of the keyboard's user memory, each item's data in file order
// (16-bit words high byte first). Tones, DSP settings and registrations have
// fixed sizes and always hold data; songs and rhythms share 21504 bytes and
// may be empty.
//
// The memory file is text: a first line "TRV-408 memory 1", then one line per
// slot, "tone S HEX", "dsp S HEX", "registration B S HEX", "song S HEX",
// "rhythm S HEX", where HEX is the item's data as hexadecimal digits in file
// order or "-" for an empty song or rhythm. Lines beginning with '#' and
// blank lines are ignored. Every slot appears exactly once.
class Memory {
 public:
  static constexpr uint32_t kSongRhythmMemory = 21504;
  static constexpr int kTones = 10;
  static constexpr int kDsps = 10;
  static constexpr int kBanks = 4;
  static constexpr int kRegistrationsPerBank = 4;
  static constexpr int kSongs = 2;
  static constexpr int kRhythms = 4;
  static constexpr int kSlots = kTones + kDsps + kBanks * kRegistrationsPerBank + kSongs + kRhythms;

  Memory();  // fixed slots zero-filled, songs and rhythms empty
  static Memory Demo();

  static bool Valid(SlotId id);
  static size_t FixedSize(SlotKind kind);  // 0 for songs and rhythms
  // Where the 8-character data name lies in the item's data; none for
  // registrations, which keep no name on the keyboard.
  static std::optional<size_t> NameOffset(SlotKind kind);

  // These throw std::out_of_range for a slot that does not exist and
  // std::invalid_argument for data the slot cannot hold.
  const std::vector<uint8_t>& Item(SlotId id) const;
  void SetItem(SlotId id, std::vector<uint8_t> data);
  void Clear(SlotId id);  // a fixed slot is zero-filled

  uint32_t FreeBytes() const;
  // What an item in this song or rhythm slot may take, its present content
  // being replaced.
  uint32_t RoomFor(SlotId id) const;

  bool Load(const std::string& path);
  bool Save(const std::string& path) const;

 private:
  static size_t Index(SlotId id);
  void Check(SlotId id, const std::vector<uint8_t>& data) const;

  std::array<std::vector<uint8_t>, kSlots> slots_;
};

}  // namespace sim
