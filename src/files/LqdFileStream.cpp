#include "files/LqdFileStream.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>
#include <vector>

#include "files/KeyboardText.h"
#include "files/QnDataFile.h"
#include "midi/QnException.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSignature[16] = "VARDO Music Lib";
constexpr int64_t kHeaderSize = static_cast<int64_t>(QnData::kHeaderSize);
constexpr int32_t kNotLqd = 0;

uint32_t HeaderSize(const QnData::Header& h) {
  return (static_cast<uint32_t>(h[16]) << 24) | (static_cast<uint32_t>(h[17]) << 16) |
         (static_cast<uint32_t>(h[18]) << 8) | h[19];
}

// Data words are high byte first in a file and low byte first in memory; an
// odd last byte is copied as it is.
void SwapWords(const uint8_t* from, uint8_t* to, size_t count) {
  for (size_t i = 0; i + 1 < count; i += 2) {
    to[i] = from[i + 1];
    to[i + 1] = from[i];
  }
  if (count % 2 != 0) to[count - 1] = from[count - 1];
}

// Puts a file's data (or a folder's entries) on the disk: 0, or the error.
int RealSync(const fs::path& path, bool folder) {
#ifdef _WIN32
  // A folder cannot be opened for this; NTFS journals its own renames.
  if (folder) return 0;
  const int fd = _wopen(path.c_str(), _O_WRONLY | _O_BINARY);
  if (fd < 0) return errno;
  const int result = _commit(fd) == 0 ? 0 : errno;
  _close(fd);
  return result;
#else
  const fs::path name = path.empty() ? fs::path(".") : path;
  const int fd =
      ::open(name.c_str(), folder ? O_RDONLY | O_DIRECTORY | O_CLOEXEC : O_WRONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int result = 0;
  while (::fsync(fd) != 0) {
    if (errno == EINTR) continue;
    // Some file systems cannot sync a folder at all; there is nothing to wait for.
    if (!(folder && (errno == EINVAL || errno == ENOTSUP))) result = errno;
    break;
  }
  ::close(fd);
  return result;
#endif
}

LqdFileStream::Sync syncHook = RealSync;

}  // namespace

LqdFileStream::Sync LqdFileStream::SetSync(Sync next) {
  Sync previous = syncHook;
  syncHook = next != nullptr ? next : RealSync;
  return previous;
}

int LqdFileStream::PutOnDisk(const fs::path& path, bool folder) { return syncHook(path, folder); }

LqdFileStream::LqdFileStream(const std::string& path, Mode mode) : path_(path), mode_(mode) {
  if (mode_ == Create) {
    CreateTemporary();
  } else {
    OpenChecked();
  }
}

LqdFileStream::~LqdFileStream() {
  if (mode_ == Create && !committed_) {
    file_.close();
    std::error_code ignored;
    fs::remove(temporary_, ignored);
  }
}

void LqdFileStream::Fail(FileError::Op op, int error, const char* fallback) const {
  throw FileError(op, path_,
                  error != 0 ? std::generic_category().message(error) : std::string(fallback));
}

void LqdFileStream::OpenChecked() {
  // Only a regular file (or a link to one) is opened: a named pipe or a
  // device would keep the open, or the read, waiting for ever. What does not
  // exist is left to the open, which says so.
  std::error_code ec;
  const fs::file_status status = fs::status(path_, ec);
  if (fs::is_directory(status)) Fail(FileError::Op::Open, EISDIR, "");
  if (!ec && fs::exists(status) && !fs::is_regular_file(status)) throw LqdStreamException(kNotLqd);
  errno = 0;
  file_.open(path_, std::ios::in | std::ios::binary);
  if (!file_.is_open()) Fail(FileError::Op::Open, errno, "cannot open");
  file_.seekg(0, std::ios::end);
  const std::streamoff end = file_.tellg();
  if (!file_ || end < 0) Fail(FileError::Op::Read, errno, "cannot find the file's length");
  length_ = end;
  file_.seekg(0);

  QnData::Header header{};
  const auto wanted = static_cast<std::streamsize>(std::min(length_, kHeaderSize));
  file_.read(reinterpret_cast<char*>(header.data()), wanted);
  if (file_.gcount() != wanted) Fail(FileError::Op::Read, errno, "unexpected end of file");

  // Beyond the signature, a short header and a data part of another length
  // than the header's size are refused too: such a file cannot be read whole.
  const bool passes = length_ >= kHeaderSize &&
                      std::memcmp(header.data(), kSignature, sizeof kSignature) == 0 &&
                      HeaderSize(header) == length_ - kHeaderSize;
  // Nor is a buffer made for more than any keyboard memory holds.
  const bool fits = HeaderSize(header) <= QnDataFile::kMaxDataSize;
  if (!passes || !fits) {
    file_.close();
    throw LqdStreamException(kNotLqd);
  }
  file_.seekg(0);
}

