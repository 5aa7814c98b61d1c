#include "files/LqdMidiStream.h"

#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/QnException.h"
#include "midi/MidiDev.h"
#include "protocol/QnSysEx.h"
#include "protocol/QnSysExObserver.h"

namespace {

constexpr uint8_t kMatchEverything = 9;
constexpr uint8_t kFreeBytesParameter = 0x22;

bool IsSlot(const QnData& entry) {
  return (entry.Kind() & (QnData::kKindDrive | QnData::kKindDirectory)) == 0;
}

// A caption shows a name up to its first NUL; a path may carry either.
bool Names(const QnData& entry, const std::string& slotName) {
  const std::string& name = entry.Name();
  return name == slotName || name.substr(0, name.find('\0')) == slotName;
}

}  // namespace

LqdMidiStream::LqdMidiStream(const std::string& path, int32_t inDevice, int32_t outDevice)
    : protocol_(QnSysEx::Instance()),
      keyboard_(nullptr),
      inDevice_(inDevice),
      outDevice_(outDevice) {
  OpenDevices();
  FindTarget(path);
  if (target_ == nullptr) throw LqdStreamException(kNoSlot);
}

LqdMidiStream::LqdMidiStream(QnData* slot, int32_t inDevice, int32_t outDevice)
    : protocol_(QnSysEx::Instance()),
      keyboard_(nullptr),
      inDevice_(inDevice),
      outDevice_(outDevice) {
  OpenDevices();
  for (int i = 0; i < keyboard_->GetDriveCount() && target_ == nullptr; ++i) {
    const std::string name = keyboard_->GetDriveName(i);
    if (Locate(keyboard_->GetDrive(name), slot, name + "\\")) driveName_ = name;
  }
  if (target_ == nullptr) throw LqdStreamException(kNoSlot);
}

void LqdMidiStream::OpenDevices() {
  protocol_->OpenIn(inDevice_);
  protocol_->OpenOut(outDevice_);
  keyboard_ = QnKbdDrv::Instance();
}

bool LqdMidiStream::Locate(QnDataDrive* folder, const QnData* slot, const std::string& path) {
  for (size_t i = 0; i < folder->ChildCount(); ++i) {
    QnData* child = folder->Child(i);
    if (child == slot && IsSlot(*child)) {
      target_ = child;
      directory_ = path;
      return true;
    }
    if ((child->Kind() & QnData::kKindDirectory) &&
        Locate(static_cast<QnDataDrive*>(child), slot,
               (path.back() == '\\' ? path : path + "\\") + child->Name())) {
      return true;
    }
  }
  return false;
}

// The path is a drive name, the folder names below it and then the slot's
// display name, each followed by one separator. The folders are walked by
// name rather than by cutting at the last separator, because a data name may
// itself hold a colon or a backslash.
void LqdMidiStream::FindTarget(const std::string& path) {
  QnDataDrive* folder = nullptr;
  size_t pos = 0;
  for (int i = 0; i < keyboard_->GetDriveCount(); ++i) {
    const std::string name = keyboard_->GetDriveName(i);
    if (path.size() > name.size() && path.compare(0, name.size(), name) == 0) {
      folder = keyboard_->GetDrive(name);
      driveName_ = name;
      pos = name.size() + 1;
      directory_ = path.substr(0, pos);
      break;
    }
  }
  if (folder == nullptr) return;

  for (bool descended = true; descended;) {
    descended = false;
    for (size_t i = 0; i < folder->ChildCount(); ++i) {
      QnData* child = folder->Child(i);
      const std::string& name = child->Name();
      if ((child->Kind() & QnData::kKindDirectory) && pos + name.size() < path.size() &&
          path.compare(pos, name.size(), name) == 0) {
        directory_ = path.substr(0, pos + name.size());
        pos += name.size() + 1;
        folder = static_cast<QnDataDrive*>(child);
        descended = true;
        break;
      }
    }
  }
  const std::string slotName = path.substr(pos);

  // Equal names would leave it to chance which slot is written.
  QnData* entry = nullptr;
  QnData* found = nullptr;
  bool ambiguous = false;
  if (!keyboard_->FindFirst(directory_, kMatchEverything, entry)) return;
  do {
    if (IsSlot(*entry) && Names(*entry, slotName)) {
      ambiguous = ambiguous || found != nullptr;
      found = entry;
    }
  } while (keyboard_->FindNext(entry));
  keyboard_->FindClose();
  if (!ambiguous) target_ = found;
}

void LqdMidiStream::Attach(QnSysExObserver* observer) { observer->Attach(protocol_); }

