#include "CliError.h"

#include <vector>

CliError::CliError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}

// One pass, so that a value holding "%2" stays as it is.
std::string CliError::Text(MsgStr::Word word, std::initializer_list<std::string> values) {
  static const MsgStr messages;
  const std::string pattern = messages.WordText(word);
  const std::vector<std::string> filled(values);
  std::string text;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    if (pattern[i] == '%' && next >= '1' && next <= '9' &&
        static_cast<size_t>(next - '1') < filled.size()) {
      text += filled[static_cast<size_t>(next - '1')];
      ++i;
    } else {
      text += pattern[i];
    }
  }
  return text;
}
