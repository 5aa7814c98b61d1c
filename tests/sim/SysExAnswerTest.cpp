#include <gtest/gtest.h>

#include "ProgramSide.h"
#include "sim/Trv408.h"

using program::Bytes;
using sim::Trv408;
using Kind = Trv408::Kind;

namespace {

// An item of `size` bytes with `name` at `offset`, in file order.
Bytes Named(size_t size, size_t offset, const std::string& name) {
  Bytes data(size, 0x11);
  for (size_t i = 0; i < 8; ++i) data[offset + i] = i < name.size() ? name[i] : ' ';
  return data;
}

TEST(SysExAnswer, KeyboardTypeAndFreeSpaceAnswersHaveTheReadLayout) {
  Trv408 keyboard;
  auto answers =
      keyboard.Receive({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7});
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x00, 0x00, 0x00,
                               0x00, 0x00, 0xF7}));

  keyboard.SetKeyboardType(300);
  answers = keyboard.Receive(program::Read(0, 0, 0x00, 14, 0));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0][11], 300 & 0x7F);
  EXPECT_EQ(answers[0][12], 300 >> 7);

  // Free space: 32-bit width, five value groups after the index byte.
  answers =
      keyboard.Receive({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x22, 0x1F, 0x00, 0x00, 0x00, 0xF7});
  ASSERT_EQ(answers.size(), 1u);
  ASSERT_EQ(answers[0].size(), 17u);
  EXPECT_EQ(Bytes(answers[0].begin(), answers[0].begin() + 11),
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x22, 0x1F, 0x00, 0x00, 0x00}));
  EXPECT_EQ(program::Value(answers[0], 32), keyboard.FreeBytes());
  EXPECT_EQ(answers[0].back(), 0xF7);
}

TEST(SysExAnswer, DemoMemoryIsListedWithNamesAndSizes) {
  Trv408 keyboard;
  for (int s = 0; s < 10; ++s) {
    const auto tone = keyboard.Item({Kind::Tone, 0, s});
    ASSERT_EQ(tone.size(), 60u);
    EXPECT_EQ(program::Name(keyboard, 2, 384 + s, 0x60, 0),
              std::string(tone.begin() + 36, tone.begin() + 44));
    EXPECT_NE(program::Name(keyboard, 2, 384 + s, 0x60, 0), std::string(8, ' '));
    const auto dsp = keyboard.Item({Kind::Dsp, 0, s});
    ASSERT_EQ(dsp.size(), 36u);
    EXPECT_EQ(program::Name(keyboard, 9, 100 + s, 0x30, 0),
              std::string(dsp.begin(), dsp.begin() + 8));
  }
  uint32_t used = 0;
  int songs = 0, rhythms = 0;
  for (int s = 0; s < 2; ++s) {
    const auto song = keyboard.Item({Kind::Song, 0, s});
    EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x26, 32, s), song.size());
    if (!song.empty()) {
      ++songs;
      EXPECT_GE(song.size(), 200u);
      EXPECT_EQ(program::Name(keyboard, 0, 0, 0x27, s),
                std::string(song.begin() + 4, song.begin() + 12));
    }
    used += song.size();
  }
  for (int s = 0; s < 4; ++s) {
    const auto rhythm = keyboard.Item({Kind::Rhythm, 0, s});
    EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x23, 32, s), rhythm.size());
    if (!rhythm.empty()) {
      ++rhythms;
      EXPECT_EQ(program::Name(keyboard, 0, 0, 0x24, s),
                std::string(rhythm.begin() + 2, rhythm.begin() + 10));
    }
    used += rhythm.size();
  }
  EXPECT_EQ(songs, 1);
  EXPECT_EQ(rhythms, 2);
  EXPECT_EQ(keyboard.FreeBytes(), 21504 - used);
  EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x22, 32, 0), 21504 - used);
  for (int b = 0; b < 4; ++b) {
    for (int s = 0; s < 4; ++s) {
      const auto registration = keyboard.Item({Kind::Registration, b, s});
      ASSERT_EQ(registration.size(), 176u);
      EXPECT_NE(registration, Bytes(176, 0));
    }
  }
}

TEST(SysExAnswer, NamesAreReadFromTheItemData) {
  Trv408 keyboard;
  keyboard.SetItem({Kind::Tone, 0, 7}, Named(60, 36, "ORGAN"));
  auto first = program::ReadValue(keyboard, 2, 391, 0x60, 32, 0);
  auto second = program::ReadValue(keyboard, 2, 391, 0x61, 32, 0);
  EXPECT_EQ(first, 0x4F524741u);
  EXPECT_EQ(second, 0x4E202020u);

  keyboard.SetItem({Kind::Dsp, 0, 9}, Named(36, 0, "Cathedrl"));
  EXPECT_EQ(program::Name(keyboard, 9, 109, 0x30, 0), "Cathedrl");
  keyboard.SetItem({Kind::Song, 0, 1}, Named(1234 + 0, 4, "SYNTHPOP"));
  EXPECT_EQ(program::Name(keyboard, 0, 0, 0x27, 1), "SYNTHPOP");
  EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x26, 32, 1), 1234u);
  keyboard.SetItem({Kind::Rhythm, 0, 3}, Named(100, 2, "Samba"));
  EXPECT_EQ(program::Name(keyboard, 0, 0, 0x24, 3), "Samba   ");

  // An empty slot has size 0 and an empty name.
  keyboard.Clear({Kind::Rhythm, 0, 3});
  EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x23, 32, 3), 0u);
  EXPECT_EQ(program::Name(keyboard, 0, 0, 0x24, 3), "");
}

