#include "ScratchFolder.h"

#include <cstdlib>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

const fs::path& ScratchFolder() {
  // Never destroyed: the exit handler still needs it.
  static const fs::path* folder = [] {
    std::error_code ec;
    const fs::path base =
        fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "ravlin-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(ScratchFolder(), ignored);
    });
    return new fs::path(pattern);
  }();
  return *folder;
}
