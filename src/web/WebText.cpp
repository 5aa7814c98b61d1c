#include "WebText.h"

#include <cstdio>

namespace web_text {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string Filled(std::string text, const std::vector<std::string>& values) {
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string mark = "%" + std::to_string(i + 1);
    if (const size_t at = text.find(mark); at != std::string::npos)
      text.replace(at, mark.size(), values[i]);
  }
  return text;
}

std::string BatchNote(const MsgStr& messages, size_t failed, size_t count,
                      const std::string& item) {
  return Filled(messages.WordText(MsgStr::kWordBatchFailed),
                {std::to_string(failed + 1), std::to_string(count), item}) +
         (failed == 0
              ? messages.WordText(MsgStr::kWordNothingBefore)
              : Filled(messages.WordText(MsgStr::kWordDoneBefore), {std::to_string(failed)}));
}

}  // namespace web_text
