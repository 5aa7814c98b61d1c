#pragma once

#include <memory>
#include <string>

class QnDataFile;

// Reads and writes ".lqd" data files as the window's commands do; a write
// replaces the file only once it is complete.
class DataFileIo {
 public:
  static std::unique_ptr<QnDataFile> Read(const std::string& path);
  static void Write(const std::string& path, QnDataFile& file);
};
