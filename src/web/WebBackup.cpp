#include "WebBackup.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "WebText.h"
#include "files/FileError.h"
#include "files/ProgressBar.h"
#include "files/ZipArchive.h"

namespace fs = std::filesystem;
using web_text::BatchNote;
using web_text::Filled;

WebBackup::WebBackup(const MsgStr& messages, ProgressBar& bar, std::string status,
                     std::string folder, Show show)
    : messages_(messages),
      bar_(bar),
      status_(std::move(status)),
      folder_(std::move(folder)),
      show_(std::move(show)) {}

void WebBackup::Starting(const Step& step) {
  count_ = step.count;
  bar_.SetRange(0, static_cast<int>(std::min<uint32_t>(step.size, INT_MAX)));
  bar_.SetPosition(0);
  show_(status_ + ' ' +
        Filled(messages_.WordText(MsgStr::kWordOfCount),
               {std::to_string(step.index + 1), std::to_string(step.count)}));
}

std::string WebBackup::FailureNote(const KeyboardBackup& backup) const {
  std::string item = backup.Context();
  if (item.starts_with(folder_)) item.erase(0, folder_.size());
  if (item.empty() || done_ >= count_) return item;
  return BatchNote(messages_, done_, count_, item);
}

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
