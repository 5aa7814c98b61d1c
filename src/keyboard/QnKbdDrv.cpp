#include "keyboard/QnKbdDrv.h"

#include "files/QnData.h"
#include "files/QnDataDirectory.h"
#include "files/QnDataDrive.h"
#include "midi/QnException.h"
#include "midi/MidiDev.h"

namespace {

QnKbdDrv* instance = nullptr;

constexpr uint16_t kModelCode = 0x1101;

std::string WithDigit(const char* prefix, uint32_t number) {
  return std::string(prefix) + static_cast<char>('0' + number);
}

bool BeginsWith(const std::string& path, const std::string& name) {
  return path.size() >= name.size() && path.compare(0, name.size(), name) == 0;
}

QnDataDrive* NewDrive(uint16_t type, const char* name, uint32_t capacity, uint32_t freeBytes) {
  auto* drive = new QnDataDrive(type);
  drive->SetName(name);
  drive->SetCapacity(capacity);
  drive->SetFreeBytes(freeBytes);
  return drive;
}

QnDataDirectory* NewFolder(uint16_t type, const std::string& name) {
  auto* folder = new QnDataDirectory(type);
  folder->SetName(name);
  return folder;
}

void AddSlots(QnDataDrive* folder, uint16_t type, const char* prefix, int count,
              uint32_t bank = 0) {
  for (int s = 0; s < count; ++s) {
    auto* slot = new QnData(type);
    slot->SetName(WithDigit(prefix, s));
    slot->SetBankNumber(bank);
    slot->SetSlotNumber(s);
    slot->SetModelCode(kModelCode);
    folder->AddChild(slot);
  }
}

}  // namespace

QnKbdDrv* QnKbdDrv::Instance(const std::string& model) {
  if (instance == nullptr) instance = new QnKbdDrv(model);
  return instance;
}

void QnKbdDrv::Destroy() {
  delete instance;
  instance = nullptr;
}

QnKbdDrv::QnKbdDrv(const std::string& model) {
  if (model == kModelName) kbdType_ = kTypeTrv408;
  BuildTree(model);
  connected_ = false;
}

QnKbdDrv::~QnKbdDrv() {
  while (!dirStack_.empty()) dirStack_.pop();
  while (!indexStack_.empty()) indexStack_.pop();
  while (!maskStack_.empty()) maskStack_.pop();
  delete root_;
}

void QnKbdDrv::BuildTree(const std::string& model) {
  delete root_;
  root_ = nullptr;
  driveNames_.clear();
  root_ = new QnDataDrive(QnData::kTypeKeyboard);
  root_->SetName(model);
  if (kbdType_ == kTypeTrv408) BuildMemoryMap();
  // A cursor left on the old tree would dangle.
  dirStack_ = {};
  indexStack_ = {};
  maskStack_ = {};
  curDir_ = root_;
  curIndex_ = 0;
  curMask_ = 0;
}

void QnKbdDrv::BuildMemoryMap() {
  auto addDrive = [this](QnDataDrive* drive) {
    root_->AddChild(drive);
    driveNames_.push_back(drive->Name());
    return drive;
  };

  QnDataDrive* tone = addDrive(NewDrive(QnData::kTypeTone, "Tone:", 600, 0));
  AddSlots(tone, QnData::kTypeTone, "User ", 10);

  QnDataDrive* dsp = addDrive(NewDrive(QnData::kTypeDsp, "DSP:", 360, 0));
  AddSlots(dsp, QnData::kTypeDsp, "User ", 10);

  QnDataDrive* registration =
      addDrive(NewDrive(QnData::kTypeRegistration, "Registration:", 2816, 0));
  for (uint32_t b = 0; b < 4; ++b) {
    QnDataDirectory* bank = NewFolder(QnData::kTypeRegistration, WithDigit("Bank", b));
    registration->AddChild(bank);
    AddSlots(bank, QnData::kTypeRegistration, "User ", 4, b);
  }

  QnDataDrive* songRhythm = addDrive(NewDrive(QnData::kTypeSong, "Song Rhythm:", 21504, 21504));
  QnDataDirectory* song = NewFolder(QnData::kTypeSong, "Song");
  songRhythm->AddChild(song);
  AddSlots(song, QnData::kTypeSong, "Song ", 2);
  QnDataDirectory* rhythm = NewFolder(QnData::kTypeRhythm, "Rhythm");
  songRhythm->AddChild(rhythm);
  AddSlots(rhythm, QnData::kTypeRhythm, "User ", 4);
}

