#include "files/KeyboardBackup.h"

#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "files/LqdFileStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/QnException.h"
#include "protocol/Cancellation.h"

namespace {

// Tells the listener that a transfer ended, however it ended.
class EndGuard {
 public:
  explicit EndGuard(KeyboardBackup::Listener& listener) : listener_(listener) {}
  ~EndGuard() { listener_.Ended(); }
  EndGuard(const EndGuard&) = delete;
  EndGuard& operator=(const EndGuard&) = delete;

 private:
  KeyboardBackup::Listener& listener_;
};

std::unique_ptr<QnDataFile> ReadFile(const std::string& path) {
  LqdFileStream stream(path, LqdFileStream::OpenRead);
  auto file = std::make_unique<QnDataFile>(QnData::kTypeUnknown);
  file->SetSize(static_cast<uint32_t>(stream.DataLength()));
  stream.Read(*file);
  return file;
}

void WriteFile(const std::string& path, QnDataFile& file) {
  LqdFileStream stream(path, LqdFileStream::Create);
  stream.Write(file);
  stream.Commit();
}

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

std::string Path(const std::string& folder, const SlotAddress& address) {
  if (folder.empty()) return address.BackupFileName();
  return folder + (folder.back() == '/' ? "" : "/") + address.BackupFileName();
}

}  // namespace

KeyboardBackup::KeyboardBackup(Listener* listener)
    : listener_(listener != nullptr ? listener : &silent_) {}

KeyboardBackup::~KeyboardBackup() = default;

void KeyboardBackup::Backup(QnKbdDrv& keyboard, const Link& link, const std::string& folder) {
  size_t count = 0;
  for (const SlotAddress& address : SlotAddress::All()) {
    count += Slot(keyboard, address).IsPresent() ? 1 : 0;
  }
  size_t index = 0;
  for (const SlotAddress& address : SlotAddress::All()) {
    const std::string path = Path(folder, address);
    context_ = address.ToString();
    Cancellation::Check();
    QnData& slot = Slot(keyboard, address);
    if (!slot.IsPresent()) {
      std::error_code error;
      if (!std::filesystem::exists(path, error)) continue;
      context_ = path;
      if (!std::filesystem::remove(path, error)) throw LqdStreamException(kCannotRemove);
      listener_->Removed(path);
      continue;
    }
    LqdMidiStream job(&slot, link.inDevice, link.outDevice);
    if (link.progress != nullptr) job.Attach(link.progress);
    QnDataFile file(QnData::kTypeUnknown);
    file.SetSize(job.TargetSize());
    {
      listener_->Starting({index++, count, address, file.Size(), false});
      EndGuard ended(*listener_);
      job.Receive(file);
    }
    // Cancelled after the last exchange of the item: its file stays as it was.
    Cancellation::Check();
    context_ = path;
    WriteFile(path, file);
    listener_->Written(path);
  }
}

void KeyboardBackup::Load(const std::string& folder) {
  items_.clear();
  for (const SlotAddress& address : SlotAddress::All()) {
    const std::string path = Path(folder, address);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) continue;
    context_ = path;
    std::unique_ptr<QnDataFile> file = ReadFile(path);
    if (file->Type() != address.Type()) throw LqdStreamException(LqdMidiStream::kTypeDiffers);
    items_.push_back({address, path, std::move(file)});
  }
  context_ = folder;
  if (items_.empty()) throw LqdStreamException(kNoBackupFiles);
}

void KeyboardBackup::Restore(QnKbdDrv& keyboard, const Link& link) {
  // Songs and rhythms share one memory: the slots to be filled are emptied
  // first, but only once the files are known to fit.
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
  for (const SlotAddress& address : toDelete) {
    context_ = address.ToString();
    keyboard.DeleteData(&Slot(keyboard, address));
  }
  for (size_t i = 0; i < items_.size(); ++i) {
    Item& item = items_[i];
    context_ = item.path;
    Cancellation::Check();
    LqdMidiStream job(&Slot(keyboard, item.address), link.inDevice, link.outDevice);
    if (link.progress != nullptr) job.Attach(link.progress);
    {
      listener_->Starting({i, items_.size(), item.address, item.file->Size(), true});
      EndGuard ended(*listener_);
      job.Send(*item.file);
    }
    listener_->Restored(item.path, item.address);
  }
}
