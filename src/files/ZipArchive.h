#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A .zip of stored (uncompressed) entries: how the page hands out a backup or
// several imported files as one download, and reads a backup back for a
// restore. Stored entries keep the files byte for byte and need no
// compression library; a .zip made by another program is read as long as its
// entries are stored. Names are UTF-8 and use "/" between folders.
class ZipArchive {
 public:
  // LqdStreamException codes.
  static constexpr int32_t kNotAnArchive = 8;     // not a .zip, damaged, or too large
  static constexpr int32_t kCompressedEntry = 9;  // an entry this program cannot read

  struct Entry {
    std::string name;  // a folder's entry ends with "/" and has no data
    std::vector<uint8_t> data;
  };
  // The local time written as every entry's modification time.
  struct Stamp {
    int year = 1980;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
  };

  static std::vector<uint8_t> Write(const std::vector<Entry>& entries, Stamp stamp);
  static std::vector<uint8_t> Write(const std::vector<Entry>& entries);
  // Every entry in the order of the archive's directory. Throws
  // LqdStreamException: kCompressedEntry for an entry that is not stored,
  // kNotAnArchive for anything else that is wrong, including a name that
  // leaves the archive's folder ("..", or one that starts with "/").
  static std::vector<Entry> Read(const std::vector<uint8_t>& archive);
};