TEST(SysExAnswer, StaysSilentToWhatItDoesNotKnow) {
  Trv408 keyboard;
  const std::vector<Bytes> unknown = {
      program::Read(0, 0, 0x40, 32, 0),    // no such parameter
      program::Read(0, 0, 0x26, 32, 2),    // song 2 does not exist
      program::Read(0, 0, 0x23, 32, 4),    // nor rhythm 4
      program::Read(2, 394, 0x60, 32, 0),  // tone 10
      program::Read(9, 105, 0x60, 32, 0),  // a tone name asked of a DSP item
      program::Read(0, 1, 0x22, 32, 0),    // free space of item 1
      {0xF0, 0x43, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7},  // other maker
      {0xF0, 0x44, 0x11, 0x01, 0x10, 0x10, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7},  // other device
      {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x00, 0x00, 0x00},        // no F7
      {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x00, 0xF7},              // short
      {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x30, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7},  // command 3
      {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x80, 0x00, 0x00, 0xF7},  // 8-bit byte
      program::Handshake(2, 384, 1),  // no transfer under way
      {},
  };
  for (const auto& message : unknown) {
    EXPECT_TRUE(keyboard.Receive(message).empty()) << ::testing::PrintToString(message);
  }
  EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x00, 14, 0), 0u);
}

TEST(SysExAnswer, DeleteWritesFreeTheirSlotAndAnswerNothing) {
  Trv408 keyboard;
  keyboard.SetItem({Kind::Song, 0, 1}, Bytes(1000, 0x42));
  const uint32_t before = keyboard.FreeBytes();
  EXPECT_TRUE(keyboard
                  .Receive({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x00, 0x20, 0x07, 0x00, 0x00, 0x00, 0x01,
                            0x00, 0xF7})
                  .empty());
  EXPECT_TRUE(keyboard.Item({Kind::Song, 0, 1}).empty());
  EXPECT_EQ(keyboard.FreeBytes(), before + 1000);
  EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x22, 32, 0), before + 1000);
  EXPECT_FALSE(keyboard.Item({Kind::Song, 0, 0}).empty());

  const auto rhythm1 = keyboard.Item({Kind::Rhythm, 0, 1});
  ASSERT_FALSE(rhythm1.empty());
  EXPECT_TRUE(keyboard.Receive(program::Write(0x21, 8, 1)).empty());
  EXPECT_TRUE(keyboard.Item({Kind::Rhythm, 0, 1}).empty());
  EXPECT_EQ(keyboard.FreeBytes(), before + 1000 + rhythm1.size());

  // Deleting an empty slot, or one that does not exist, changes nothing.
  const uint32_t now = keyboard.FreeBytes();
  EXPECT_TRUE(keyboard.Receive(program::Write(0x21, 8, 1)).empty());
  EXPECT_TRUE(keyboard.Receive(program::Write(0x20, 8, 2)).empty());
  EXPECT_TRUE(keyboard.Receive(program::Write(0x21, 8, 4)).empty());
  EXPECT_EQ(keyboard.FreeBytes(), now);
  EXPECT_FALSE(keyboard.Item({Kind::Rhythm, 0, 0}).empty());
}

TEST(SysExAnswer, SlotsAreAddressedByTheirItemNumbers) {
  Trv408 keyboard;
  // Registration of bank b, slot s is item 16 + 4s + b: Bank2, User 3 is 30.
  EXPECT_EQ(program::Download(keyboard, 12, 30), keyboard.Item({Kind::Registration, 2, 3}));
  EXPECT_EQ(program::Download(keyboard, 12, 17), keyboard.Item({Kind::Registration, 1, 0}));
  EXPECT_EQ(program::Download(keyboard, 2, 391), keyboard.Item({Kind::Tone, 0, 7}));
  EXPECT_EQ(program::Download(keyboard, 9, 107), keyboard.Item({Kind::Dsp, 0, 7}));
  EXPECT_EQ(program::Download(keyboard, 11, 101), keyboard.Item({Kind::Rhythm, 0, 1}));
  EXPECT_EQ(program::Download(keyboard, 10, 0), keyboard.Item({Kind::Song, 0, 0}));
  EXPECT_TRUE(keyboard.Receive(program::RequestData(12, 32)).empty());
  EXPECT_TRUE(keyboard.Receive(program::RequestData(10, 2)).empty());
}

}  // namespace
