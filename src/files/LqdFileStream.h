#pragma once

#include <cstdint>
#include <fstream>
#include <string>

class QnDataFile;

// One ".lqd" data file: a 64-byte header (signature "VARDO Music Lib", size,
// model code, type) and the item's data as 16-bit words, high byte first.
//
// Create writes into a temporary file in the same folder; the destructor
// (or Commit) renames it over the target only when everything was written,
// so a failed write never destroys the file that was there.
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

  // File name an imported item gets: type prefix, data name up to its first
  // NUL, ".lqd".
  static std::string ImportFileName(const QnDataFile& file);
};