uint32_t LqdMidiStream::TargetSize() const { return target_->Size(); }

void LqdMidiStream::Begin(uint8_t command) {
  protocol_->OpenIn(inDevice_);
  protocol_->OpenOut(outDevice_);
  protocol_->SetModel(QnSysEx::kModelCode);
  protocol_->SetDevice(QnSysEx::kDeviceNumber);
  protocol_->SetCommand(command);
}

Task<uint32_t> LqdMidiStream::FreeMemory() {
  Begin(QnSysEx::kRead);
  address_ = SysExAddress{};
  protocol_->SetAddress(&address_);
  parameter_ = SysExParam{};
  parameter_.number = kFreeBytesParameter;
  parameter_.width = 32;
  parameter_.indexCount = 1;
  protocol_->SetParameter(&parameter_);
  Task<void> read = protocol_->Transact();
  co_await read;
  co_return parameter_.value;
}

// The transfer works on 16-bit words; the file holds bytes in memory word
// order, low byte first. They are taken byte by byte, whatever the host's own
// byte order; an odd last byte is the low byte of a word of its own.
void LqdMidiStream::FillAddress(const uint8_t* data, size_t size) {
  words_.assign((size + 1) / 2, 0);
  for (size_t i = 0; i < size; ++i) {
    words_[i / 2] |= static_cast<uint16_t>(data[i] << (i % 2 == 0 ? 0 : 8));
  }
  address_ = SysExAddress{};
  address_.category = static_cast<uint8_t>(target_->Type());
  address_.bytesRemaining = target_->Size();
  address_.itemNumber = QnKbdDrv::ItemNumber(*target_);
  address_.words = words_.data();
  address_.wordCount = static_cast<uint32_t>(words_.size());
}

// The words received back into the file's bytes, in the same order.
void LqdMidiStream::TakeWords(uint8_t* data, size_t size) const {
  for (size_t i = 0; i < size; ++i) {
    data[i] = static_cast<uint8_t>(words_[i / 2] >> (i % 2 == 0 ? 0 : 8));
  }
}

Task<void> LqdMidiStream::Send(QnDataFile& file) {
  const uint16_t type = target_->Type();
  if (file.Type() != type) throw LqdStreamException(kTypeDiffers);
  protocol_->CheckCancel();
  const MidiDev::CancelHold whole(protocol_->Device());
  if (type == QnData::kTypeRhythm) {
    Task<uint32_t> free = FreeMemory();
    if (co_await free < file.Size()) throw LqdStreamException(kNoMemory);
  }
  if (type == QnData::kTypeSong || type == QnData::kTypeRhythm) {
    Task<uint32_t> free = FreeMemory();
    if (co_await free < file.Size()) throw LqdStreamException(kNoMemory);
    Task<void> deleted = keyboard_->DeleteData(target_);
    co_await deleted;
  }
  target_->SetSize(file.Size());

  FillAddress(file.Data(), file.Size());
  Begin(QnSysEx::kSendBlocks);
  protocol_->SetAddress(&address_);
  Task<void> upload = protocol_->Transact();
  co_await upload;

  target_->SetName(file.Name());
  target_->MarkPresent();
  file.SetBankNumber(target_->BankNumber());
  file.SetSlotNumber(target_->SlotNumber());
  // The keyboard stores the item before it answers again.
  MidiDev::Pausing settle = protocol_->Device().Pause(kSettleTime);
  co_await settle;
  Task<void> free = keyboard_->UpdateFreeSpace(driveName_);
  co_await free;
}

Task<void> LqdMidiStream::Receive(QnDataFile& file) {
  // The size is what the keyboard reported for the slot; it is trusted only
  // as far as the memory the slot lives in, before anything is allocated.
  const QnDataDrive* drive = keyboard_->GetDrive(driveName_);
  if (drive == nullptr || TargetSize() > drive->Capacity()) {
    throw QnSysExException(QnSysEx::kSizeBeyondMemory);
  }
  file.SetSize(TargetSize());
  uint8_t* data = file.Data();
  FillAddress(data, file.Size());
  Begin(QnSysEx::kReceiveBlocks);
  protocol_->SetAddress(&address_);
  Task<void> download = protocol_->Transact();
  co_await download;
  // A keyboard that ends the item early leaves the rest of the buffer as it
  // was made, zero: that is no copy of the item.
  if (protocol_->WordsReceived() < words_.size()) {
    throw QnSysExException(QnSysEx::kCommunication);
  }
  TakeWords(data, file.Size());

  file.SetType(target_->Type());
  file.SetSize(target_->Size());
  file.LoadDataName();
}
