#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "protocol/MsgStr.h"

// Says in words what a message on the keyboard's link means, for the
// message logs and the MIDI monitor: parameter reads and writes with the
// parameter's name and value, data requests, data blocks with their words
// and checksum, handshakes, and anything else as foreign SysEx or not SysEx;
// in English, the logs' language, or in Japanese for a window that shows it.
// It remembers the item sizes the keyboard has reported, so that a block of
// a download can say how many blocks the item has. It never throws.
class SysExDecoder {
 public:
  enum class Direction { ToKeyboard, FromKeyboard };

  explicit SysExDecoder(MsgStr::Language language = MsgStr::Language::English)
      : japanese_(language == MsgStr::Language::Japanese) {}

  std::string Meaning(const uint8_t* bytes, size_t size, Direction direction);
  std::string Meaning(const std::vector<uint8_t>& message, Direction direction) {
    return Meaning(message.data(), message.size(), direction);
  }

  // Bytes as uppercase two-digit hexadecimal separated by single blanks.
  static std::string Hex(const uint8_t* bytes, size_t size);

 private:
  std::string Parameter(const uint8_t* bytes, size_t size, Direction direction);
  std::string Block(const uint8_t* bytes, size_t size, Direction direction) const;
  uint32_t KnownSize(uint8_t category, uint32_t item, Direction direction) const;

  bool japanese_;
  std::map<uint32_t, uint32_t> songSizes_;    // by song number
  std::map<uint32_t, uint32_t> rhythmSizes_;  // by rhythm number
};
