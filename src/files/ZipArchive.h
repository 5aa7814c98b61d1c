#pragma once

#include <cstddef>
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
  static constexpr int32_t kOverlappingEntries = 10;
  static constexpr int32_t kTooLarge = 11;  // more than kMaxEntries or kMaxTotal bytes
  static constexpr int32_t kDuplicateName = 12;
  static constexpr int32_t kUnusableName = 13;  // a NUL, or a folder inside a folder
  static constexpr int32_t kCountDiffers = 14;  // the end record's count is not the directory's

  // A whole backup is 40 files of at most 21.6 KB, in at most one folder.
  static constexpr size_t kMaxEntries = 1000;
  static constexpr size_t kMaxTotal = 8 << 20;

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
  // Every entry in the order of the archive's directory, checked whole
  // before any entry's data is copied. Throws LqdStreamException:
  // kCompressedEntry for an entry that is not stored, kOverlappingEntries
  // when two entries share bytes (many small directory records would each
  // return a copy of one large entry), kTooLarge, kDuplicateName,
  // kUnusableName for a name holding a NUL or more than one folder level,
  // kCountDiffers when the directory holds more records than the end record
  // counts, and kNotAnArchive for anything else that is wrong, including a
  // name that leaves the archive's folder ("..", or one that starts with "/").
  static std::vector<Entry> Read(const std::vector<uint8_t>& archive);
};
