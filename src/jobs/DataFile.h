#pragma once

#include <memory>
#include <string>

class QnDataFile;

// A ".lqd" file on disk as a data file, for every front end and job. Each
// throws what LqdFileStream throws; a write replaces the file only once it is
// complete.
class DataFile {
 public:
  static std::unique_ptr<QnDataFile> Read(const std::string& path);
  static void Write(const std::string& path, QnDataFile& file);

  // The data name stored for `text` (UTF-8), as the keyboard's bytes: blank
  // to "}" and half-width katakana as they are, one "_" for each byte of any
  // other character, at most 8 bytes.
  static std::string DataName(const std::string& text);
  // Stores `name` (the keyboard's bytes) as the data name of `file`, read
  // from `path`, and writes it back. A type that carries no data name is
  // refused (JobException::kNoDataName) before anything is written.
  static void Rename(const std::string& path, QnDataFile& file, const std::string& name);
  static void Rename(const std::string& path, const std::string& name);
};
