#include "jobs/DataFile.h"

#include "files/LqdFileStream.h"
#include "files/QnDataFile.h"

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
