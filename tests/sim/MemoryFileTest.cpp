#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ProgramSide.h"
#include "sim/Trv408.h"

using program::Bytes;
using sim::Trv408;
using Kind = Trv408::Kind;

namespace {

class MemoryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("sim-memory-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::string Contents(const std::string& path) const {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Write(const std::string& path, const std::string& text) const {
    std::ofstream(path) << text;
  }
  // The saved file with line `match` replaced (or removed when `with` is empty).
  std::string Edited(const std::string& text, const std::string& match,
                     const std::string& with) const {
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line)) {
      if (line.rfind(match, 0) == 0) {
        if (!with.empty()) out += with + "\n";
      } else {
        out += line + "\n";
      }
    }
    return out;
  }

  std::filesystem::path dir_;
};

bool SameMemory(const Trv408& a, const Trv408& b) {
  for (int s = 0; s < 10; ++s) {
    if (a.Item({Kind::Tone, 0, s}) != b.Item({Kind::Tone, 0, s})) return false;
    if (a.Item({Kind::Dsp, 0, s}) != b.Item({Kind::Dsp, 0, s})) return false;
  }
  for (int i = 0; i < 16; ++i) {
    if (a.Item({Kind::Registration, i / 4, i % 4}) != b.Item({Kind::Registration, i / 4, i % 4})) {
      return false;
    }
  }
  for (int s = 0; s < 2; ++s) {
    if (a.Item({Kind::Song, 0, s}) != b.Item({Kind::Song, 0, s})) return false;
  }
  for (int s = 0; s < 4; ++s) {
    if (a.Item({Kind::Rhythm, 0, s}) != b.Item({Kind::Rhythm, 0, s})) return false;
  }
  return true;
}

TEST_F(MemoryFile, SavedMemoryLoadsBackSlotForSlot) {
  Trv408 keyboard;
  keyboard.SetItem({Kind::Song, 0, 1}, Bytes(300, 0xA5));
  keyboard.Clear({Kind::Rhythm, 0, 0});
  keyboard.SetItem({Kind::Registration, 3, 2}, Bytes(176, 0xFF));
  ASSERT_TRUE(keyboard.Save(Path("memory.txt")));

  Trv408 other;
  EXPECT_FALSE(SameMemory(keyboard, other));
  ASSERT_TRUE(other.Load(Path("memory.txt")));
  EXPECT_TRUE(SameMemory(keyboard, other));
  EXPECT_EQ(other.FreeBytes(), keyboard.FreeBytes());
  EXPECT_FALSE(std::filesystem::exists(Path("memory.txt.tmp")));
}

TEST_F(MemoryFile, UnreadableFilesAreRefusedAndChangeNothing) {
  Trv408 keyboard;
  keyboard.SetItem({Kind::Song, 0, 1}, Bytes(300, 0xA5));
  ASSERT_TRUE(keyboard.Save(Path("good.txt")));
  const std::string good = Contents(Path("good.txt"));

  const std::vector<std::string> bad = {
      Edited(good, "TRV-408 memory", "TRV-408 memory 2"),
      Edited(good, "tone 3 ", ""),                                   // a slot missing
      good + "tone 3 " + std::string(120, '0') + "\n",               // a slot twice
      Edited(good, "dsp 1 ", "dsp 1 " + std::string(70, '0')),       // wrong fixed size
      Edited(good, "song 0 ", "song 0 abc"),                         // half a byte
      Edited(good, "song 0 ", "song 0 " + std::string(6, 'g')),      // not hex
      Edited(good, "song 0 ", "song 0 " + std::string(43008, '1')),  // over 21504 in all
      Edited(good, "rhythm 1 ", "rhythm 1 " + std::string(6, '1')),  // not whole words
      Edited(good, "registration 0 0 ", "registration 4 0 -"),       // no such bank
      Edited(good, "rhythm 2 ", "rhythm 2 - extra"),
      Edited(good, "rhythm 2 ", "drum 2 -"),
      "",
  };
  Trv408 other;
  for (size_t i = 0; i < bad.size(); ++i) {
    Write(Path("bad.txt"), bad[i]);
    EXPECT_FALSE(other.Load(Path("bad.txt"))) << "case " << i;
  }
  EXPECT_FALSE(other.Load(Path("missing.txt")));
  EXPECT_TRUE(SameMemory(other, Trv408()));

  // Comments, blank lines and CRLF line ends are fine.
  std::string commented = "# saved by hand\n\n";
  for (char c : good) commented += c == '\n' ? std::string("\r\n") : std::string(1, c);
  Write(Path("commented.txt"), commented);
  EXPECT_TRUE(other.Load(Path("commented.txt")));
  EXPECT_TRUE(SameMemory(other, keyboard));
}

TEST_F(MemoryFile, AutoSaveFollowsEveryChange) {
  Trv408 keyboard;
  keyboard.SetAutoSave(Path("auto.txt"));
  EXPECT_FALSE(std::filesystem::exists(Path("auto.txt")));

  program::Upload(keyboard, 10, 1, Bytes(640, 0x3C));
  Trv408 copy;
  ASSERT_TRUE(copy.Load(Path("auto.txt")));
  EXPECT_EQ(copy.Item({Kind::Song, 0, 1}), Bytes(640, 0x3C));

  keyboard.Receive(program::Write(0x21, 8, 0));
  ASSERT_TRUE(copy.Load(Path("auto.txt")));
  EXPECT_TRUE(copy.Item({Kind::Rhythm, 0, 0}).empty());
  EXPECT_TRUE(SameMemory(copy, keyboard));

  keyboard.SetAutoSave("");
  keyboard.Clear({Kind::Song, 0, 1});
  ASSERT_TRUE(copy.Load(Path("auto.txt")));
  EXPECT_FALSE(copy.Item({Kind::Song, 0, 1}).empty());
}

TEST_F(MemoryFile, SetItemRefusesWhatTheSlotCannotHold) {
  Trv408 keyboard;
  EXPECT_THROW(keyboard.SetItem({Kind::Tone, 0, 0}, Bytes(58, 0)), std::invalid_argument);
  EXPECT_THROW(keyboard.SetItem({Kind::Song, 0, 1}, Bytes(21504, 0)), std::invalid_argument);
  EXPECT_THROW(keyboard.SetItem({Kind::Song, 0, 1}, Bytes(3, 0)), std::invalid_argument);
  EXPECT_THROW(keyboard.Item({Kind::Rhythm, 0, 4}), std::out_of_range);
  EXPECT_THROW(keyboard.Item({Kind::Registration, 4, 0}), std::out_of_range);
  keyboard.Clear({Kind::Tone, 0, 0});
  EXPECT_EQ(keyboard.Item({Kind::Tone, 0, 0}), Bytes(60, 0));
}

}  // namespace
