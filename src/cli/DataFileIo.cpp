#include "DataFileIo.h"

#include "StopSignals.h"
#include "files/LqdFileStream.h"
#include "files/QnDataFile.h"

std::unique_ptr<QnDataFile> DataFileIo::Read(const std::string& path) {
  LqdFileStream stream(path, LqdFileStream::OpenRead);
  auto file = std::make_unique<QnDataFile>(QnData::kTypeUnknown);
  file->SetSize(static_cast<uint32_t>(stream.DataLength()));
  stream.Read(*file);
  return file;
}

void DataFileIo::Write(const std::string& path, QnDataFile& file) {
  // A signal lets the write end: its temporary file is renamed into place or
  // removed, never left behind.
  StopSignals::Hold hold;
  LqdFileStream stream(path, LqdFileStream::Create);
  stream.Write(file);
  stream.Commit();
}
