#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files/FileError.h"

class QnDataFile;

// One ".lqd" data file: a 64-byte header (signature "VARDO Music Lib", size,
// model code, type) and the item's data as 16-bit words, high byte first.
//
// OpenRead accepts only a regular file (or a link to one) whose data part is
// exactly as long as its header's size; anything else is no data file, and a
// named pipe or a device is refused before it is opened, which could wait for
// ever. Create writes into a temporary file in the same folder; Commit
// renames it over the target once everything is written, and a stream
// destroyed without Commit removes it, so a failed write never destroys the
// file that was there. Failures of the file service throw FileError.
class LqdFileStream {
 public:
  enum Mode : uint16_t { OpenRead = 0, Create = 0xFFFF };
  // The catalog's text (data stream group) for a FileError of SyncFolder.
  enum : int32_t { kFolderNotSynced = 7 };

  LqdFileStream(const std::string& path, Mode mode);
  ~LqdFileStream();
  LqdFileStream(const LqdFileStream&) = delete;
  LqdFileStream& operator=(const LqdFileStream&) = delete;

  void Read(QnDataFile& file);
  void Write(QnDataFile& file);
  // Finishes a created file: flushes it to the disk, renames it into place
  // and flushes the folder, so that the rename survives a power cut too.
  // Throws FileError when that fails; when it fails before the rename, the
  // old file is left as it was, and when only the folder's flush fails, the
  // new file is in place and the error says so (SyncFolder).
  void Commit();
  int64_t DataLength() const;

  // The bytes Write puts in a file, for a file kept elsewhere than on a disk.
  static std::vector<uint8_t> Bytes(QnDataFile& file);

  // File name an imported item gets, in UTF-8: type prefix, data name up to
  // its first NUL, ".lqd". A name byte that cannot stand in a file name is
  // written as "_" there.
  static std::string ImportFileName(const QnDataFile& file);

  // How Commit puts a file (folder false) or a folder's entries (folder
  // true) on the disk; returns 0 or the error number. Tests replace it to
  // watch it or to make it fail. SetSync returns the previous one; nullptr
  // restores the real one.
  using Sync = int (*)(const std::filesystem::path& path, bool folder);
  static Sync SetSync(Sync sync);
  // Puts a file or a folder's entries on the disk as Commit does: 0 or the
  // error number.
  static int PutOnDisk(const std::filesystem::path& path, bool folder);

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
