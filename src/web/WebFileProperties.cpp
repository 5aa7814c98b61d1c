#include "WebFileProperties.h"

#include <exception>
#include <memory>

#include "WebText.h"
#include "files/KeyboardText.h"
#include "files/QnDataFile.h"
#include "jobs/DataFile.h"
#include "jobs/EntryView.h"
#include "jobs/JobFailure.h"
#include "jobs/JobText.h"

using web_text::Quoted;

WebFileProperties::WebFileProperties(const std::string& language)
    : msg_(language.rfind("ja", 0) == 0 ? MsgStr::Language::Japanese : MsgStr::Language::English) {}

std::string WebFileProperties::Texts() const {
  return web_text::Object({
      {"properties", Word(MsgStr::kWordProperties)},
      {"title", Word(MsgStr::kWordPropertyTitle)},
      {"type", Word(MsgStr::kWordTypeLabel)},
      {"size", Word(MsgStr::kWordSizeLabel)},
      {"name", Word(MsgStr::kWordNameLabel)},
      {"ok", Word(MsgStr::kWordOk)},
      {"cancel", Word(MsgStr::kWordCancel)},
  });
}

std::string WebFileProperties::Read(const std::string& path) const {
  try {
    const std::unique_ptr<QnDataFile> file = DataFile::Read(path);
    const std::string& name = file->Name();
    return "{\"type\":" +
           Quoted(EntryView::TypeWord(file->Type(), EntryView::Spelling::Properties)) +
           ",\"size\":" +
           Quoted(JobText::Filled(msg_, MsgStr::kWordDataSize, {std::to_string(file->Size())})) +
           ",\"name\":" + Quoted(KeyboardText::ToUtf8(name.substr(0, name.find('\0')), "_")) + "}";
  } catch (...) {
    return "{\"error\":" + Quoted(Failure(std::current_exception())) + "}";
  }
}

std::string WebFileProperties::FilterName(const std::string& text) const {
  return KeyboardText::ToUtf8(DataFile::DataName(text));
}

std::string WebFileProperties::Rename(const std::string& path, const std::string& name) const {
  try {
    DataFile::Rename(path, DataFile::DataName(name));
    return "";
  } catch (...) {
    return Failure(std::current_exception());
  }
}

std::string WebFileProperties::Failure(std::exception_ptr error) const {
  const JobFailure failure(error, msg_);
  return web_text::FailureText(failure, failure.Path());
}
