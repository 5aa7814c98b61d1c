#include "WebFileProperties.h"

#include <memory>
#include <utility>

#include "WebText.h"
#include "files/FileError.h"
#include "files/KeyboardText.h"
#include "files/QnDataFile.h"
#include "jobs/DataFile.h"
#include "jobs/EntryView.h"
#include "midi/QnException.h"

namespace {

using web_text::Quoted;

}  // namespace

WebFileProperties::WebFileProperties(const std::string& language)
    : msg_(language.rfind("ja", 0) == 0 ? MsgStr::Language::Japanese : MsgStr::Language::English) {}

std::string WebFileProperties::Texts() const {
  const std::pair<const char*, std::string> texts[] = {
      {"properties", Word(MsgStr::kWordProperties)}, {"title", Word(MsgStr::kWordPropertyTitle)},
      {"type", Word(MsgStr::kWordTypeLabel)},        {"size", Word(MsgStr::kWordSizeLabel)},
      {"name", Word(MsgStr::kWordNameLabel)},        {"ok", Word(MsgStr::kWordOk)},
      {"cancel", Word(MsgStr::kWordCancel)},
  };
  std::string json = "{";
  for (const auto& [key, text] : texts) {
    if (json.size() > 1) json += ",";
    json += Quoted(key) + ":" + Quoted(text);
  }
  return json + "}";
}

std::string WebFileProperties::Read(const std::string& path) const {
  try {
    const std::unique_ptr<QnDataFile> file = DataFile::Read(path);
    const std::string& name = file->Name();
    return "{\"type\":" +
           Quoted(EntryView::TypeWord(file->Type(), EntryView::Spelling::Properties)) +
           ",\"size\":" +
           Quoted(web_text::Filled(Word(MsgStr::kWordDataSize), {std::to_string(file->Size())})) +
           ",\"name\":" + Quoted(KeyboardText::ToUtf8(name.substr(0, name.find('\0')), "_")) + "}";
  } catch (const LqdStreamException& e) {
    return "{\"error\":" + Quoted(msg_.StreamText(e.Code())) + "}";
  } catch (const FileError& e) {
    return "{\"error\":" + Quoted(msg_.FileText(false, e.Path()) + "\n" + e.Reason()) + "}";
  }
}

std::string WebFileProperties::FilterName(const std::string& text) const {
  std::string bytes = KeyboardText::FromUtf8(text);
  if (bytes.size() > QnData::kNameLength) bytes.resize(QnData::kNameLength);
  return KeyboardText::ToUtf8(bytes);
}

std::string WebFileProperties::Rename(const std::string& path, const std::string& name) const {
  try {
    const std::unique_ptr<QnDataFile> file = DataFile::Read(path);
    file->StoreDataName(KeyboardText::FromUtf8(name));
    DataFile::Write(path, *file);
    return "";
  } catch (const LqdStreamException& e) {
    return msg_.StreamText(e.Code());
  } catch (const FileError& e) {
    const bool create =
        e.Operation() == FileError::Op::Create || e.Operation() == FileError::Op::Write;
    return msg_.FileText(create, e.Path()) + "\n" + e.Reason();
  }
}