Task<void> QnKbdDrv::Connect(int32_t inDevice, int32_t outDevice) {
  inDevice_ = inDevice;
  outDevice_ = outDevice;
  Task<void> opened = kbd_.Open(inDevice, outDevice);
  co_await opened;
  Task<int32_t> type = kbd_.KeyboardType();
  if (co_await type != kbdType_) throw QnKbdDrvException(0);
  for (int i = 0; i < GetDriveCount(); ++i) {
    Task<void> free = UpdateFreeSpace(driveNames_[i]);
    co_await free;
    Task<void> folder = ReadDirectory(static_cast<QnDataDrive*>(root_->Child(i)));
    co_await folder;
  }
  connected_ = true;
}

Task<void> QnKbdDrv::ReadDirectory(QnDataDrive* folder) {
  for (size_t i = 0; i < folder->ChildCount(); ++i) {
    QnData* c = folder->Child(i);
    if (c->Kind() & QnData::kKindDirectory) {
      Task<void> inner = ReadDirectory(static_cast<QnDataDrive*>(c));
      co_await inner;
      if (c->Type() == QnData::kTypeSong || c->Type() == QnData::kTypeRhythm) {
        Task<uint32_t> free = kbd_.FreeBytes();
        c->SetSize(co_await free);
      }
      c->MarkPresent();
      continue;
    }
    if ((c->Kind() & (QnData::kKindEntry | QnData::kKindFile)) == 0) continue;
    const auto slot = static_cast<uint8_t>(c->SlotNumber());
    switch (c->Type()) {
      case QnData::kTypeTone:
        if (uint32_t n = kbd_.ToneSize(); n != 0) {
          c->MarkPresent();
          c->SetSize(n);
          Task<std::string> name = kbd_.ToneName(slot);
          c->SetName(co_await name);
        }
        break;
      case QnData::kTypeDsp:
        if (uint32_t n = kbd_.DspSize(); n != 0) {
          c->MarkPresent();
          c->SetSize(n);
          Task<std::string> name = kbd_.DspName(slot);
          c->SetName(co_await name);
        }
        break;
      case QnData::kTypeSong: {
        Task<uint32_t> size = kbd_.SongSize(slot);
        const uint32_t n = co_await size;
        c->SetSize(n);
        if (n == 0) {
          c->MarkAbsent();
          c->SetName(WithDigit("Song ", slot));
        } else {
          c->MarkPresent();
          Task<std::string> name = kbd_.SongName(slot);
          c->SetName(co_await name);
        }
        break;
      }
      case QnData::kTypeRhythm: {
        Task<uint32_t> size = kbd_.RhythmSize(slot);
        const uint32_t n = co_await size;
        c->SetSize(n);
        if (n == 0) {
          c->MarkAbsent();
          c->SetName(WithDigit("User ", slot));
        } else {
          c->MarkPresent();
          Task<std::string> name = kbd_.RhythmName(slot);
          c->SetName(co_await name);
        }
        break;
      }
      case QnData::kTypeRegistration:
        if (uint32_t n = kbd_.RegistrationSize(); n != 0) {
          c->MarkPresent();
          c->SetSize(n);
          c->SetName(kbd_.RegistrationName(static_cast<uint8_t>(c->BankNumber()), slot));
        }
        break;
      default:
        break;
    }
  }
}

void QnKbdDrv::Disconnect() {
  const std::string model = root_->Name();  // the old root goes first
  BuildTree(model);
  connected_ = false;
}

void QnKbdDrv::AttachObserver(QnSysExObserver* observer) { kbd_.AttachObserver(observer); }

int QnKbdDrv::GetDriveCount() const { return static_cast<int>(driveNames_.size()); }

std::string QnKbdDrv::GetDriveName(int index) const {
  return driveNames_.at(static_cast<size_t>(index));
}

QnDataDrive* QnKbdDrv::GetDrive(const std::string& name) const {
  for (size_t i = 0; i < driveNames_.size(); ++i) {
    if (driveNames_[i] == name) return static_cast<QnDataDrive*>(root_->Child(i));
  }
  return nullptr;
}

QnDataDrive* QnKbdDrv::FindByPath(const std::string& path, QnDataDrive* entry) const {
  if (entry == nullptr || !BeginsWith(path, entry->Name())) return nullptr;
  const size_t skip = entry->Name().size() + 1;
  const std::string rest = skip < path.size() ? path.substr(skip) : std::string();
  if (!rest.empty()) {
    for (size_t i = 0; i < entry->ChildCount(); ++i) {
      QnData* c = entry->Child(i);
      if ((c->Kind() & QnData::kKindDirectory) && BeginsWith(rest, c->Name())) {
        return FindByPath(rest, static_cast<QnDataDrive*>(c));
      }
    }
  }
  return entry;
}

