#include "jobs/KeyboardBackup.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "files/FileError.h"
#include "files/LqdFileStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "files/ZipArchive.h"
#include "jobs/DataFile.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"

namespace fs = std::filesystem;

static_assert(LqdFileStream::kFolderNotSynced == KeyboardBackup::kUnfinished + 1 &&
                  KeyboardBackup::kNotAFile == ZipArchive::kCountDiffers + 1,
              "each code of the data stream group has its own text");

namespace {

constexpr char kStaging[] = ".ravlin-backup.new";
constexpr char kMarkerTemporary[] = ".ravlin-backup.tmp";
constexpr char kStateComplete[] = "complete\n";
constexpr char kStateUnfinished[] = "unfinished\n";

}  // namespace

struct KeyboardBackup::Item {
  SlotAddress address;
  std::string path;
  std::unique_ptr<QnDataFile> file;
};

namespace {

QnData& Slot(const QnKbdDrv& keyboard, const SlotAddress& address) {
  QnData* slot = address.Find(*keyboard.Root());
  if (slot == nullptr) throw LqdStreamException(LqdMidiStream::kNoSlot);
  return *slot;
}

std::string In(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder + (folder.back() == '/' ? "" : "/") + name;
}

std::string Path(const std::string& folder, const SlotAddress& address) {
  return In(folder, address.BackupFileName());
}

[[noreturn]] void Fail(FileError::Op op, const std::string& path, int error) {
  throw FileError(op, path, std::generic_category().message(error));
}

// Replaces the marker as Commit replaces a data file: a crash leaves the old
// marker or the new one, never an empty one.
void WriteMarker(const std::string& folder, const char* state) {
  const std::string marker = In(folder, KeyboardBackup::kMarker);
  const std::string temporary = In(folder, kMarkerTemporary);
  std::error_code ignored;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << state;
    out.close();
    if (!out) {
      fs::remove(temporary, ignored);
      throw FileError(FileError::Op::Create, marker, "write failed");
    }
  }
  if (const int error = LqdFileStream::PutOnDisk(temporary, false); error != 0) {
    fs::remove(temporary, ignored);
    Fail(FileError::Op::Write, marker, error);
  }
  std::error_code renamed;
  fs::rename(temporary, marker, renamed);
  if (renamed) {
    fs::remove(temporary, ignored);
    throw FileError(FileError::Op::Create, marker, renamed.message());
  }
  if (const int error = LqdFileStream::PutOnDisk(folder, true); error != 0) {
    Fail(FileError::Op::SyncFolder, marker, error);
  }
}

// Whether there is anything at `path`, even a dangling link.
bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

// The marker's state: "" when there is none. It has been checked to be a
// regular file.
std::string ReadMarker(const std::string& marker) {
  if (!Exists(marker)) return {};
  std::ifstream in(marker, std::ios::binary);
  std::string state{std::istreambuf_iterator<char>(in), {}};
  // Whatever cannot be read says nothing good about the folder.
  return state.empty() ? kStateUnfinished : state;
}

}  // namespace

KeyboardBackup::KeyboardBackup(JobEvents* events)
    : events_(events != nullptr ? events : &silent_) {}

KeyboardBackup::~KeyboardBackup() = default;

