// Any file opened and read as a data file, then written back through a
// temporary file and renamed into place: a file that is taken must come out
// byte for byte as it went in, also when read into an entry whose buffer
// held a larger item before.
//
// Input: the file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "files/LqdFileStream.h"
#include "files/QnDataFile.h"
#include "midi/QnException.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBack(QnDataFile& file, const fs::path& path, const uint8_t* data, size_t size) {
  {
    LqdFileStream out(path.string(), LqdFileStream::Create);
    out.Write(file);
    out.Commit();
  }
  if (Contents(path) != std::vector<uint8_t>(data, data + size)) {
    std::fprintf(stderr, "the file written back differs from the file read\n");
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path original = ScratchFolder() / "original.lqd";
  const fs::path copy = ScratchFolder() / "copy.lqd";
  {
    std::ofstream out(original, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  QnDataFile file;
  try {
    LqdFileStream in(original.string(), LqdFileStream::OpenRead);
    in.Read(file);
  } catch (const LqdStreamException&) {
    return 0;
  }
  WriteBack(file, copy, data, size);

  // The same file into an entry that held a larger item.
  QnDataFile reused;
  reused.SetSize(file.Size() + 300);
  std::fill_n(reused.Data(), reused.DataCapacity(), 0xA5);
  {
    LqdFileStream in(copy.string(), LqdFileStream::OpenRead);
    in.Read(reused);
  }
  if (reused.Name() != file.Name()) std::abort();
  WriteBack(reused, copy, data, size);
  return 0;
}
