// Any bytes read as a backup's .zip, as the page reads one for a restore: an
// archive that is taken holds no more than a backup can (entries, bytes,
// names of at most one folder level, each once) and comes back whole from
// what the writer makes of its entries.
//
// Input: the archive.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "files/ZipArchive.h"
#include "midi/QnException.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<ZipArchive::Entry> entries;
  try {
    entries = ZipArchive::Read(std::vector<uint8_t>(data, data + size));
  } catch (const LqdStreamException&) {
    return 0;
  }
  if (entries.size() > ZipArchive::kMaxEntries) Fail("more entries than a backup holds");
  size_t total = 0;
  std::set<std::string> names;
  for (const ZipArchive::Entry& entry : entries) {
    total += entry.data.size();
    if (!names.insert(entry.name).second) Fail("a name taken twice");
    if (std::count(entry.name.begin(), entry.name.end(), '/') > 1 ||
        entry.name.find('\0') != std::string::npos)
      Fail("a name that is no backup file's");
  }
  if (total > ZipArchive::kMaxTotal || total > size) Fail("more bytes than the archive holds");

  const std::vector<ZipArchive::Entry> back = ZipArchive::Read(ZipArchive::Write(entries));
  if (back.size() != entries.size()) Fail("the written archive lost entries");
  for (size_t i = 0; i < back.size(); ++i) {
    if (back[i].name != entries[i].name || back[i].data != entries[i].data)
      Fail("the written archive differs");
  }
  return 0;
}