Task<void> KeyboardBackup::Backup(QnKbdDrv& keyboard, Link link, std::string folder) {
  std::vector<SlotAddress> present;
  for (const SlotAddress& address : SlotAddress::All()) {
    if (Slot(keyboard, address).IsPresent()) present.push_back(address);
  }
  const std::string staging = MakeStaging(folder);
  std::error_code error;
  try {
    for (size_t index = 0; index < present.size(); ++index) {
      const SlotAddress& address = present[index];
      current_ = index;
      context_ = address.ToString();
      keyboard.Kbd().CheckCancel();
      LqdMidiStream job(&Slot(keyboard, address), link.inDevice, link.outDevice);
      if (link.progress != nullptr) job.Attach(link.progress);
      QnDataFile file(QnData::kTypeUnknown);
      file.SetSize(job.TargetSize());
      {
        const JobEvents::Item item{index,   present.size(),           address.ToString(),
                                   address, &Slot(keyboard, address), file.Size(),
                                   false};
        const JobEvents::Transfer transfer(*events_, item);
        Task<void> received = job.Receive(file);
        co_await received;
      }
      context_ = Path(folder, address);
      DataFile::Write(Path(staging, address), file);
    }
    // The last chance to stop: once files move, the move is finished.
    keyboard.Kbd().CheckCancel();
    PutInPlace(folder, staging, present);
  } catch (...) {
    fs::remove_all(staging, error);
    throw;
  }
}

std::string KeyboardBackup::MakeStaging(const std::string& folder) {
  const std::string staging = In(folder, kStaging);
  context_ = staging;
  std::error_code error;
  // Left by a backup that was cut off: it was never part of the folder's backup.
  fs::remove_all(staging, error);
  if (!fs::create_directory(staging, error)) {
    throw FileError(FileError::Op::Create, staging, error ? error.message() : "cannot create");
  }
  return staging;
}

void KeyboardBackup::Place(const std::string& folder,
                           const std::vector<std::pair<SlotAddress, std::vector<uint8_t>>>& files) {
  const std::string staging = MakeStaging(folder);
  std::vector<SlotAddress> given;
  try {
    for (const auto& [address, bytes] : files) {
      const std::string path = Path(staging, address);
      context_ = Path(folder, address);
      {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) throw FileError(FileError::Op::Create, context_, "write failed");
      }
      if (const int error = LqdFileStream::PutOnDisk(path, false); error != 0)
        Fail(FileError::Op::Write, context_, error);
      given.push_back(address);
    }
    PutInPlace(folder, staging, given);
  } catch (...) {
    std::error_code error;
    fs::remove_all(staging, error);
    throw;
  }
}

void KeyboardBackup::PutInPlace(const std::string& folder, const std::string& staging,
                                const std::vector<SlotAddress>& received) {
  context_ = In(folder, kMarker);
  current_ = 0;
  WriteMarker(folder, kStateUnfinished);
  size_t written = 0;
  for (const SlotAddress& address : SlotAddress::All()) {
    const std::string path = Path(folder, address);
    context_ = path;
    current_ = written;
    std::error_code error;
    const JobEvents::Item item{written, received.size(), path, address, nullptr, 0, false};
    if (std::find(received.begin(), received.end(), address) != received.end()) {
      fs::rename(Path(staging, address), path, error);
      if (error) throw FileError(FileError::Op::Create, path, error.message());
      ++written;
      events_->Done(item, JobEvents::Kind::Written, path);
    } else if (Exists(path)) {
      if (!fs::remove(path, error)) throw LqdStreamException(kCannotRemove);
      events_->Done(item, JobEvents::Kind::Removed, path);
    }
  }
  std::error_code error;
  fs::remove(staging, error);
  context_ = folder;
  if (const int failed = LqdFileStream::PutOnDisk(folder, true); failed != 0) {
    Fail(FileError::Op::Write, folder, failed);
  }
  context_ = In(folder, kMarker);
  WriteMarker(folder, kStateComplete);
}

