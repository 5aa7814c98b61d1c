#include "protocol/SysExDecoder.h"

#include <cstdio>

namespace {

constexpr uint8_t kHeader[] = {0xF0, 0x44, 0x11, 0x01, 0x7F};
constexpr size_t kHeaderSize = 10;
constexpr size_t kWordsPerBlock = 64;

enum Command : uint8_t { kWrite = 0, kRead = 1, kBlock = 4, kRequest = 5, kHandshake = 7 };
enum Category : uint8_t { kTone = 2, kDsp = 9, kSong = 10, kRhythm = 11, kRegistration = 12 };

constexpr uint32_t kFirstUserTone = 384;
constexpr uint32_t kFirstUserDsp = 100;
constexpr uint32_t kFirstUserRhythm = 100;
constexpr uint32_t kFirstRegistration = 16;
constexpr uint32_t kToneBytes = 60;
constexpr uint32_t kDspBytes = 36;
constexpr uint32_t kRegistrationBytes = 176;

constexpr uint8_t kSongSize = 0x26;
constexpr uint8_t kRhythmSize = 0x23;

// A text in English and in Japanese.
struct Phrase {
  const char* english;
  const char* japanese;

  const char* In(bool japanese) const { return japanese ? this->japanese : english; }
};

struct ParameterEntry {
  uint8_t number;
  Phrase name;
  bool isName;  // the value holds four characters of a name
};

constexpr ParameterEntry kParameters[] = {
    {0x00, {"keyboard type", "キーボードの種類"}, false},
    {0x20, {"delete song", "ソングの削除"}, false},
    {0x21, {"delete rhythm", "リズムの削除"}, false},
    {0x22, {"free bytes", "空きバイト数"}, false},
    {kRhythmSize, {"rhythm size", "リズムのサイズ"}, false},
    {0x24, {"rhythm name 1-4", "リズム名 1-4"}, true},
    {0x25, {"rhythm name 5-8", "リズム名 5-8"}, true},
    {kSongSize, {"song size", "ソングのサイズ"}, false},
    {0x27, {"song name 1-4", "ソング名 1-4"}, true},
    {0x28, {"song name 5-8", "ソング名 5-8"}, true},
    {0x30, {"DSP name 1-4", "DSP名 1-4"}, true},
    {0x31, {"DSP name 5-8", "DSP名 5-8"}, true},
    {0x60, {"tone name 1-4", "音色名 1-4"}, true},
    {0x61, {"tone name 5-8", "音色名 5-8"}, true},
};

const ParameterEntry* FindParameter(uint8_t number) {
  for (const ParameterEntry& entry : kParameters) {
    if (entry.number == number) return &entry;
  }
  return nullptr;
}

std::string Format(const char* format, unsigned long long a, unsigned long long b = 0,
                   unsigned long long c = 0) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

size_t ValueGroups(unsigned width) { return width <= 7 ? 1 : width <= 14 ? 2 : (width + 6) / 7; }

// The slot an item number of a category stands for.
std::string ItemText(uint8_t category, uint32_t item, bool japanese) {
  switch (category) {
    case kTone:
      if (item >= kFirstUserTone)
        return Format(japanese ? "ユーザー音色 %llu" : "user tone %llu", item - kFirstUserTone);
      break;
    case kDsp:
      if (item >= kFirstUserDsp)
        return Format(japanese ? "ユーザーDSP %llu" : "user DSP %llu", item - kFirstUserDsp);
      break;
    case kSong:
      return Format(japanese ? "ソング %llu" : "song %llu", item);
    case kRhythm:
      if (item >= kFirstUserRhythm) {
        return Format(japanese ? "ユーザーリズム %llu" : "user rhythm %llu",
                      item - kFirstUserRhythm);
      }
      break;
    case kRegistration:
      if (item >= kFirstRegistration) {
        const uint32_t n = item - kFirstRegistration;
        return Format(japanese ? "レジストレーション バンク %llu スロット %llu"
                               : "registration bank %llu slot %llu",
                      n % 4, n / 4);
      }
      break;
    default:
      break;
  }
  return Format(japanese ? "カテゴリ %llu 項目 %llu" : "category %llu item %llu", category, item);
}

// Four name characters, most significant byte first, up to the first zero
// byte counted from the least significant one.
std::string NameText(uint32_t value) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<uint8_t>(value >> (8 * i));
    if (c == 0) break;
    text.insert(
        0, c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : Format("\\x%02llX", c));
  }
  return "\"" + text + "\"";
}

