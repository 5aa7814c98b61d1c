#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim {

// The keyboard's own reading and writing of its SysEx messages: the ten-byte
// header, 7-bit value groups, data blocks of three bytes per word with their
// checksum, and handshakes.
class SysExCodec {
 public:
  static constexpr uint8_t kManufacturer = 0x44;
  static constexpr uint8_t kModelHigh = 0x11;
  static constexpr uint8_t kModelLow = 0x01;
  static constexpr uint8_t kDevice = 0x7F;
  static constexpr size_t kHeaderSize = 10;
  static constexpr int kWordsPerBlock = 64;
  static constexpr uint8_t kBlockFormat = 0x4F;  // three block-number/count bytes, 16-bit words

  enum Command : int { kWrite = 0, kRead = 1, kBlock = 4, kRequestData = 5, kHandshake = 7 };

  struct Header {
    int command;
    int category;
    int parameter;
    uint8_t format;  // index byte count and value width
    int item;
  };

  struct Block {
    int number;
    std::vector<uint16_t> words;
  };

  // The header of a message addressed to this keyboard: F0, 7-bit bytes up to
  // the last, this maker, model and device. Anything else: nullopt. Whether
  // it ends in F7 is for the reader of the body to judge.
  static std::optional<Header> ParseHeader(const std::vector<uint8_t>& message);
  static std::vector<uint8_t> Start(const Header& header);

  static int IndexCount(uint8_t format) { return ((format >> 5) & 0x03) + 1; }
  static int Width(uint8_t format) { return (format & 0x1F) + 1; }
  static int GroupCount(int width) { return (width + 6) / 7; }
  static void AppendGroups(std::vector<uint8_t>& out, uint32_t value, int groups);
  static uint32_t ReadGroups(const std::vector<uint8_t>& message, size_t offset, int groups);

  static std::vector<uint8_t> Handshake(int category, int item, uint8_t code);
  // A block of up to 64 words; `corrupt` spoils its checksum.
  static std::vector<uint8_t> MakeBlock(int category, int item, int number,
                                        std::span<const uint16_t> words, bool corrupt);
  // A sound block: consistent length and word count, 16-bit words, right
  // checksum. Anything else: nullopt.
  static std::optional<Block> ReadBlock(const std::vector<uint8_t>& message);
};

}  // namespace sim
