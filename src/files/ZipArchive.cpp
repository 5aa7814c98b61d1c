#include "files/ZipArchive.h"

#include <algorithm>
#include <array>
#include <limits>
#include <set>

#include "midi/QnException.h"

namespace {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr size_t kLocalSize = 30;
constexpr size_t kCentralSize = 46;
constexpr size_t kEndSize = 22;
constexpr uint16_t kVersion = 20;  // 2.0: folders, stored entries
constexpr uint16_t kUtf8Names = 1 << 11;
constexpr uint16_t kEncrypted = 1 << 0;
constexpr uint16_t kStored = 0;
constexpr uint32_t kFolderAttributes = 0x10;  // MS-DOS folder

uint32_t Crc32(const std::vector<uint8_t>& data) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320 ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFF;
  for (uint8_t byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFF;
}

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

[[noreturn]] void NotAnArchive() { throw LqdStreamException(ZipArchive::kNotAnArchive); }

// Reads little-endian fields at an offset that has been checked to lie
// inside the archive.
class Fields {
 public:
  explicit Fields(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  void Need(size_t offset, size_t size) const {
    if (offset > bytes_.size() || size > bytes_.size() - offset) NotAnArchive();
  }
  uint32_t U16(size_t at) const { return bytes_[at] | bytes_[at + 1] << 8; }
  uint32_t U32(size_t at) const { return U16(at) | U16(at + 2) << 16; }

 private:
  const std::vector<uint8_t>& bytes_;
};

bool LeavesTheFolder(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos) return true;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::vector<uint8_t> ZipArchive::Write(const std::vector<Entry>& entries, Stamp stamp) {
  const uint32_t time = stamp.hour << 11 | stamp.minute << 5 | stamp.second / 2;
  const uint32_t date = (stamp.year - 1980) << 9 | stamp.month << 5 | stamp.day;
  std::vector<uint8_t> out;
  std::vector<uint8_t> directory;
  for (const Entry& entry : entries) {
    const uint32_t crc = Crc32(entry.data);
    const bool folder = !entry.name.empty() && entry.name.back() == '/';
    // This writer has no 64-bit sizes: a keyboard's memory is far smaller.
    if (out.size() > std::numeric_limits<uint32_t>::max() - entry.data.size() - kLocalSize -
                         entry.name.size() ||
        entry.name.size() > std::numeric_limits<uint16_t>::max())
      NotAnArchive();
    const uint32_t offset = static_cast<uint32_t>(out.size());
    const auto header = [&](std::vector<uint8_t>& to, bool central) {
      Put32(to, central ? kCentralSignature : kLocalSignature);
      if (central) Put16(to, kVersion);
      Put16(to, kVersion);
      Put16(to, kUtf8Names);
      Put16(to, kStored);
      Put16(to, time);
      Put16(to, date);
      Put32(to, crc);
      Put32(to, static_cast<uint32_t>(entry.data.size()));
      Put32(to, static_cast<uint32_t>(entry.data.size()));
      Put16(to, static_cast<uint32_t>(entry.name.size()));
      Put16(to, 0);  // extra field
      if (central) {
        Put16(to, 0);  // comment
        Put16(to, 0);  // disk
        Put16(to, 0);  // internal attributes
        Put32(to, folder ? kFolderAttributes : 0);
        Put32(to, offset);
      }
      to.insert(to.end(), entry.name.begin(), entry.name.end());
    };
    header(out, false);
    out.insert(out.end(), entry.data.begin(), entry.data.end());
    header(directory, true);
  }
  if (entries.size() > std::numeric_limits<uint16_t>::max()) NotAnArchive();
  const uint32_t directoryOffset = static_cast<uint32_t>(out.size());
  out.insert(out.end(), directory.begin(), directory.end());
  Put32(out, kEndSignature);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put32(out, static_cast<uint32_t>(directory.size()));
  Put32(out, directoryOffset);
  Put16(out, 0);  // comment
  return out;
}

std::vector<uint8_t> ZipArchive::Write(const std::vector<Entry>& entries) {
  return Write(entries, Stamp{});
}

std::vector<ZipArchive::Entry> ZipArchive::Read(const std::vector<uint8_t>& archive) {
  const Fields fields(archive);
  // The end record is last, after a comment of up to 65535 bytes.
  if (archive.size() < kEndSize) NotAnArchive();
  size_t end = archive.size() - kEndSize;
  const size_t earliest = end > 0xFFFF ? end - 0xFFFF : 0;
  while (fields.U32(end) != kEndSignature ||
         fields.U16(end + 20) != archive.size() - end - kEndSize) {
    if (end == earliest) NotAnArchive();
    --end;
  }
  const uint32_t count = fields.U16(end + 10);
  const size_t directory = fields.U32(end + 16);
  const size_t directorySize = fields.U32(end + 12);
  // 0xFFFF entries or an offset of all ones mean a 64-bit archive.
  if (fields.U16(end + 4) != 0 || fields.U16(end + 8) != count || count == 0xFFFF ||
      directory == 0xFFFFFFFF)
    NotAnArchive();
  if (count > kMaxEntries) throw LqdStreamException(kTooLarge);
  if (directory > end || directorySize > end - directory) NotAnArchive();

  // Where each entry's data lie; nothing is copied until all are known.
  struct Span {
    size_t local;
    size_t data;
    size_t size;
    uint32_t crc;
  };
  std::vector<Entry> entries(count);
  std::vector<Span> spans;
  std::set<std::string> names;
  size_t total = 0;
  size_t at = directory;
  for (Entry& entry : entries) {
    fields.Need(at, kCentralSize);
    if (fields.U32(at) != kCentralSignature) NotAnArchive();
    const uint32_t flags = fields.U16(at + 8);
    const uint32_t method = fields.U16(at + 10);
    const uint32_t crc = fields.U32(at + 16);
    const uint32_t compressed = fields.U32(at + 20);
    const uint32_t size = fields.U32(at + 24);
    const size_t nameSize = fields.U16(at + 28);
    const size_t extraSize = fields.U16(at + 30);
    const size_t commentSize = fields.U16(at + 32);
    const size_t local = fields.U32(at + 42);
    fields.Need(at + kCentralSize, nameSize + extraSize + commentSize);
    entry.name.assign(archive.begin() + at + kCentralSize,
                      archive.begin() + at + kCentralSize + nameSize);
    at += kCentralSize + nameSize + extraSize + commentSize;
    if (LeavesTheFolder(entry.name)) NotAnArchive();
    // A backup's .zip holds its files, perhaps in one folder: "a/b" and
    // "a/" pass, "a/b/c" and "a/b/" do not.
    if (entry.name.find('\0') != std::string::npos ||
        std::count(entry.name.begin(), entry.name.end(), '/') > 1)
      throw LqdStreamException(kUnusableName);
    if (!names.insert(entry.name).second) throw LqdStreamException(kDuplicateName);
    if (method != kStored || (flags & kEncrypted) != 0) throw LqdStreamException(kCompressedEntry);
    if (compressed != size || size == 0xFFFFFFFF) NotAnArchive();
    total += size;
    if (total > kMaxTotal) throw LqdStreamException(kTooLarge);

    fields.Need(local, kLocalSize);
    if (fields.U32(local) != kLocalSignature) NotAnArchive();
    const size_t data = local + kLocalSize + fields.U16(local + 26) + fields.U16(local + 28);
    fields.Need(data, size);
    spans.push_back({local, data, size, crc});
  }
  // A count that wrapped past 65535 leaves records beyond the counted ones.
  if (at != directory + directorySize) throw LqdStreamException(kCountDiffers);

  std::vector<Span> byPlace = spans;
  std::sort(byPlace.begin(), byPlace.end(),
            [](const Span& a, const Span& b) { return a.local < b.local; });
  size_t free = 0;
  for (const Span& span : byPlace) {
    if (span.local < free) throw LqdStreamException(kOverlappingEntries);
    free = span.data + span.size;
  }
  if (free > directory) throw LqdStreamException(kOverlappingEntries);

  for (size_t n = 0; n < entries.size(); ++n) {
    const Span& span = spans[n];
    entries[n].data.assign(archive.begin() + span.data, archive.begin() + span.data + span.size);
    if (Crc32(entries[n].data) != span.crc) NotAnArchive();
  }
  return entries;
}
