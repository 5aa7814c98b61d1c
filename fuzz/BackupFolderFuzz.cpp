// A backup folder of any files, read as a restore reads it before its first
// message: the marker and the slots' files with any contents, some of them
// folders, named pipes or links that lead nowhere. Load must refuse the
// folder or take only regular files whose type is their slot's, and never
// wait on a pipe.
//
// Input: records of a name byte (0: the marker, n: the n-th slot's file), a
// kind byte (0 a file, 1 a folder, 2 a named pipe, 3 a dangling link, 4 a
// link to the previous record's file), a length byte and that many bytes of
// contents.

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "ScratchFolder.h"
#include "files/FileError.h"
#include "jobs/KeyboardBackup.h"
#include "files/SlotAddress.h"
#include "midi/QnException.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<SlotAddress> slots = SlotAddress::All();
  const fs::path folder = ScratchFolder() / "backup";
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  fs::create_directory(folder);

  std::string previous;
  for (size_t at = 0; at + 3 <= size;) {
    const size_t which = data[at] % (slots.size() + 1);
    const uint8_t kind = data[at + 1] % 5;
    const size_t length = std::min<size_t>(data[at + 2], size - at - 3);
    const std::string name =
        which == 0 ? KeyboardBackup::kMarker : slots[which - 1].BackupFileName();
    const fs::path path = folder / name;
    fs::remove_all(path, ignored);
    if (kind == 0) {
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(data + at + 3),
                 static_cast<std::streamsize>(length));
    } else if (kind == 1) {
      fs::create_directory(path, ignored);
    } else if (kind == 2) {
      ::mkfifo(path.c_str(), 0600);
    } else {
      fs::create_symlink(kind == 3 || previous.empty() ? "gone" : previous, path, ignored);
    }
    previous = name;
    at += 3 + length;
  }

  KeyboardBackup backup;
  try {
    backup.Load(folder.string());
  } catch (const LqdStreamException&) {
    return 0;
  } catch (const FileError&) {
    return 0;
  }
  std::vector<std::string> read{KeyboardBackup::kMarker};
  for (const SlotAddress& address : slots) read.push_back(address.BackupFileName());
  for (const std::string& name : read) {
    const fs::path path = folder / name;
    if (fs::exists(fs::symlink_status(path, ignored)) && !fs::is_regular_file(path, ignored)) {
      std::fprintf(stderr, "took a folder with %s in a file's place\n", path.c_str());
      std::abort();
    }
  }
  return 0;
}
