#pragma once

#include <stdexcept>
#include <string>

// A failure of the platform's file service: the file could not be opened,
// created, read, written or renamed, or (SyncFolder) it was replaced but the
// folder that holds the new name could not be put on the disk. Carries the
// path; the window shows the platform's text for it.
class FileError : public std::runtime_error {
 public:
  enum class Op { Open, Create, Read, Write, SyncFolder };
  FileError(Op op, const std::string& path, const std::string& reason)
      : std::runtime_error(path + ": " + reason), op_(op), path_(path), reason_(reason) {}
  Op Operation() const { return op_; }
  const std::string& Path() const { return path_; }
  const std::string& Reason() const { return reason_; }

 private:
  Op op_;
  std::string path_;
  std::string reason_;
};
