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

const char* ParameterName(uint8_t number) {
  switch (number) {
    case 0x00:
      return "keyboard type";
    case 0x20:
      return "delete song";
    case 0x21:
      return "delete rhythm";
    case 0x22:
      return "free bytes";
    case kRhythmSize:
      return "rhythm size";
    case 0x24:
      return "rhythm name 1-4";
    case 0x25:
      return "rhythm name 5-8";
    case kSongSize:
      return "song size";
    case 0x27:
      return "song name 1-4";
    case 0x28:
      return "song name 5-8";
    case 0x30:
      return "DSP name 1-4";
    case 0x31:
      return "DSP name 5-8";
    case 0x60:
      return "tone name 1-4";
    case 0x61:
      return "tone name 5-8";
    default:
      return nullptr;
  }
}

bool IsNameParameter(uint8_t number) {
  const char* name = ParameterName(number);
  return name != nullptr && std::string(name).find("name") != std::string::npos;
}

std::string Format(const char* format, unsigned long long a, unsigned long long b = 0,
                   unsigned long long c = 0) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

size_t ValueGroups(unsigned width) { return width <= 7 ? 1 : width <= 14 ? 2 : (width + 6) / 7; }

// The slot an item number of a category stands for.
std::string ItemText(uint8_t category, uint32_t item) {
  switch (category) {
    case kTone:
      if (item >= kFirstUserTone) return Format("user tone %llu", item - kFirstUserTone);
      break;
    case kDsp:
      if (item >= kFirstUserDsp) return Format("user DSP %llu", item - kFirstUserDsp);
      break;
    case kSong:
      return Format("song %llu", item);
    case kRhythm:
      if (item >= kFirstUserRhythm) return Format("user rhythm %llu", item - kFirstUserRhythm);
      break;
    case kRegistration:
      if (item >= kFirstRegistration) {
        const uint32_t n = item - kFirstRegistration;
        return Format("registration bank %llu slot %llu", n % 4, n / 4);
      }
      break;
    default:
      break;
  }
  return Format("category %llu item %llu", category, item);
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

const char* ProgramHandshake(uint8_t code) {
  switch (code) {
    case 0:
      return "end of data";
    case 1:
      return "block received, send the next one";
    case 3:
      return "send the block again";
    default:
      return nullptr;
  }
}

const char* KeyboardHandshake(uint8_t code) {
  switch (code) {
    case 0:
      return "end of data";
    case 1:
      return "accepted";
    case 2:
      return "rejected";
    case 3:
      return "send the block again";
    case 15:
      return "error 15";
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
  if (bytes == nullptr || size == 0 || bytes[0] != 0xF0) return "not SysEx";
  if (size < kHeaderSize + 2) return "foreign SysEx";
  for (size_t i = 1; i < sizeof kHeader; ++i) {
    if (bytes[i] != kHeader[i]) return "foreign SysEx";
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
      meaning = "request data: " + ItemText(bytes[5] & 0x0F, bytes[8] | bytes[9] << 7);
      break;
    case kHandshake: {
      const uint8_t code = bytes[10];
      const char* text = direction == Direction::ToKeyboard ? ProgramHandshake(code)
                                                            : KeyboardHandshake(code & 0x0F);
      meaning = text != nullptr ? std::string("handshake: ") + text
                                : Format("handshake: unknown code %llu", code);
      break;
    }
    default:
      meaning = Format("unknown command %llu", command);
      break;
  }
  if (bytes[size - 1] != 0xF7) meaning += " (no end byte)";
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

  const char* name = ParameterName(number);
  std::string meaning = Format("parameter 0x%02llX", number);
  if (name != nullptr) meaning += std::string(" (") + name + ")";
  if (category != 0 || item != 0) meaning += ", " + ItemText(category, item);
  const uint8_t index = bytes[kHeaderSize];
  if (category == 0 && number >= kRhythmSize && number < kSongSize) {
    meaning += Format(", user rhythm %llu", index);
  } else if (category == 0 && number >= kSongSize && number <= kSongSize + 2) {
    meaning += Format(", song %llu", index);
  } else if (index != 0) {
    meaning += Format(", index %llu", index);
  }

  const bool carriesValue = command == kWrite || direction == Direction::FromKeyboard;
  if (!carriesValue) return "read " + meaning;
  const std::string verb = command == kWrite ? "write " : "value of ";
  if (size < kHeaderSize + indexCount + groups) return verb + meaning + ": value cut short";
  uint64_t value = 0;
  for (size_t i = 0; i < groups; ++i) {
    value |= static_cast<uint64_t>(bytes[kHeaderSize + indexCount + i] & 0x7F) << (7 * i);
  }
  const auto value32 = static_cast<uint32_t>(value);
  if (command == kRead && direction == Direction::FromKeyboard && category == 0) {
    if (number == kSongSize) songSizes_[index] = value32;
    if (number == kRhythmSize) rhythmSizes_[index] = value32;
  }
  return verb + meaning + ": " +
         (IsNameParameter(number) ? NameText(value32) : Format("%llu", value32));
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
  std::string meaning = Format("data block %llu", number);
  const uint32_t itemBytes = KnownSize(bytes[5] & 0x0F, bytes[8] | bytes[9] << 7, direction);
  if (itemBytes != 0) {
    const size_t words = (itemBytes + 1) / 2;
    meaning += Format(" of %llu", (words + kWordsPerBlock - 1) / kWordsPerBlock);
  }
  if (size < 15) return meaning + ": cut short";
  // Words are taken from the length, as the receiving side takes them; the
  // checksum covers the data bytes only.
  const size_t dataBytes = size - 2 - 13;
  const size_t words = dataBytes / 3;
  unsigned sum = 0;
  for (size_t i = 13; i < size - 2; ++i) sum = (sum + bytes[i]) & 0x7F;
  meaning += Format(": %llu words (%llu bytes)", words, words * 2);
  if (dataBytes % 3 != 0) meaning += ", a word cut short";
  if (bytes[12] != words) meaning += Format(", count byte says %llu", bytes[12]);
  meaning += (sum + bytes[size - 2]) % 128 == 0 ? ", checksum right" : ", checksum wrong";
  return meaning;
}
