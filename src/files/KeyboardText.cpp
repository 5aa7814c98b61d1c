#include "files/KeyboardText.h"

namespace {

constexpr unsigned char kFirstKana = 0xA1;
constexpr unsigned char kLastKana = 0xDF;
constexpr char32_t kFirstKanaCharacter = 0xFF61;  // HALFWIDTH IDEOGRAPHIC FULL STOP
constexpr char32_t kLastKanaCharacter = kFirstKanaCharacter + (kLastKana - kFirstKana);
constexpr char32_t kLastTypedAscii = 0x7D;  // a name is typed from blank to "}"

void AppendUtf8(std::string& text, char32_t c) {
  if (c < 0x80) {
    text += static_cast<char>(c);
  } else if (c < 0x800) {
    text += static_cast<char>(0xC0 | (c >> 6));
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (c >> 12));
    text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool CannotStandInFileName(char32_t c) {
  if (c == 0 || c == U'/' || c == U'\\') return true;
#ifdef _WIN32
  for (char32_t reserved : {U':', U'*', U'?', U'"', U'<', U'>', U'|'}) {
    if (c == reserved) return true;
  }
#endif
  return false;
}

// Length of the UTF-8 sequence that `lead` begins, or 0 for a byte that
// begins none.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

char32_t KeyboardText::Character(unsigned char byte) {
  if (byte >= 0x20 && byte <= 0x7E) return byte;
  if (byte >= kFirstKana && byte <= kLastKana) return kFirstKanaCharacter + (byte - kFirstKana);
  return 0;
}

std::string KeyboardText::ToUtf8(std::string_view bytes, std::string_view missing) {
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const char byte : bytes) {
    const char32_t c = Character(static_cast<unsigned char>(byte));
    if (c == 0) {
      text += missing;
    } else {
      AppendUtf8(text, c);
    }
  }
  return text;
}

std::string KeyboardText::ToFileName(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const char byte : bytes) {
    const char32_t c = Character(static_cast<unsigned char>(byte));
    AppendUtf8(text, CannotStandInFileName(c) ? U'_' : c);
  }
  return text;
}

std::string KeyboardText::FromUtf8(std::string_view text) {
  std::string bytes;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = SequenceLength(lead);
    bool valid = length != 0 && i + length <= text.size();
    char32_t c = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    if (!valid) length = 1;

    if (valid && c >= 0x20 && c <= kLastTypedAscii) {
      bytes += static_cast<char>(c);
    } else if (valid && c >= kFirstKanaCharacter && c <= kLastKanaCharacter) {
      bytes += static_cast<char>(kFirstKana + (c - kFirstKanaCharacter));
    } else {
      bytes.append(length, '_');
    }
    i += length;
  }
  return bytes;
}
