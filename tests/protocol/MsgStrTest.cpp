#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "midi/MidiResult.h"
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

TEST_F(LocaleTest, EveryTextOfEveryGroupInTheChosenLanguage) {
  using Lookup = std::string (*)(const MsgStr&, int32_t);
  struct Text {
    Lookup lookup;
    int32_t code;
    const char* ja;
    const char* en;
  };
  const Lookup midi = [](const MsgStr& m, int32_t c) { return m.MidiDevText(c, 0); };
  const Lookup sysEx = [](const MsgStr& m, int32_t c) { return m.SysExText(c); };
  const Lookup kbd = [](const MsgStr& m, int32_t c) { return m.KbdDrvText(c); };
  const Lookup stream = [](const MsgStr& m, int32_t c) { return m.StreamText(c); };
  const Lookup operate = [](const MsgStr& m, int32_t c) { return m.OperateText(c); };
  const Lookup status = [](const MsgStr& m, int32_t c) { return m.StatusText(c); };
  const Lookup folder = [](const MsgStr& m, int32_t c) { return m.FolderText(c); };
  const Text texts[] = {
      {midi, 2, "バッファ・メモリを確保できません", "Can't allocate MIDI buffer"},
      {midi, 3, "MIDI入力デバイスをオープンできません", "Can't open the MIDI input device"},
      {midi, 4, "MIDI出力デバイスをオープンできません", "Can't open th MIDI output device"},
      {midi, 5, "MIDI通信タイムアウトエラー", "MIDI Timeout"},
      {midi, 6, "MIDI通信タイムアウトエラー", "MIDI Timeout."},
      {sysEx, 0, "受信を拒否されました", "rejected by keyboard"},
      {sysEx, 1, "通信エラーが発生しました", "communication error occured"},
      {sysEx, 2, "未知のエラーです", "Unknown error"},
      {sysEx, 3, "", ""},
      {sysEx, 4, "キーボードが報告したサイズがメモリの容量を超えています",
       "The keyboard reported a size larger than its memory"},
      {sysEx, 5, "キャンセルしました", "Cancelled"},
      {kbd, 0, "このキーボードは対応していません", "Unknown keyboard type"},
      {kbd, 1, "キーボードが見つかりません", "No keyboard found"},
      {stream, 0, "このファイルはLQDファイルではありません", "No LQD file"},
      {stream, 1, "異なるタイプのデータは転送できません", "Data type is different"},
      {stream, 2, "空き領域が足りません", "Not enough memory"},
      {stream, 3, "指定されたスロットはありません", "No such slot on the keyboard"},
      {stream, 4, "フォルダにバックアップファイルがありません", "No backup files in the folder"},
      {stream, 5, "空のスロットのバックアップファイルを削除できません",
       "Can't remove the backup file of an empty slot"},
      {stream, 6, "フォルダのバックアップは完了していません",
       "The backup in the folder is incomplete"},
      {stream, 7, "ファイルは置き換えましたが、フォルダを同期できませんでした",
       "The file was replaced, but its folder could not be synced"},
      {operate, 0, "送信元のデータが指定されていません", "Not select a source data"},
      {operate, 1, "送信先のデータが指定されていません", "Not select a distination data"},
      {operate, 2, "受信元のデータが指定されていません", "Not select a source data"},
      {operate, 3, "受信先のデータが指定されていません", "Not select a distination data"},
      {operate, 4, "削除するデータが選択されていません", "Not select a data"},
      {operate, 5, "ここには転送できません", "Not acceptable"},
      {operate, 6, "まず一覧を取得して下さい", "Get list first!!"},
      {status, 0, "一覧の取得中...", "Get list..."},
      {status, 1, "データを送信中...", "Sending a data..."},
      {status, 2, "データを受信中...", "Receiving a data..."},
      {status, 3, "データを削除中...", "Deleting a data..."},
      {status, 4, "空のスロット %1 個はスキップしました", "Skipped %1 empty slot(s)"},
      {folder, 0, "ファイル フォルダﾞ", "Folder"},
  };

  setenv("LANG", "ja_JP.UTF-8", 1);
  const MsgStr ja;
  setenv("LANG", "de_DE.UTF-8", 1);
  const MsgStr en;
  for (const Text& text : texts) {
    EXPECT_EQ(text.lookup(ja, text.code), text.ja) << text.en;
    EXPECT_EQ(text.lookup(en, text.code), text.en) << text.ja;
  }
  EXPECT_EQ(en.FileText(false, "/tmp/a.lqd"), "Cannot open file /tmp/a.lqd");
  EXPECT_EQ(en.FileText(true, "/tmp/a.lqd"), "Cannot create file /tmp/a.lqd");
  EXPECT_EQ(ja.FileText(false, "a.lqd"), "ファイル a.lqd は開けません");
  EXPECT_EQ(ja.FileText(true, "a.lqd"), "ファイル a.lqd を作成できません");
}

TEST(MsgStr, OutOfRangeGivesAnEmptyText) {
  for (const MsgStr& msg :
       {MsgStr(MsgStr::Language::English), MsgStr(MsgStr::Language::Japanese)}) {
    EXPECT_EQ(msg.MidiDevText(7, 0), "");
    EXPECT_EQ(msg.MidiDevText(-1, 0), "");
    EXPECT_EQ(msg.SysExText(3), "");
    EXPECT_EQ(msg.SysExText(6), "");
    EXPECT_EQ(msg.KbdDrvText(2), "");
    EXPECT_EQ(msg.StreamText(16), "");
    EXPECT_EQ(msg.OperateText(7), "");
    EXPECT_EQ(msg.StatusText(-1), "");
    EXPECT_EQ(msg.FolderText(1), "");
  }
}

// A translation that drops a placeholder would show a raw "%1" or lose a
// value; one without its mnemonic would leave a menu item without its key.
TEST(MsgStr, EveryWordInBothLanguagesWithTheSamePlaceholdersAndMnemonic) {
  const MsgStr en(MsgStr::Language::English);
  const MsgStr ja(MsgStr::Language::Japanese);
  const auto marks = [](const std::string& text) {
    std::string found;
    for (size_t i = 0; i + 1 < text.size(); ++i)
      if (text[i] == '%' || (text[i] == '&' && text[i + 1] != ' ')) found += text.substr(i, 2);
    std::sort(found.begin(), found.end());
    // Mnemonics are the same key in either case.
    std::transform(found.begin(), found.end(), found.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return found;
  };
  for (int32_t word = 0; word < MsgStr::kWordCount; ++word) {
    const std::string english = en.WordText(static_cast<MsgStr::Word>(word));
    const std::string japanese = ja.WordText(static_cast<MsgStr::Word>(word));
    EXPECT_FALSE(english.empty()) << word;
    // "OK" is the button's caption in Japanese dialogs too.
    if (word != MsgStr::kWordOk) {
      EXPECT_NE(english, japanese) << word;
    }
    EXPECT_EQ(marks(english), marks(japanese)) << english << " / " << japanese;
  }
  EXPECT_EQ(en.WordText(MsgStr::kWordCount), "");
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

}  // namespace