bool QnKbdDrv::HasSubDirectory(const std::string& path) const {
  for (int i = 0; i < GetDriveCount(); ++i) {
    auto* drive = static_cast<QnDataDrive*>(root_->Child(i));
    if (BeginsWith(path, drive->Name())) {
      QnDataDrive* folder = FindByPath(path, drive);
      return folder != nullptr && folder->HasSubdirectories();
    }
  }
  return false;
}

bool QnKbdDrv::FindFirst(const std::string& path, uint8_t mask, QnData*& out) {
  out = nullptr;
  for (int i = 0; i < GetDriveCount(); ++i) {
    auto* drive = static_cast<QnDataDrive*>(root_->Child(i));
    if (!BeginsWith(path, drive->Name())) continue;
    QnDataDrive* folder = FindByPath(path, drive);
    if (folder == nullptr) return false;
    maskStack_.push(curMask_);
    dirStack_.push(curDir_);
    indexStack_.push(curIndex_);
    curMask_ = mask;
    curDir_ = folder;
    curIndex_ = 0;
    out = NextMatch();
    if (out != nullptr) return true;
    FindClose();
    return false;
  }
  return false;
}

bool QnKbdDrv::FindNext(QnData*& out) {
  ++curIndex_;
  out = NextMatch();
  return out != nullptr;
}

void QnKbdDrv::FindClose() {
  if (dirStack_.empty()) return;
  curDir_ = dirStack_.top();
  curIndex_ = indexStack_.top();
  curMask_ = maskStack_.top();
  dirStack_.pop();
  indexStack_.pop();
  maskStack_.pop();
}

QnData* QnKbdDrv::NextMatch() {
  while (curIndex_ < curDir_->ChildCount()) {
    QnData* child = curDir_->Child(curIndex_);
    if (child->Kind() & curMask_) return child;
    ++curIndex_;
  }
  return nullptr;
}

Task<void> QnKbdDrv::UpdateFreeSpace(std::string driveName) {
  QnDataDrive* drive = GetDrive(driveName);
  if (drive == nullptr) co_return;
  if (drive->Type() == QnData::kTypeSong || drive->Type() == QnData::kTypeRhythm) {
    Task<uint32_t> free = kbd_.FreeBytes();
    drive->SetFreeBytes(co_await free);
  }
}

void QnKbdDrv::RequestCancel() { MidiDev::Instance()->RequestCancel(); }

Task<void> QnKbdDrv::DeleteData(QnData* entry) {
  // A folder carries its contents' type but is no item of its own.
  if (entry == nullptr || (entry->Kind() & (QnData::kKindDrive | QnData::kKindDirectory)) != 0) {
    throw QnKbdDrvException(0);
  }
  const auto slot = static_cast<uint8_t>(entry->SlotNumber());
  std::string name;
  Task<void> deleted;
  switch (entry->Type()) {
    case QnData::kTypeSong:
      deleted = kbd_.DeleteSong(slot);
      name = WithDigit("Song ", slot);
      break;
    case QnData::kTypeRhythm:
      deleted = kbd_.DeleteRhythm(slot);
      name = WithDigit("User ", slot);
      break;
    default:
      throw QnKbdDrvException(0);
  }
  // Asked before the delete, the stop comes before it; asked during it, after
  // the free-space read.
  kbd_.CheckCancel();
  const MidiDev::CancelHold whole(*MidiDev::Instance());
  co_await deleted;
  if (!driveNames_.empty()) {
    Task<void> free = UpdateFreeSpace(driveNames_.back());
    co_await free;
  }
  entry->SetName(name);
  entry->SetSize(0);
  entry->MarkAbsent();
}

uint32_t QnKbdDrv::ItemNumber(const QnData& slot) {
  const auto s = static_cast<uint32_t>(slot.SlotNumber());
  switch (slot.Type()) {
    case QnData::kTypeTone:
      return 384 + s;
    case QnData::kTypeDsp:
      return 100 + s;
    case QnData::kTypeSong:
      return s;
    case QnData::kTypeRhythm:
      return 100 + s;
    case QnData::kTypeRegistration:
      return 16 + 4 * s + slot.BankNumber();
    default:
      return 0;
  }
}
