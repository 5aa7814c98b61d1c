#pragma once

#include <filesystem>

// A folder of this process's own, removed at exit; in memory where there is
// such a file system, so that the disk does not set the pace.
const std::filesystem::path& ScratchFolder();
