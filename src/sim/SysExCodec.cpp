#include "sim/SysExCodec.h"

namespace sim {

std::optional<SysExCodec::Header> SysExCodec::ParseHeader(const std::vector<uint8_t>& message) {
  if (message.size() < kHeaderSize + 1 || message.front() != 0xF0) return std::nullopt;
  for (size_t i = 1; i + 1 < message.size(); ++i) {
    if (message[i] & 0x80) return std::nullopt;
  }
  if (message[1] != kManufacturer || message[2] != kModelHigh || message[3] != kModelLow ||
      message[4] != kDevice) {
    return std::nullopt;
  }
  return Header{message[5] >> 4, message[5] & 0x0F, message[6], message[7],
                message[8] | (message[9] << 7)};
}

std::vector<uint8_t> SysExCodec::Start(const Header& header) {
  return {0xF0,
          kManufacturer,
          kModelHigh,
          kModelLow,
          kDevice,
          static_cast<uint8_t>(((header.command & 0x0F) << 4) | (header.category & 0x0F)),
          static_cast<uint8_t>(header.parameter & 0x7F),
          static_cast<uint8_t>(header.format & 0x7F),
          static_cast<uint8_t>(header.item & 0x7F),
          static_cast<uint8_t>((header.item >> 7) & 0x7F)};
}

void SysExCodec::AppendGroups(std::vector<uint8_t>& out, uint32_t value, int groups) {
  for (int i = 0; i < groups; ++i) {
    out.push_back(value & 0x7F);
    value >>= 7;
  }
}

uint32_t SysExCodec::ReadGroups(const std::vector<uint8_t>& message, size_t offset, int groups) {
  uint32_t value = 0;
  for (int i = 0; i < groups && offset + i < message.size(); ++i) {
    value |= static_cast<uint32_t>(message[offset + i] & 0x7F) << (7 * i);
  }
  return value;
}

std::vector<uint8_t> SysExCodec::Handshake(int category, int item, uint8_t code) {
  auto out = Start({kHandshake, category, 0, 0, item});
  out.push_back(code & 0x7F);
  out.push_back(0xF7);
  return out;
}

std::vector<uint8_t> SysExCodec::MakeBlock(int category, int item, int number,
                                           std::span<const uint16_t> words, bool corrupt) {
  auto out = Start({kBlock, category, 0, kBlockFormat, item});
  out.push_back(number & 0x7F);
  out.push_back((number >> 7) & 0x7F);
  out.push_back(words.size() & 0x7F);
  uint8_t sum = 0;
  for (uint16_t word : words) {
    const uint8_t bytes[3] = {static_cast<uint8_t>(word & 0x7F),
                              static_cast<uint8_t>((word >> 7) & 0x7F),
                              static_cast<uint8_t>(word >> 14)};
    for (uint8_t b : bytes) {
      out.push_back(b);
      sum = (sum + b) & 0x7F;
    }
  }
  uint8_t checksum = (0x80 - sum) & 0x7F;
  if (corrupt) checksum = (checksum + 1) & 0x7F;
  out.push_back(checksum);
  out.push_back(0xF7);
  return out;
}

std::optional<SysExCodec::Block> SysExCodec::ReadBlock(const std::vector<uint8_t>& message) {
  constexpr size_t kFrame = kHeaderSize + 3 + 2;  // number, count; checksum, F7
  if (message.size() < kFrame + 3 || (message.size() - kFrame) % 3 != 0) return std::nullopt;
  const size_t count = (message.size() - kFrame) / 3;
  if (count > kWordsPerBlock || message[12] != count || message.back() != 0xF7 ||
      message[message.size() - 2] > 0x7F) {
    return std::nullopt;
  }
  Block block{message[10] | (message[11] << 7), {}};
  block.words.reserve(count);
  uint8_t sum = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* b = &message[13 + 3 * i];
    if (b[0] > 0x7F || b[1] > 0x7F || b[2] > 0x03) return std::nullopt;
    sum = (sum + b[0] + b[1] + b[2]) & 0x7F;
    block.words.push_back(static_cast<uint16_t>(b[0] | (b[1] << 7) | (b[2] << 14)));
  }
  if (((sum + message[message.size() - 2]) & 0x7F) != 0) return std::nullopt;
  return block;
}

}  // namespace sim