void KeyboardBackup::Load(const std::string& folder) {
  items_.clear();
  const std::string marker = In(folder, kMarker);
  std::vector<std::string> toCheck{marker};
  std::vector<SlotAddress> found;
  for (const SlotAddress& address : SlotAddress::All()) {
    if (!Exists(Path(folder, address))) continue;
    found.push_back(address);
    toCheck.push_back(Path(folder, address));
  }
  for (const std::string& path : toCheck) {
    context_ = path;
    std::error_code error;
    if (Exists(path) && !fs::is_regular_file(fs::status(path, error)))
      throw LqdStreamException(kNotAFile);
  }
  context_ = folder;
  const std::string state = ReadMarker(marker);
  if (!state.empty() && state != kStateComplete) throw LqdStreamException(kUnfinished);
  for (const SlotAddress& address : found) {
    const std::string path = Path(folder, address);
    context_ = path;
    std::unique_ptr<QnDataFile> file = DataFile::Read(path);
    if (file->Type() != address.Type()) throw LqdStreamException(LqdMidiStream::kTypeDiffers);
    items_.push_back({address, path, std::move(file)});
  }
  context_ = folder;
  if (items_.empty()) throw LqdStreamException(kNoBackupFiles);
}

size_t KeyboardBackup::Count() const { return items_.size(); }

std::vector<SlotAddress> KeyboardBackup::Addresses() const {
  std::vector<SlotAddress> addresses;
  for (const Item& item : items_) addresses.push_back(item.address);
  return addresses;
}

std::time_t KeyboardBackup::Made() const {
  std::optional<fs::file_time_type> newest;
  for (const Item& item : items_) {
    std::error_code error;
    const fs::file_time_type written = fs::last_write_time(item.path, error);
    if (!error && (!newest || written > *newest)) newest = written;
  }
  if (!newest) return 0;
  const auto since = std::chrono::duration_cast<std::chrono::system_clock::duration>(
      *newest - fs::file_time_type::clock::now());
  return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() + since);
}

Task<void> KeyboardBackup::Restore(QnKbdDrv& keyboard, Link link) {
  // Songs and rhythms share one memory, and each send refuses a song that
  // does not fit beside the others: the slots to be filled are emptied
  // first, together, but only once the files are known to fit.
  uint64_t needed = 0;
  uint64_t available = 0;
  std::vector<SlotAddress> toDelete;
  for (const Item& item : items_) {
    if (!item.address.IsDeletable()) continue;
    const QnData& slot = Slot(keyboard, item.address);
    needed += item.file->Size();
    if (slot.IsPresent()) {
      available += slot.Size();
      toDelete.push_back(item.address);
    }
  }
  if (needed > 0) {
    const QnDataDrive* songRhythm =
        keyboard.GetDrive(keyboard.GetDriveName(keyboard.GetDriveCount() - 1));
    available += songRhythm->FreeBytes();
    if (needed > available) throw LqdStreamException(LqdMidiStream::kNoMemory);
  }
  std::stable_partition(items_.begin(), items_.end(),
                        [](const Item& item) { return !item.address.IsDeletable(); });
  bool deleted = false;
  std::optional<MidiDev::CancelHold> songsAndRhythms;
  for (size_t i = 0; i < items_.size(); ++i) {
    Item& item = items_[i];
    current_ = i;
    context_ = item.path;
    keyboard.Kbd().CheckCancel();
    // Once songs and rhythms are deleted, they are all sent: a stop between
    // them would leave slots empty that held data before the restore.
    if (item.address.IsDeletable() && !deleted) {
      deleted = true;
      songsAndRhythms.emplace(*MidiDev::Instance());
      for (const SlotAddress& address : toDelete) {
        context_ = address.ToString();
        Task<void> emptied = keyboard.DeleteData(&Slot(keyboard, address));
        co_await emptied;
      }
      context_ = item.path;
    }
    LqdMidiStream job(&Slot(keyboard, item.address), link.inDevice, link.outDevice);
    if (link.progress != nullptr) job.Attach(link.progress);
    const JobEvents::Item step{i,
                               items_.size(),
                               item.path,
                               item.address,
                               &Slot(keyboard, item.address),
                               item.file->Size(),
                               true};
    {
      const JobEvents::Transfer transfer(*events_, step);
      Task<void> sent = job.Send(*item.file);
      co_await sent;
    }
    events_->Done(step, JobEvents::Kind::Restored, item.path);
  }
}
