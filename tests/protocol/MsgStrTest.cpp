#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/midi/MidiResult.h"
#include "protocol/MsgStr.h"

namespace {

// Sets the locale variables for one test and puts the old values back.
class LocaleTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < std::size(kNames); ++i) {
      if (saved_[i]) {
        setenv(kNames[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kNames[i]);
      }
    }
  }

  static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(LocaleTest, LanguageFollowsTheFirstSetLocaleVariable) {
  EXPECT_EQ(MsgStr().CurrentLanguage(), MsgStr::Language::English);
  setenv("LANG", "ja_JP.UTF-8", 1);
  EXPECT_EQ(MsgStr().CurrentLanguage(), MsgStr::Language::Japanese);
  setenv("LC_MESSAGES", "", 1);  // empty: not set
  EXPECT_EQ(MsgStr().CurrentLanguage(), MsgStr::Language::Japanese);
  setenv("LC_ALL", "en_US.UTF-8", 1);
  EXPECT_EQ(MsgStr().CurrentLanguage(), MsgStr::Language::English);
  unsetenv("LC_ALL");
  setenv("LANG", "C", 1);
  setenv("LC_MESSAGES", "ja_JP", 1);
  EXPECT_EQ(MsgStr().CurrentLanguage(), MsgStr::Language::Japanese);
  setenv("LC_MESSAGES", "jv_ID", 1);
  EXPECT_EQ(MsgStr().CurrentLanguage(), MsgStr::Language::English);
}

TEST_F(LocaleTest, EveryGroupInTheChosenLanguage) {
  setenv("LANG", "ja_JP.UTF-8", 1);
  const MsgStr ja;
  EXPECT_EQ(ja.MidiDevText(4, 0), "MIDI出力デバイスをオープンできません");
  EXPECT_EQ(ja.SysExText(1), "通信エラーが発生しました");
  EXPECT_EQ(ja.KbdDrvText(0), "このキーボードは対応していません");
  EXPECT_EQ(ja.StreamText(0), "このファイルはLQDファイルではありません");
  EXPECT_EQ(ja.OperateText(2), "受信元のデータが指定されていません");
  EXPECT_EQ(ja.StatusText(0), "一覧の取得中...");
  EXPECT_EQ(ja.FolderText(0), "ファイル フォルダﾞ");

  setenv("LANG", "de_DE.UTF-8", 1);
  const MsgStr en;
  EXPECT_EQ(en.MidiDevText(4, 0), "Can't open th MIDI output device");
  EXPECT_EQ(en.SysExText(1), "communication error occured");
  EXPECT_EQ(en.KbdDrvText(0), "Unknown keyboard type");
  EXPECT_EQ(en.StreamText(0), "No LQD file");
  EXPECT_EQ(en.OperateText(3), "Not select a distination data");
  EXPECT_EQ(en.StatusText(3), "Deleting a data...");
  EXPECT_EQ(en.FolderText(0), "Folder");
}

TEST(MsgStr, TimeoutTextsDifferOnlyInEnglish) {
  const MsgStr en(MsgStr::Language::English);
  const MsgStr ja(MsgStr::Language::Japanese);
  EXPECT_EQ(en.MidiDevText(5, 0), "MIDI Timeout");
  EXPECT_EQ(en.MidiDevText(6, 0), "MIDI Timeout.");
  EXPECT_EQ(ja.MidiDevText(5, 0), "MIDI通信タイムアウトエラー");
  EXPECT_EQ(ja.MidiDevText(6, 0), ja.MidiDevText(5, 0));
}

TEST(MsgStr, OutOfRangeGivesAnEmptyText) {
  for (const MsgStr& msg :
       {MsgStr(MsgStr::Language::English), MsgStr(MsgStr::Language::Japanese)}) {
    EXPECT_EQ(msg.MidiDevText(7, 0), "");
    EXPECT_EQ(msg.MidiDevText(-1, 0), "");
    EXPECT_EQ(msg.SysExText(3), "");
    EXPECT_EQ(msg.SysExText(5), "");
    EXPECT_EQ(msg.KbdDrvText(1), "");
    EXPECT_EQ(msg.StreamText(4), "");
    EXPECT_EQ(msg.OperateText(7), "");
    EXPECT_EQ(msg.StatusText(-1), "");
    EXPECT_EQ(msg.FolderText(1), "");
  }
}

TEST(MsgStr, MidiServiceCodesGetTheirResultText) {
  const MsgStr en(MsgStr::Language::English);
  const MsgStr ja(MsgStr::Language::Japanese);
  EXPECT_EQ(en.MidiDevText(0, midi_result::kBadDeviceId),
            "There is no MIDI input device with that number");
  EXPECT_EQ(en.MidiDevText(1, midi_result::kAllocated), "The MIDI output device is already in use");
  EXPECT_EQ(ja.MidiDevText(0, midi_result::kAllocated), "MIDI入力デバイスは使用中です");
  EXPECT_EQ(en.MidiDevText(0, 999), "MIDI input error 999");
  EXPECT_EQ(ja.MidiDevText(1, 999), "MIDI出力エラー 999");
  for (uint32_t code : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 11u, 64u, 65u, 67u}) {
    EXPECT_EQ(en.MidiResultText(code, true).find("error " + std::to_string(code)),
              std::string::npos)
        << code << " has no text of its own";
  }
}

TEST(MsgStr, SlotAndFileTexts) {
  const MsgStr en(MsgStr::Language::English);
  const MsgStr ja(MsgStr::Language::Japanese);
  EXPECT_EQ(en.SysExText(4), "The keyboard reported a size larger than its memory");
  EXPECT_EQ(ja.SysExText(4), "キーボードが報告したサイズがメモリの容量を超えています");
  EXPECT_EQ(en.StreamText(3), "No such slot on the keyboard");
  EXPECT_EQ(ja.StreamText(3), "指定されたスロットはありません");
  EXPECT_EQ(en.FileText(false, "/tmp/a.lqd"), "Cannot open file /tmp/a.lqd");
  EXPECT_EQ(en.FileText(true, "/tmp/a.lqd"), "Cannot create file /tmp/a.lqd");
  EXPECT_EQ(ja.FileText(false, "a.lqd"), "ファイル a.lqd は開けません");
  EXPECT_EQ(ja.FileText(true, "a.lqd"), "ファイル a.lqd を作成できません");
}

}  // namespace
