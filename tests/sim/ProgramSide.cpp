#include "ProgramSide.h"

#include <gtest/gtest.h>

namespace program {

namespace {

Bytes Header(int command, int category, int parameter, int format, int item) {
  return {0xF0,
          0x44,
          0x11,
          0x01,
          0x7F,
          static_cast<uint8_t>(command << 4 | category),
          static_cast<uint8_t>(parameter),
          static_cast<uint8_t>(format),
          static_cast<uint8_t>(item & 0x7F),
          static_cast<uint8_t>(item >> 7 & 0x7F)};
}

int Groups(int width) {
  if (width <= 7) return 1;
  if (width <= 14) return 2;
  if (width <= 21) return 3;
  if (width <= 28) return 4;
  return 5;
}

}  // namespace

Bytes Read(int category, int item, int parameter, int width, int index) {
  Bytes m = Header(1, category, parameter, width - 1, item);
  m.push_back(index);
  m.push_back(0xF7);
  return m;
}

Bytes Write(int parameter, int width, uint32_t value) {
  Bytes m = Header(0, 0, parameter, width - 1, 0);
  m.push_back(0);
  for (int i = 0; i < Groups(width); ++i, value >>= 7) m.push_back(value & 0x7F);
  m.push_back(0xF7);
  return m;
}

Bytes RequestData(int category, int item) {
  Bytes m = Header(5, category, 0, 0, item);
  m.push_back(0);
  m.push_back(0xF7);
  return m;
}

Bytes Handshake(int category, int item, uint8_t code) {
  Bytes m = Header(7, category, 0, 0, item);
  m.push_back(code);
  m.push_back(0xF7);
  return m;
}

Bytes Block(int category, int item, int number, const std::vector<uint16_t>& words,
            int checksumDelta) {
  Bytes m = Header(4, category, 0, 0x4F, item);
  m.push_back(number & 0x7F);
  m.push_back(number >> 7 & 0x7F);
  m.push_back(words.size());
  int sum = 0;
  for (uint16_t w : words) {
    for (uint8_t b : {w & 0x7F, w >> 7 & 0x7F, w >> 14}) {
      m.push_back(b);
      sum = (sum + b) & 0x7F;
    }
  }
  m.push_back((0x80 - sum + checksumDelta) & 0x7F);
  m.push_back(0xF7);
  return m;
}

uint32_t Value(const Bytes& answer, int width) {
  uint32_t value = 0;
  for (int i = 0; i < Groups(width); ++i) value += uint32_t{answer.at(11 + i)} << (7 * i);
  return value;
}

std::optional<uint32_t> ReadValue(sim::Trv408& keyboard, int category, int item, int parameter,
                                  int width, int index) {
  auto answers = keyboard.Receive(Read(category, item, parameter, width, index));
  if (answers.size() != 1) return std::nullopt;
  return Value(answers[0], width);
}

std::string Name(sim::Trv408& keyboard, int category, int item, int firstParameter, int index) {
  std::string name;
  for (int p = firstParameter; p <= firstParameter + 1; ++p) {
    auto value = ReadValue(keyboard, category, item, p, 32, index);
    EXPECT_TRUE(value) << "no answer to parameter " << p;
    std::string part;
    for (int shift = 0; shift < 32 && value; shift += 8) {
      char c = static_cast<char>(*value >> shift & 0xFF);
      if (c == 0) break;
      part.insert(part.begin(), c);
    }
    name += part;
  }
  return name;
}

bool SoundBlock(const Bytes& block) {
  if (block.size() < 18 || block[0] != 0xF0 || (block[5] >> 4) != 4 || block.back() != 0xF7) {
    return false;
  }
  int sum = 0;
  for (size_t i = 13; i < block.size() - 2; ++i) sum = (sum + block[i]) & 0x7F;
  return ((sum + block[block.size() - 2]) & 0x7F) == 0;
}

int BlockNumber(const Bytes& block) { return block.at(10) | block.at(11) << 7; }

std::vector<uint16_t> BlockWords(const Bytes& block) {
  std::vector<uint16_t> words;
  for (size_t i = 13; i + 2 < block.size() - 1; i += 3) {
    words.push_back(block[i] | block[i + 1] << 7 | block[i + 2] << 14);
  }
  return words;
}

int HandshakeCode(const Bytes& message) {
  if (message.size() != 12 || message[0] != 0xF0 || message[1] != 0x44 || (message[5] >> 4) != 7) {
    return -1;
  }
  return message[10];
}

std::vector<uint16_t> Words(const Bytes& fileOrder) {
  std::vector<uint16_t> words;
  for (size_t i = 0; i + 1 < fileOrder.size(); i += 2) {
    words.push_back(fileOrder[i] << 8 | fileOrder[i + 1]);
  }
  return words;
}

Bytes FileOrder(const std::vector<uint16_t>& words) {
  Bytes bytes;
  for (uint16_t w : words) {
    bytes.push_back(w >> 8);
    bytes.push_back(w & 0xFF);
  }
  return bytes;
}

Bytes Download(sim::Trv408& keyboard, int category, int item) {
  std::vector<uint16_t> words;
  auto answers = keyboard.Receive(RequestData(category, item));
  for (int expected = 0;; ++expected) {
    EXPECT_EQ(answers.size(), 1u);
    if (answers.size() != 1) return {};
    if (HandshakeCode(answers[0]) == 0) break;
    EXPECT_TRUE(SoundBlock(answers[0]));
    EXPECT_EQ(BlockNumber(answers[0]), expected);
    auto blockWords = BlockWords(answers[0]);
    EXPECT_EQ(answers[0][12], blockWords.size());
    words.insert(words.end(), blockWords.begin(), blockWords.end());
    answers = keyboard.Receive(Handshake(category, item, 1));
  }
  return FileOrder(words);
}

void Upload(sim::Trv408& keyboard, int category, int item, const Bytes& fileOrder) {
  const auto words = Words(fileOrder);
  for (size_t first = 0, number = 0; first < words.size(); first += 64, ++number) {
    const size_t end = std::min(words.size(), first + 64);
    auto answers = keyboard.Receive(
        Block(category, item, number, {words.begin() + first, words.begin() + end}));
    ASSERT_EQ(answers.size(), 1u);
    ASSERT_EQ(HandshakeCode(answers[0]), 1) << "block " << number;
  }
  EXPECT_TRUE(keyboard.Receive(Handshake(category, item, 0)).empty());
}

}  // namespace program
