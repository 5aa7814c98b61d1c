#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A folder of the in-memory file system as the page hands it out and takes
// it back: one .zip of stored entries named as the folder's files (a
// whole-keyboard backup, several imports).
class WebBackup {
 public:
  // Every file directly in `folder` as an archive's entry, in name order.
  static std::vector<uint8_t> Pack(const std::string& folder);
  // The files of `archive` into `folder`, which is emptied first. Returns
  // the folder that holds the backup: `folder`, or the one folder the
  // archive holds (a .zip made of a backup's folder).
  static std::string Unpack(const std::vector<uint8_t>& archive, const std::string& folder);
};