void LqdFileStream::CreateTemporary() {
  std::error_code ec;
  if (fs::is_directory(path_, ec)) Fail(FileError::Op::Create, EISDIR, "");
  // Through a link the file it names is replaced, not the link.
  target_ = path_;
  if (fs::is_symlink(target_, ec)) {
    const fs::path resolved = fs::weakly_canonical(target_, ec);
    if (!ec) target_ = resolved;
  }
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name(1, '.');
    name += target_.filename().string() + "." + std::to_string(random()) + ".tmp";
    const fs::path candidate = target_.parent_path() / name;
    if (fs::exists(candidate, ec)) continue;
    errno = 0;
    file_.open(candidate, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file_.is_open()) Fail(FileError::Op::Create, errno, "cannot create");
    temporary_ = candidate;
    return;
  }
  Fail(FileError::Op::Create, EEXIST, "");
}

void LqdFileStream::Read(QnDataFile& file) {
  if (mode_ == Create) Fail(FileError::Op::Read, EBADF, "");
  file_.clear();
  file_.seekg(0);
  QnData::Header header{};
  errno = 0;
  file_.read(reinterpret_cast<char*>(header.data()), kHeaderSize);
  if (!file_) Fail(FileError::Op::Read, errno, "unexpected end of file");
  // The file may have changed since it was checked.
  const uint32_t size = HeaderSize(header);
  if (size != length_ - kHeaderSize || size > QnDataFile::kMaxDataSize) {
    throw LqdStreamException(kNotLqd);
  }
  std::vector<uint8_t> bytes(size);
  file_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  if (file_.gcount() != static_cast<std::streamsize>(size)) {
    Fail(FileError::Op::Read, errno, "unexpected end of file");
  }

  file.HeaderBytes() = header;
  uint8_t* data = file.Data();
  SwapWords(bytes.data(), data, size);
  // A reused, larger buffer keeps nothing of the item read before.
  std::memset(data + size, 0, file.DataCapacity() - size);
  file.LoadDataName();
}

void LqdFileStream::Write(QnDataFile& file) {
  if (mode_ != Create) Fail(FileError::Op::Write, EBADF, "");
  const std::vector<uint8_t> bytes = Bytes(file);
  errno = 0;
  file_.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  file_.flush();
  if (!file_) Fail(FileError::Op::Write, errno, "write failed");
  length_ += static_cast<int64_t>(bytes.size());
}

void LqdFileStream::Commit() {
  if (mode_ != Create || committed_) return;
  errno = 0;
  file_.flush();
  if (!file_) Fail(FileError::Op::Write, errno, "write failed");
  file_.close();
  if (file_.fail()) Fail(FileError::Op::Write, errno, "write failed");
  // On the disk before it takes the target's name: after a power cut the
  // folder then holds the old file or the whole new one, never an empty one.
  if (const int error = syncHook(temporary_, false); error != 0) {
    Fail(FileError::Op::Write, error, "");
  }

  std::error_code ec;
  const fs::file_status old = fs::status(target_, ec);
  if (!ec && fs::is_regular_file(old)) fs::permissions(temporary_, old.permissions(), ec);
  fs::rename(temporary_, target_, ec);
  if (ec) throw FileError(FileError::Op::Create, path_, ec.message());
  committed_ = true;
  // And the rename itself, which lives in the folder.
  if (const int error = syncHook(target_.parent_path(), true); error != 0) {
    Fail(FileError::Op::SyncFolder, error, "");
  }
}

std::vector<uint8_t> LqdFileStream::Bytes(QnDataFile& file) {
  const size_t size = file.Size();
  const uint8_t* data = file.Data();
  std::vector<uint8_t> bytes(QnData::kHeaderSize + size);
  std::memcpy(bytes.data(), file.HeaderBytes().data(), QnData::kHeaderSize);
  SwapWords(data, bytes.data() + QnData::kHeaderSize, size);
  return bytes;
}

int64_t LqdFileStream::DataLength() const { return length_ - kHeaderSize; }

std::string LqdFileStream::ImportFileName(const QnDataFile& file) {
  const char* prefix = "";
  switch (file.Type()) {
    case QnData::kTypeTone:
      prefix = "TON_";
      break;
    case QnData::kTypeDsp:
      prefix = "DSP_";
      break;
    case QnData::kTypeRegistration:
      prefix = "REG_";
      break;
    case QnData::kTypeSong:
      prefix = "SNG_";
      break;
    case QnData::kTypeRhythm:
      prefix = "RHY_";
      break;
    default:
      break;
  }
  const std::string& name = file.Name();
  return prefix + KeyboardText::ToFileName(name.substr(0, name.find('\0'))) + ".lqd";
}
