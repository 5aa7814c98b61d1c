#include "WebBackup.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "files/FileError.h"
#include "files/ZipArchive.h"

namespace fs = std::filesystem;

std::vector<uint8_t> WebBackup::Pack(const std::string& folder) {
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<ZipArchive::Entry> entries;
  for (const fs::path& path : files) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> data{std::istreambuf_iterator<char>(in), {}};
    if (!in.good() && !in.eof()) throw FileError(FileError::Op::Read, path.string(), "");
    entries.push_back({path.filename().string(), std::move(data)});
  }
  return ZipArchive::Write(entries);
}

std::string WebBackup::Unpack(const std::vector<uint8_t>& archive, const std::string& folder) {
  const std::vector<ZipArchive::Entry> entries = ZipArchive::Read(archive);
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (const ZipArchive::Entry& entry : entries) {
    const fs::path path = fs::path(folder) / entry.name;
    if (entry.name.ends_with('/')) {
      fs::create_directories(path);
      continue;
    }
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(entry.data.data()),
              static_cast<std::streamsize>(entry.data.size()));
    out.close();
    if (!out) throw FileError(FileError::Op::Write, path.string(), "");
  }
  const std::vector<fs::directory_entry> top(fs::directory_iterator(folder), {});
  if (top.size() == 1 && top.front().is_directory()) return top.front().path().string();
  return folder;
}
