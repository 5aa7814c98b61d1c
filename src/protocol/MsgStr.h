#pragma once

#include <cstdint>
#include <string>

// The catalog of every text the program shows for an error or a running
// operation, in Japanese or English (UTF-8) by the user's locale.
class MsgStr {
 public:
  enum class Language { English, Japanese };

  MsgStr();  // language from the user's locale
  explicit MsgStr(Language language);

  // The language the environment's locale asks for (LC_ALL, LC_MESSAGES, LANG).
  static Language LocaleLanguage();
  Language CurrentLanguage() const { return language_; }

  std::string MidiDevText(int32_t code, uint32_t subCode) const;
  std::string SysExText(int32_t code) const;
  std::string KbdDrvText(int32_t code) const;
  std::string StreamText(int32_t code) const;
  std::string OperateText(int32_t code) const;
  std::string StatusText(int32_t index) const;
  std::string FolderText(int32_t index) const;
  // Text of a MIDI service result code, for input or output calls.
  std::string MidiResultText(uint32_t result, bool input) const;
  // Text for a file that could not be opened (or created), naming its path.
  std::string FileText(bool create, const std::string& path) const;

 private:
  Language language_;
  const char* const* groups_[7];
};
