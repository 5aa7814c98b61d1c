#pragma once

#include <string>
#include <string_view>

// The keyboard's character set for data names, one byte a character: ASCII
// from 0x20 to 0x7E and half-width katakana from 0xA1 to 0xDF, the set the
// keyboard's Japanese users type names in. Names stay bytes everywhere in the
// program; these turn them into text only where a person or a file system
// sees them, and back where a person types one.
class KeyboardText {
 public:
  // The character a name byte stands for, or 0 for a byte that stands for
  // none (control bytes, 0x7F to 0xA0, 0xE0 and up).
  static char32_t Character(unsigned char byte);

  // Name bytes as UTF-8 text; a byte without a character shows as `missing`.
  static std::string ToUtf8(std::string_view bytes, std::string_view missing = "\xEF\xBF\xBD");

  // Name bytes as UTF-8 text for a file name: a byte that cannot stand in
  // one ("/", "\\", a byte without a character) becomes "_". The data name
  // inside the file keeps every byte.
  static std::string ToFileName(std::string_view bytes);

  // UTF-8 text as name bytes: blank to "}" and half-width katakana map to
  // their bytes; every other character becomes one "_" for each of its UTF-8
  // bytes, as a name typed in a byte-wide code page would.
  static std::string FromUtf8(std::string_view text);
};
