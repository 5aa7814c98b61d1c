#pragma once

#include <memory>
#include <string>

class QnDataFile;

// A ".lqd" file on disk as a data file, for every front end and job. Both
// throw what LqdFileStream throws; a write replaces the file only once it is
// complete.
class DataFile {
 public:
  static std::unique_ptr<QnDataFile> Read(const std::string& path);
  static void Write(const std::string& path, QnDataFile& file);
};