const Phrase* ProgramHandshake(uint8_t code) {
  static constexpr Phrase kEnd{"end of data", "データ終了"};
  static constexpr Phrase kNext{"block received, send the next one", "ブロック受信、次を送信"};
  static constexpr Phrase kAgain{"send the block again", "ブロックを再送"};
  switch (code) {
    case 0:
      return &kEnd;
    case 1:
      return &kNext;
    case 3:
      return &kAgain;
    default:
      return nullptr;
  }
}

const Phrase* KeyboardHandshake(uint8_t code) {
  static constexpr Phrase kEnd{"end of data", "データ終了"};
  static constexpr Phrase kAccepted{"accepted", "受理"};
  static constexpr Phrase kRejected{"rejected", "拒否"};
  static constexpr Phrase kAgain{"send the block again", "ブロックを再送"};
  static constexpr Phrase kError{"error 15", "エラー 15"};
  switch (code) {
    case 0:
      return &kEnd;
    case 1:
      return &kAccepted;
    case 2:
      return &kRejected;
    case 3:
      return &kAgain;
    case 15:
      return &kError;
    default:
      return nullptr;
  }
}

}  // namespace

std::string SysExDecoder::Hex(const uint8_t* bytes, size_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(size * 3);
  for (size_t i = 0; i < size; ++i) {
    if (i != 0) text += ' ';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::string SysExDecoder::Meaning(const uint8_t* bytes, size_t size, Direction direction) {
  if (bytes == nullptr || size == 0 || bytes[0] != 0xF0)
    return japanese_ ? "SysExではありません" : "not SysEx";
  if (size < kHeaderSize + 2) return japanese_ ? "他のSysEx" : "foreign SysEx";
  for (size_t i = 1; i < sizeof kHeader; ++i) {
    if (bytes[i] != kHeader[i]) return japanese_ ? "他のSysEx" : "foreign SysEx";
  }
  std::string meaning;
  const uint8_t command = bytes[5] >> 4;
  switch (command) {
    case kWrite:
    case kRead:
      meaning = Parameter(bytes, size, direction);
      break;
    case kBlock:
      meaning = Block(bytes, size, direction);
      break;
    case kRequest:
      meaning = (japanese_ ? "データ要求: " : "request data: ") +
                ItemText(bytes[5] & 0x0F, bytes[8] | bytes[9] << 7, japanese_);
      break;
    case kHandshake: {
      const uint8_t code = bytes[10];
      const Phrase* text = direction == Direction::ToKeyboard ? ProgramHandshake(code)
                                                              : KeyboardHandshake(code & 0x0F);
      meaning = text != nullptr
                    ? std::string(japanese_ ? "ハンドシェイク: " : "handshake: ") + text->In(japanese_)
                    : Format(japanese_ ? "ハンドシェイク: 不明なコード %llu"
                                       : "handshake: unknown code %llu",
                             code);
      break;
    }
    default:
      meaning = Format(japanese_ ? "不明なコマンド %llu" : "unknown command %llu", command);
      break;
  }
  if (bytes[size - 1] != 0xF7) meaning += japanese_ ? " (終了バイトなし)" : " (no end byte)";
  return meaning;
}

std::string SysExDecoder::Parameter(const uint8_t* bytes, size_t size, Direction direction) {
  const uint8_t command = bytes[5] >> 4;
  const uint8_t category = bytes[5] & 0x0F;
  const uint8_t number = bytes[6];
  const size_t indexCount = ((bytes[7] >> 5) & 3) + 1;
  const unsigned width = (bytes[7] & 0x1F) + 1;
  const size_t groups = ValueGroups(width);
  const uint32_t item = bytes[8] | bytes[9] << 7;
  const char* comma = japanese_ ? "、" : ", ";

  const ParameterEntry* parameter = FindParameter(number);
  std::string meaning = Format(japanese_ ? "パラメータ 0x%02llX" : "parameter 0x%02llX", number);
  if (parameter != nullptr) meaning += std::string(" (") + parameter->name.In(japanese_) + ")";
  if (category != 0 || item != 0) meaning += comma + ItemText(category, item, japanese_);
  const uint8_t index = bytes[kHeaderSize];
  if (category == 0 && number >= kRhythmSize && number < kSongSize) {
    meaning += comma + Format(japanese_ ? "ユーザーリズム %llu" : "user rhythm %llu", index);
  } else if (category == 0 && number >= kSongSize && number <= kSongSize + 2) {
    meaning += comma + Format(japanese_ ? "ソング %llu" : "song %llu", index);
  } else if (index != 0) {
    meaning += comma + Format(japanese_ ? "インデックス %llu" : "index %llu", index);
  }

  // English puts the verb first, Japanese after what it acts on.
  const bool carriesValue = command == kWrite || direction == Direction::FromKeyboard;
  if (!carriesValue) return japanese_ ? meaning + " の読み出し" : "read " + meaning;
  const std::string what = japanese_ ? meaning + (command == kWrite ? " の書き込み" : " の値")
                                     : (command == kWrite ? "write " : "value of ") + meaning;
  if (size < kHeaderSize + indexCount + groups)
    return what + (japanese_ ? ": 値が途中で切れています" : ": value cut short");
  uint64_t value = 0;
  for (size_t i = 0; i < groups; ++i) {
    value |= static_cast<uint64_t>(bytes[kHeaderSize + indexCount + i] & 0x7F) << (7 * i);
  }
  const auto value32 = static_cast<uint32_t>(value);
  if (command == kRead && direction == Direction::FromKeyboard && category == 0) {
    if (number == kSongSize) songSizes_[index] = value32;
    if (number == kRhythmSize) rhythmSizes_[index] = value32;
  }
  return what + ": " +
         (parameter != nullptr && parameter->isName ? NameText(value32) : Format("%llu", value32));
}

uint32_t SysExDecoder::KnownSize(uint8_t category, uint32_t item, Direction direction) const {
  switch (category) {
    case kTone:
      return kToneBytes;
    case kDsp:
      return kDspBytes;
    case kRegistration:
      return kRegistrationBytes;
    default:
      break;
  }
  // Sizes of songs and rhythms are known only for what the keyboard holds,
  // not for what is being sent to it.
  if (direction == Direction::ToKeyboard) return 0;
  const auto& sizes = category == kSong ? songSizes_ : rhythmSizes_;
  const uint32_t number = category == kSong ? item : item - kFirstUserRhythm;
  if (category != kSong && (category != kRhythm || item < kFirstUserRhythm)) return 0;
  const auto found = sizes.find(number);
  return found != sizes.end() ? found->second : 0;
}

std::string SysExDecoder::Block(const uint8_t* bytes, size_t size, Direction direction) const {
  const size_t number = bytes[10] | bytes[11] << 7;
  std::string meaning = Format(japanese_ ? "データブロック %llu" : "data block %llu", number);
  const uint32_t itemBytes = KnownSize(bytes[5] & 0x0F, bytes[8] | bytes[9] << 7, direction);
  if (itemBytes != 0) {
    const size_t words = (itemBytes + 1) / 2;
    meaning +=
        Format(japanese_ ? "/%llu" : " of %llu", (words + kWordsPerBlock - 1) / kWordsPerBlock);
  }
  if (size < 15) return meaning + (japanese_ ? ": 途中で切れています" : ": cut short");
  // Words are taken from the length, as the receiving side takes them; the
  // checksum covers the data bytes only.
  const size_t dataBytes = size - 2 - 13;
  const size_t words = dataBytes / 3;
  unsigned sum = 0;
  for (size_t i = 13; i < size - 2; ++i) sum = (sum + bytes[i]) & 0x7F;
  meaning += Format(japanese_ ? ": %llu ワード (%llu バイト)" : ": %llu words (%llu bytes)", words,
                    words * 2);
  if (dataBytes % 3 != 0)
    meaning += japanese_ ? "、ワードが途中で切れています" : ", a word cut short";
  if (bytes[12] != words)
    meaning += Format(japanese_ ? "、個数バイトは %llu" : ", count byte says %llu", bytes[12]);
  if ((sum + bytes[size - 2]) % 128 == 0) {
    meaning += japanese_ ? "、チェックサム正常" : ", checksum right";
  } else {
    meaning += japanese_ ? "、チェックサム異常" : ", checksum wrong";
  }
  return meaning;
}
