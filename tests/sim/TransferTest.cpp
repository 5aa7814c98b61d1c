#include <gtest/gtest.h>

#include <numeric>

#include "ProgramSide.h"
#include "sim/Trv408.h"

using program::Bytes;
using sim::Trv408;
using Kind = Trv408::Kind;

namespace {

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return data;
}

void EmptySongsAndRhythms(Trv408& keyboard) {
  for (int s = 0; s < 2; ++s) keyboard.Clear({Kind::Song, 0, s});
  for (int s = 0; s < 4; ++s) keyboard.Clear({Kind::Rhythm, 0, s});
}

TEST(Transfer, ToneGoesOutInOneBlockThenEndOfData) {
  Trv408 keyboard;
  auto answers =
      keyboard.Receive({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x52, 0x00, 0x00, 0x00, 0x03, 0x00, 0xF7});
  ASSERT_EQ(answers.size(), 1u);
  const Bytes& block = answers[0];
  ASSERT_EQ(block.size(), 15u + 3 * 30);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 13),
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x42, 0x00, 0x4F, 0x00, 0x03, 0x00, 0x00, 30}));
  EXPECT_TRUE(program::SoundBlock(block));
  EXPECT_EQ(program::FileOrder(program::BlockWords(block)), keyboard.Item({Kind::Tone, 0, 0}));

  answers =
      keyboard.Receive({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x72, 0x00, 0x00, 0x00, 0x03, 0x01, 0xF7});
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0],
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x72, 0x00, 0x00, 0x00, 0x03, 0x00, 0xF7}));
  // The transfer is over: a further handshake is not answered.
  EXPECT_TRUE(keyboard.Receive(program::Handshake(2, 384, 1)).empty());
}

TEST(Transfer, EmptySongAnswersEndOfDataAtOnce) {
  Trv408 keyboard;
  keyboard.Clear({Kind::Song, 0, 1});
  auto answers = keyboard.Receive(program::RequestData(10, 1));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0],
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x7A, 0x00, 0x00, 0x01, 0x00, 0x00, 0xF7}));
}

TEST(Transfer, BlockAskedForAgainIsSentAgain) {
  Trv408 keyboard;
  auto first = keyboard.Receive(program::RequestData(10, 0));
  ASSERT_EQ(first.size(), 1u);
  auto again = keyboard.Receive(program::Handshake(10, 0, 3));
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0], first[0]);
  auto next = keyboard.Receive(program::Handshake(10, 0, 1));
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(program::BlockNumber(next[0]), 1);
}

TEST(Transfer, FullSongMemoryDownloadsAndUploadsWordForWord) {
  Trv408 keyboard;
  EmptySongsAndRhythms(keyboard);
  const Bytes song = Pattern(21504, 3);
  keyboard.SetItem({Kind::Song, 0, 1}, song);
  EXPECT_EQ(keyboard.FreeBytes(), 0u);

  EXPECT_EQ(program::Download(keyboard, 10, 1), song);

  keyboard.Clear({Kind::Song, 0, 1});
  EXPECT_EQ(keyboard.FreeBytes(), 21504u);
  const Bytes other = Pattern(21504, 99);
  program::Upload(keyboard, 10, 1, other);
  EXPECT_EQ(keyboard.Item({Kind::Song, 0, 1}), other);
  EXPECT_EQ(keyboard.FreeBytes(), 0u);
  EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x26, 32, 1), 21504u);
  EXPECT_EQ(program::Download(keyboard, 10, 1), other);
}

TEST(Transfer, UploadsOfBlockBoundarySizes) {
  for (size_t size : {2u, 128u, 130u, 1000u}) {
    Trv408 keyboard;
    const uint32_t free = keyboard.FreeBytes();
    const Bytes rhythm = Pattern(size, static_cast<uint8_t>(size));
    program::Upload(keyboard, 11, 103, rhythm);
    EXPECT_EQ(keyboard.Item({Kind::Rhythm, 0, 3}), rhythm) << size;
    EXPECT_EQ(keyboard.FreeBytes(), free - size) << size;
    EXPECT_EQ(program::Download(keyboard, 11, 103), rhythm) << size;
  }
}

TEST(Transfer, UploadIsCommittedOnlyByEndOfData) {
  Trv408 keyboard;
  const auto before = keyboard.Item({Kind::Dsp, 0, 4});
  const auto words = program::Words(Pattern(36, 5));
  auto answers = keyboard.Receive(program::Block(9, 104, 0, words));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(program::HandshakeCode(answers[0]), 1);
  EXPECT_EQ(keyboard.Item({Kind::Dsp, 0, 4}), before);
  // The program gives up and asks something else: the upload is dropped.
  EXPECT_TRUE(program::ReadValue(keyboard, 0, 0, 0x00, 14, 0));
  EXPECT_TRUE(keyboard.Receive(program::Handshake(9, 104, 0)).empty());
  EXPECT_EQ(keyboard.Item({Kind::Dsp, 0, 4}), before);

  keyboard.Receive(program::Block(9, 104, 0, words));
  EXPECT_TRUE(keyboard.Receive(program::Handshake(9, 104, 0)).empty());
  EXPECT_EQ(keyboard.Item({Kind::Dsp, 0, 4}), Pattern(36, 5));
}

