#include "jobs/DataFile.h"

#include "files/KeyboardText.h"
#include "files/LqdFileStream.h"
#include "files/QnDataFile.h"
#include "jobs/JobException.h"

std::unique_ptr<QnDataFile> DataFile::Read(const std::string& path) {
  LqdFileStream stream(path, LqdFileStream::OpenRead);
  auto file = std::make_unique<QnDataFile>(QnData::kTypeUnknown);
  file->SetSize(static_cast<uint32_t>(stream.DataLength()));
  stream.Read(*file);
  return file;
}

void DataFile::Write(const std::string& path, QnDataFile& file) {
  LqdFileStream stream(path, LqdFileStream::Create);
  stream.Write(file);
  stream.Commit();
}

std::string DataFile::DataName(const std::string& text) {
  std::string name = KeyboardText::FromUtf8(text);
  if (name.size() > QnData::kNameLength) name.resize(QnData::kNameLength);
  return name;
}

void DataFile::Rename(const std::string& path, QnDataFile& file, const std::string& name) {
  switch (file.Type()) {
    case QnData::kTypeTone:
    case QnData::kTypeDsp:
    case QnData::kTypeSong:
    case QnData::kTypeRhythm:
    case QnData::kTypeRegistration:
      break;
    default:
      throw JobException(JobException::kNoDataName);
  }
  file.StoreDataName(name);
  Write(path, file);
}

void DataFile::Rename(const std::string& path, const std::string& name) {
  const std::unique_ptr<QnDataFile> file = Read(path);
  Rename(path, *file, name);
}
