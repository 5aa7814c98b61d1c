#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "files/FileError.h"

class QnDataFile;

// One ".lqd" data file: a 64-byte header (signature "VARDO Music Lib", size,
// model code, type) and the item's data as 16-bit words, high byte first.
//
// OpenRead accepts only a file whose data part is exactly as long as its
// header's size. Create writes into a temporary file in the same folder;
// Commit renames it over the target once everything is written, and a stream
// destroyed without Commit removes it, so a failed write never destroys the
// file that was there. Failures of the file service throw FileError.
class LqdFileStream {
 public:
  enum Mode : uint16_t { OpenRead = 0, Create = 0xFFFF };

  LqdFileStream(const std::string& path, Mode mode);
  ~LqdFileStream();
  LqdFileStream(const LqdFileStream&) = delete;
  LqdFileStream& operator=(const LqdFileStream&) = delete;

  void Read(QnDataFile& file);
  void Write(QnDataFile& file);
  // Finishes a created file: flushes and renames it into place. Throws
  // FileError when that fails; the old file is then left as it was.
  void Commit();
  int64_t DataLength() const;

  // File name an imported item gets, in UTF-8: type prefix, data name up to
  // its first NUL, ".lqd". A name byte that cannot stand in a file name is
  // written as "_" there.
  static std::string ImportFileName(const QnDataFile& file);

 private:
  void OpenChecked();
  void CreateTemporary();
  [[noreturn]] void Fail(FileError::Op op, int error, const char* fallback) const;

  std::string path_;
  std::filesystem::path target_;  // for Create: the file that Commit replaces
  std::filesystem::path temporary_;
  Mode mode_;
  std::fstream file_;
  int64_t length_ = 0;  // the file's length; for Create, the bytes written so far
  bool committed_ = false;
};