TEST(Transfer, UnsoundBlocksAreAskedForAgain) {
  Trv408 keyboard;
  const auto words = program::Words(Pattern(60, 1));
  auto bad = program::Block(2, 389, 0, words, 1);
  auto noEnd = program::Block(2, 389, 0, words);
  noEnd.back() = 0x00;
  auto countWrong = program::Block(2, 389, 0, words);
  countWrong[12] = 29;
  auto cut = program::Block(2, 389, 0, words);
  cut.erase(cut.begin() + 20);
  auto highBits = program::Block(2, 389, 0, {0x0001});
  highBits[15] = 0x04;  // bits 14-15 of a word cannot exceed 3
  highBits[16] = (highBits[16] - 4) & 0x7F;
  for (const auto& block : {bad, noEnd, countWrong, cut, highBits}) {
    auto answers = keyboard.Receive(block);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(program::HandshakeCode(answers[0]), 3);
    EXPECT_EQ(answers[0][5], 0x72);
    EXPECT_EQ(answers[0][8] | answers[0][9] << 7, 389);
  }
  auto answers = keyboard.Receive(program::Block(2, 389, 0, words));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(program::HandshakeCode(answers[0]), 1);
  keyboard.Receive(program::Handshake(2, 389, 0));
  EXPECT_EQ(keyboard.Item({Kind::Tone, 0, 5}), Pattern(60, 1));
}

TEST(Transfer, WhatDoesNotFitIsRejected) {
  Trv408 keyboard;
  // A tone is 60 bytes: a 31st word is beyond the slot.
  auto answers = keyboard.Receive(program::Block(2, 384, 0, program::Words(Pattern(62, 0))));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(program::HandshakeCode(answers[0]), 2);

  // A song larger than the free memory is rejected at the block that overflows.
  const uint32_t free = keyboard.FreeBytes();
  const auto words = program::Words(Pattern(free + 2, 0));
  int accepted = 0;
  for (size_t first = 0, number = 0; first < words.size(); first += 64, ++number) {
    std::vector<uint16_t> part(words.begin() + first,
                               words.begin() + std::min(words.size(), first + 64));
    answers = keyboard.Receive(program::Block(10, 1, number, part));
    ASSERT_EQ(answers.size(), 1u);
    if (program::HandshakeCode(answers[0]) != 1) {
      EXPECT_EQ(program::HandshakeCode(answers[0]), 2);
      break;
    }
    ++accepted;
  }
  EXPECT_EQ(accepted, static_cast<int>((words.size() - 1) / 64));
  keyboard.Receive(program::Handshake(10, 1, 0));
  EXPECT_TRUE(keyboard.Item({Kind::Song, 0, 1}).empty());
  EXPECT_EQ(keyboard.FreeBytes(), free);

  // Blocks out of order, or after a short last block.
  answers = keyboard.Receive(program::Block(11, 102, 1, std::vector<uint16_t>(64, 1)));
  EXPECT_EQ(program::HandshakeCode(answers.at(0)), 2);
  keyboard.Receive(program::Block(11, 102, 0, std::vector<uint16_t>(10, 1)));
  answers = keyboard.Receive(program::Block(11, 102, 1, std::vector<uint16_t>(10, 1)));
  EXPECT_EQ(program::HandshakeCode(answers.at(0)), 2);
  // An item the keyboard does not have.
  answers = keyboard.Receive(program::Block(12, 40, 0, {1}));
  EXPECT_EQ(program::HandshakeCode(answers.at(0)), 2);
}

TEST(Transfer, SongReplacingTheSlotsContentMayUseItsSpace) {
  Trv408 keyboard;
  EmptySongsAndRhythms(keyboard);
  keyboard.SetItem({Kind::Song, 0, 0}, Pattern(20000, 0));
  program::Upload(keyboard, 10, 0, Pattern(21504, 1));
  EXPECT_EQ(keyboard.Item({Kind::Song, 0, 0}), Pattern(21504, 1));
  EXPECT_EQ(keyboard.FreeBytes(), 0u);
}

TEST(Transfer, ShortToneUploadKeepsTheRestOfTheSlot) {
  Trv408 keyboard;
  auto before = keyboard.Item({Kind::Tone, 0, 2});
  program::Upload(keyboard, 2, 386, Bytes(20, 0x55));
  std::fill(before.begin(), before.begin() + 20, 0x55);
  EXPECT_EQ(keyboard.Item({Kind::Tone, 0, 2}), before);
}

TEST(Transfer, FreeSpaceFollowsUploadsAndDeletes) {
  Trv408 keyboard;
  EmptySongsAndRhythms(keyboard);
  program::Upload(keyboard, 10, 0, Pattern(5000, 0));
  program::Upload(keyboard, 11, 100, Pattern(1500, 0));
  program::Upload(keyboard, 11, 101, Pattern(4, 0));
  EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x22, 32, 0), 21504u - 6504);
  keyboard.Receive(program::Write(0x21, 8, 0));
  EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x22, 32, 0), 21504u - 5004);
  keyboard.Receive(program::Write(0x20, 8, 0));
  keyboard.Receive(program::Write(0x21, 8, 1));
  EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x22, 32, 0), 21504u);
}

}  // namespace
