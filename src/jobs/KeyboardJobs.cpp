#include "jobs/KeyboardJobs.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <utility>

#include "files/LqdFileStream.h"
#include "files/LqdMidiStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "history/HistoryException.h"
#include "history/HistoryStore.h"
#include "jobs/DataFile.h"
#include "jobs/EntryView.h"
#include "jobs/JobException.h"
#include "jobs/JobText.h"
#include "jobs/KeyboardBackup.h"
#include "jobs/TransferJob.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"
#include "protocol/MsgStr.h"
#include "protocol/QnSysEx.h"

namespace {

constexpr int32_t kStatusGetList = 0;
constexpr int32_t kStatusSend = 1;
constexpr int32_t kStatusImport = 2;
constexpr int32_t kStatusDelete = 3;
constexpr int32_t kStatusEmptySkipped = 4;

bool IsFolder(const QnData& entry) {
  return (entry.Kind() & (QnData::kKindDrive | QnData::kKindDirectory)) != 0;
}

int Clamped(uint64_t bytes) { return static_cast<int>(std::min<uint64_t>(bytes, INT_MAX)); }

// The folder of the keyboard tree that holds `entry`.
const QnDataDrive* FolderOf(const QnDataDrive& folder, const QnData& entry) {
  for (size_t i = 0; i < folder.ChildCount(); ++i) {
    const QnData* child = folder.Child(i);
    if (child == &entry) return &folder;
    if (IsFolder(*child)) {
      if (const QnDataDrive* found = FolderOf(static_cast<const QnDataDrive&>(*child), entry))
        return found;
    }
  }
  return nullptr;
}

std::string AddressText(const QnData* slot) {
  const std::optional<SlotAddress> address = SlotAddress::FromEntry(*slot);
  return address ? address->ToString() : std::string();
}

MsgStr::Word KeptWord(uint16_t type) {
  switch (type) {
    case QnData::kTypeDsp:
      return MsgStr::kWordKeptDsp;
    case QnData::kTypeSong:
      return MsgStr::kWordKeptSong;
    case QnData::kTypeRhythm:
      return MsgStr::kWordKeptRhythm;
    case QnData::kTypeRegistration:
      return MsgStr::kWordKeptRegistration;
    default:
      return MsgStr::kWordKeptTone;
  }
}

std::string KeptName(const QnDataFile& file) { return EntryView::Caption(file.Name()); }

// The slots of the keyboard's list that hold data, in the order of their
// address texts, as the store gives a snapshot's slots.
std::vector<std::pair<SlotAddress, const QnData*>> Occupied(const QnKbdDrv& keyboard) {
  std::vector<std::pair<SlotAddress, const QnData*>> occupied;
  for (const SlotAddress& address : SlotAddress::All()) {
    const QnData* slot = address.Find(*keyboard.Root());
    if (slot != nullptr && slot->IsPresent()) occupied.emplace_back(address, slot);
  }
  std::sort(occupied.begin(), occupied.end(),
            [](const auto& a, const auto& b) { return a.first.ToString() < b.first.ToString(); });
  return occupied;
}

}  // namespace

// Stands between the job's pieces and the front end: it keeps the bar (the
// protocol's progress observer moves it), writes the status line of the item
// under way, and counts what was done for the note under a failure.
class KeyboardJobs::Relay : public JobEvents, public ProgressBar {
 public:
  Relay(const MsgStr& messages, JobEvents& out) : messages_(messages), out_(out) {}

  void Begin(std::string status, bool eachItem) {
    status_ = std::move(status);
    eachItem_ = eachItem;
    done_ = 0;
    count_ = 0;
    begun_ = 0;
    out_.Status(status_);
    SetRange(0, 0);
  }
  size_t DoneCount() const { return done_; }
  size_t Count() const { return count_; }
  // How many items of the job have begun.
  size_t Begun() const { return begun_; }

  int Position() const override { return position_; }
  void SetPosition(int position) override {
    itemPosition_ += static_cast<uint32_t>(std::max(position - position_, 0));
    position_ = std::clamp(position, 0, maximum_);
    Tell();
  }
  void SetRange(int minimum, int maximum) override {
    maximum_ = std::max(maximum, 0);
    position_ = std::clamp(minimum, 0, maximum_);
    Tell();
  }
  void Repaint() override {}

  void Starting(const Item& item) override {
    count_ = item.count;
    begun_ = item.index + 1;
    itemPosition_ = 0;
    itemSize_ = item.size;
    if (eachItem_ || item.count > 1) {
      out_.Status(JobText::OfCount(messages_, status_, item.index, item.count));
    } else {
      out_.Status(status_);
    }
    out_.Starting(item);
    if (eachItem_) SetRange(0, Clamped(item.size));
  }
  void Ended(const Item& item) override { out_.Ended(item); }

  // An item read into the history before the job's own item replaces it: its
  // status line, its transfer and its bar; then the job's bar as it was.
  class Keeping {
   public:
    Keeping(Relay& relay, const std::string& status, const Item& item)
        : relay_(relay), item_(item), position_(relay.position_), maximum_(relay.maximum_) {
      relay_.out_.Status(status);
      relay_.out_.Starting(item_);
      relay_.itemPosition_ = 0;
      relay_.itemSize_ = item_.size;
      relay_.SetRange(0, Clamped(item_.size));
    }
    ~Keeping() {
      relay_.out_.Ended(item_);
      relay_.maximum_ = maximum_;
      relay_.position_ = position_;
      relay_.Tell();
    }
    Keeping(const Keeping&) = delete;
    Keeping& operator=(const Keeping&) = delete;

   private:
    Relay& relay_;
    const Item& item_;
    int position_;
    int maximum_;
  };

  void Done(const Item& item, Kind kind, const std::string& path) override {
    if (kind == Kind::Written || kind == Kind::Restored) ++done_;
    out_.Done(item, kind, path);
  }

 private:
  void Tell() {
    out_.Progressed({static_cast<uint32_t>(position_), static_cast<uint32_t>(maximum_),
                     std::min(itemPosition_, itemSize_), itemSize_});
  }

  const MsgStr& messages_;
  JobEvents& out_;
  std::string status_;
  bool eachItem_ = false;
  size_t done_ = 0;
  size_t count_ = 0;
  size_t begun_ = 0;
  int position_ = 0;
  int maximum_ = 0;
  uint32_t itemPosition_ = 0;
  uint32_t itemSize_ = 0;
};

KeyboardJobs::KeyboardJobs(QnKbdDrv& keyboard, const MsgStr& messages, JobEvents& events,
                           ShownPath shown)
    : keyboard_(keyboard),
      messages_(messages),
      events_(events),
      shown_(shown ? std::move(shown) : [](const std::string& path) { return path; }),
      relay_(std::make_unique<Relay>(messages, events)),
      observer_(relay_.get()) {
  // The list's reading moves the bar too.
  keyboard_.AttachObserver(&observer_);
}

KeyboardJobs::~KeyboardJobs() = default;

void KeyboardJobs::Begin(int32_t status, bool eachItem) {
  where_.clear();
  note_.clear();
  closing_.clear();
  relay_->Begin(messages_.StatusText(status), eachItem);
}

Task<void> KeyboardJobs::List(Ports ports) {
  Begin(kStatusGetList, false);
  relay_->SetRange(0, 100);
  Task<void> list = ListOn(ports);
  co_await list;
}

Task<void> KeyboardJobs::ListOn(Ports ports) {
  // Other ports: the device opens them afresh.
  if (ports.in != listedOn_.in || ports.out != listedOn_.out) keyboard_.CloseDevices();
  listedOn_ = ports;
  ports_ = ports;
  listed_ = false;
  try {
    Task<void> list = keyboard_.Connect(ports.in, ports.out);
    co_await list;
  } catch (...) {
    events_.ListChanged();
    throw;
  }
  listed_ = true;
  RecordList();
  events_.Listed();
  events_.ListChanged();
}

Task<void> KeyboardJobs::FreeSpace(std::string drive) {
  Begin(kStatusGetList, false);
  if (!keyboard_.IsConnected()) throw OperateException(OperateException::kListFirst);
  Task<void> free = keyboard_.UpdateFreeSpace(drive);
  co_await free;
  events_.ListChanged();
}

Task<void> KeyboardJobs::Import(ImportRequest request) {
  Begin(kStatusImport, false);
  if (request.entries.empty()) throw OperateException(OperateException::kNoImportSource);
  if (!request.folder) throw OperateException(OperateException::kNoImportTarget);
  if (!keyboard_.IsConnected()) throw OperateException(OperateException::kListFirst);
  std::vector<QnData*> sources;
  uint64_t total = 0;
  size_t empty = 0;
  for (QnData* slot : request.entries) {
    // A folder holds no data of its own to import.
    if (slot == nullptr || IsFolder(*slot))
      throw OperateException(OperateException::kNoImportSource);
    // An empty slot would give a file without data.
    if (!slot->IsPresent()) {
      if (request.empty == EmptySlot::Refuse) {
        where_ = AddressText(slot);
        throw JobException(JobException::kSlotEmpty);
      }
      ++empty;
      events_.Skipped({empty - 1, request.entries.size(), EntryView::Caption(slot->Name()),
                       SlotAddress::FromEntry(*slot), slot, 0, false});
      continue;
    }
    sources.push_back(slot);
    total += slot->Size();
  }
  if (empty > 0)
    closing_ = JobText::Filled(messages_.StatusText(kStatusEmptySkipped), {std::to_string(empty)});
  if (sources.empty()) co_return;
  relay_->SetRange(0, Clamped(total));

  TransferJob job(keyboard_, {ports_.in, ports_.out, &observer_}, relay_.get());
  try {
    Task<void> import = job.Import(sources, *request.folder);
    co_await import;
  } catch (...) {
    const size_t i = job.Current();
    if (i != TransferJob::kWhole) {
      where_ = !job.Writing().empty() ? job.Writing() : AddressText(sources[i]);
      if (sources.size() > 1)
        note_ = JobText::BatchNote(messages_, i, sources.size(),
                                   EntryView::Caption(sources[i]->Name()));
    }
    throw;
  }
}

std::vector<QnData*> KeyboardJobs::Targets(const QnKbdDrv& keyboard, const SendRequest& request) {
  if (request.entries.size() == request.files.size()) return request.entries;
  std::vector<QnData*> targets;
  QnData* first = request.entries.front();
  const QnDataDrive* folder = first != nullptr ? FolderOf(*keyboard.Root(), *first) : nullptr;
  size_t at = 0;
  while (folder != nullptr && folder->Child(at) != first) ++at;
  for (size_t i = 0; i < request.files.size(); ++i) {
    targets.push_back(folder != nullptr && at + i < folder->ChildCount() ? folder->Child(at + i)
                                                                         : nullptr);
  }
  return targets;
}

Task<void> KeyboardJobs::Send(SendRequest request) {
  Begin(kStatusSend, false);
  if (request.files.empty()) throw OperateException(OperateException::kNoSendSource);
  if (request.entries.empty()) throw OperateException(OperateException::kNoSendTarget);
  if (!request.listFirst && !keyboard_.IsConnected())
    throw OperateException(OperateException::kListFirst);
  const std::vector<QnData*> targets = Targets(keyboard_, request);
  for (const QnData* target : targets) {
    // A folder is no slot: sending into it would write a folder's item number.
    if (target == nullptr || IsFolder(*target))
      throw OperateException(OperateException::kNotAcceptable);
  }
  std::vector<std::unique_ptr<QnDataFile>> files;
  std::vector<TransferBatch::Send> sends;
  uint64_t total = 0;
  for (size_t i = 0; i < request.files.size(); ++i) {
    where_ = request.files[i];
    std::unique_ptr<QnDataFile> file = DataFile::Read(request.files[i]);
    total += file->Size();
    sends.push_back({targets[i], file.get(), request.files[i]});
    files.push_back(std::move(file));
  }
  where_.clear();
  if (request.listFirst) {
    Task<void> list = ListOn(ports_);
    co_await list;
  }
  relay_->SetRange(0, Clamped(total));

  TransferJob job(keyboard_, {ports_.in, ports_.out, &observer_}, relay_.get());
  // A batch is checked whole, then every item it replaces is kept, and only
  // then is the first item sent: a check or a keep that fails has changed
  // nothing.
  bool checked = false;
  if (Keeping()) {
    try {
      Task<void> check = job.Check(sends, request.freshFreeSpace);
      co_await check;
    } catch (...) {
      where_ = WholeBatchFailure(std::current_exception(), sends);
      throw;
    }
    checked = true;
    Task<void> keep = Keep(targets, SnapshotReason::BeforeSend);
    co_await keep;
  }
  try {
    Task<void> sending = job.Send(sends, request.freshFreeSpace && !checked);
    co_await sending;
  } catch (...) {
    const size_t i = job.Current();
    if (i != TransferJob::kWhole) {
      where_ = AddressText(sends[i].slot);
      if (sends.size() > 1)
        note_ = JobText::BatchNote(messages_, i, sends.size(), shown_(sends[i].path));
      // A song or rhythm goes before its upload: after a failure the slot
      // may be empty, and the list must not show what is gone. A send
      // stopped before the item began leaves the item as it was.
      if (relay_->Begun() > i) {
        events_.Failed({i, sends.size(), sends[i].path, SlotAddress::FromEntry(*sends[i].slot),
                        sends[i].slot, sends[i].file->Size(), true});
      }
      events_.ListChanged();
    } else {
      where_ = WholeBatchFailure(std::current_exception(), sends);
    }
    throw;
  }
  events_.ListChanged();
}

// The batch's check names no item: for a file of another type, the first
// such file is it.
std::string KeyboardJobs::WholeBatchFailure(std::exception_ptr error,
                                            const std::vector<TransferBatch::Send>& sends) {
  try {
    std::rethrow_exception(error);
  } catch (const LqdStreamException& e) {
    if (e.Code() != LqdMidiStream::kTypeDiffers) return {};
    for (const TransferBatch::Send& send : sends) {
      if (send.file->Type() != send.slot->Type())
        return send.path + " -> " + AddressText(send.slot);
    }
  } catch (...) {
  }
  return {};
}

Task<void> KeyboardJobs::Delete(DeleteRequest request) {
  Begin(kStatusDelete, false);
  if (request.entries.empty() ||
      std::find(request.entries.begin(), request.entries.end(), nullptr) != request.entries.end())
    throw OperateException(OperateException::kNoData);
  if (!request.listFirst && !keyboard_.IsConnected())
    throw OperateException(OperateException::kListFirst);
  for (const QnData* slot : request.entries) {
    if (!EntryView(*slot).IsDeletable()) {
      where_ = AddressText(slot);
      throw OperateException(OperateException::kNotAcceptable);
    }
  }
  if (request.listFirst) {
    Task<void> list = ListOn(ports_);
    co_await list;
  }
  if (Keeping()) {
    Task<void> keep = Keep(request.entries, SnapshotReason::BeforeDelete);
    co_await keep;
  }
  TransferJob job(keyboard_, {ports_.in, ports_.out, nullptr}, relay_.get());
  try {
    Task<void> deleting = job.Delete(request.entries);
    co_await deleting;
  } catch (...) {
    const size_t i = job.Current();
    if (i != TransferJob::kWhole) {
      where_ = AddressText(request.entries[i]);
      if (request.entries.size() > 1)
        note_ = JobText::BatchNote(messages_, i, request.entries.size(),
                                   EntryView::Caption(request.entries[i]->Name()));
    }
    events_.ListChanged();
    throw;
  }
  events_.ListChanged();
}

Task<std::vector<KeyboardProbe::Keyboard>> KeyboardJobs::Detect(KeyboardProbe& probe) {
  where_.clear();
  note_.clear();
  closing_.clear();
  relay_->Begin(messages_.WordText(MsgStr::kWordDetecting), false);
  Task<KeyboardProbe::Result> detection = probe.Detect();
  std::vector<KeyboardProbe::Keyboard> found = (co_await detection).Served();
  if (found.empty()) throw QnKbdDrvException(KeyboardProbe::kNoKeyboardFound);
  if (found.size() > 1) {
    closing_ =
        JobText::Filled(messages_, MsgStr::kWordKeyboardsAnswered, {std::to_string(found.size())});
  }
  co_return found;
}

std::string KeyboardJobs::BackupNote(const KeyboardBackup& backup) {
  where_ = backup.Context();
  const std::string item = shown_(where_);
  if (item.empty() || relay_->DoneCount() >= relay_->Count()) return item;
  return JobText::BatchNote(messages_, backup.Current(), relay_->Count(), item,
                            relay_->DoneCount());
}

Task<void> KeyboardJobs::Backup(std::string folder) {
  Begin(kStatusImport, true);
  const Ports ports = ports_;
  Task<void> list = ListOn(ports);
  co_await list;
  KeyboardBackup backup(relay_.get());
  try {
    Task<void> whole = backup.Backup(keyboard_, {ports.in, ports.out, &observer_}, folder);
    co_await whole;
  } catch (...) {
    note_ = BackupNote(backup);
    throw;
  }
  RecordBackup(folder);
}

Task<void> KeyboardJobs::Restore(std::string folder) {
  Begin(kStatusSend, true);
  const Ports ports = ports_;
  KeyboardBackup backup(relay_.get());
  try {
    backup.Load(folder);
  } catch (...) {
    note_ = BackupNote(backup);
    throw;
  }
  Task<void> list = ListOn(ports);
  co_await list;
  if (Keeping()) {
    std::vector<QnData*> replaced;
    for (const SlotAddress& address : backup.Addresses())
      replaced.push_back(address.Find(*keyboard_.Root()));
    Task<void> keep = Keep(replaced, SnapshotReason::Restore);
    co_await keep;
  }
  try {
    Task<void> whole = backup.Restore(keyboard_, {ports.in, ports.out, &observer_});
    co_await whole;
  } catch (...) {
    note_ = BackupNote(backup);
    // Songs and rhythms go before their upload: the list must not show
    // what is gone.
    events_.ListChanged();
    throw;
  }
  events_.ListChanged();
}

void KeyboardJobs::UseHistory(HistoryUse use) {
  history_ = std::move(use);
  keyboardId_ = 0;
  noted_ = false;
}

int64_t KeyboardJobs::KeyboardId() {
  if (keyboardId_ == 0) {
    keyboardId_ =
        history_.store->KeyboardFor(QnKbdDrv::kTypeTrv408, history_.inPort, history_.outPort);
  }
  return keyboardId_;
}

Task<void> KeyboardJobs::Keep(std::vector<QnData*> slots, SnapshotReason why) {
  std::erase_if(slots, [](const QnData* slot) { return slot == nullptr || !slot->IsPresent(); });
  if (slots.empty()) co_return;
  const MsgStr::Word word = why == SnapshotReason::BeforeDelete ? MsgStr::kWordKeepingBeforeDelete
                                                                : MsgStr::kWordKeepingBeforeSend;
  Snapshot snapshot{0, static_cast<int64_t>(std::time(nullptr)), 0, why, {}};
  for (size_t i = 0; i < slots.size(); ++i) {
    QnData* slot = slots[i];
    where_ = AddressText(slot);
    // The slot's name and size say nothing of its data: it is read.
    LqdMidiStream stream(slot, ports_.in, ports_.out);
    stream.Attach(&observer_);
    QnDataFile file(QnData::kTypeUnknown);
    file.SetSize(stream.TargetSize());
    const JobEvents::Item item{i,
                               slots.size(),
                               EntryView::Caption(slot->Name()),
                               SlotAddress::FromEntry(*slot),
                               slot,
                               file.Size(),
                               false};
    {
      const Relay::Keeping keeping(
          *relay_, JobText::Filled(messages_, word, {messages_.WordText(KeptWord(slot->Type()))}),
          item);
      Task<void> received = stream.Receive(file);
      co_await received;
    }
    const std::string hash =
        history_.store->PutItem(LqdFileStream::Bytes(file), file.Type(), KeptName(file));
    snapshot.slots.push_back({where_, hash, {}, 0});
  }
  snapshot.keyboard = KeyboardId();
  history_.store->AddSnapshot(snapshot);
  where_.clear();
}

void KeyboardJobs::Record(const std::function<void()>& write) {
  MsgStr::Word reason = MsgStr::kWordHistoryFailed;
  try {
    write();
    return;
  } catch (const HistoryException& e) {
    reason = static_cast<MsgStr::Word>(MsgStr::kWordHistoryBusy + e.Code());
  } catch (...) {
    // A backup's file that cannot be read back: the backup itself stands.
  }
  if (!std::exchange(noted_, true)) {
    events_.Noted(
        JobText::Filled(messages_, MsgStr::kWordHistoryNotRecorded, {messages_.WordText(reason)}));
  }
}

void KeyboardJobs::RecordList() {
  if (history_.store == nullptr) return;
  keyboardId_ = 0;
  Record([this] {
    Snapshot snapshot{
        0, static_cast<int64_t>(std::time(nullptr)), KeyboardId(), SnapshotReason::List, {}};
    for (const auto& [address, slot] : Occupied(keyboard_)) {
      snapshot.slots.push_back(
          {address.ToString(), {}, EntryView::Caption(slot->Name()), slot->Size()});
    }
    const std::optional<Snapshot> last = history_.store->LastSnapshot(snapshot.keyboard);
    if (!last || last->slots != snapshot.slots) history_.store->AddSnapshot(snapshot);
  });
}

void KeyboardJobs::RecordBackup(const std::string& folder) {
  if (history_.store == nullptr) return;
  Record([&] {
    Snapshot snapshot{
        0, static_cast<int64_t>(std::time(nullptr)), KeyboardId(), SnapshotReason::Backup, {}};
    for (const auto& [address, slot] : Occupied(keyboard_)) {
      const std::string path = (std::filesystem::path(folder) / address.BackupFileName()).string();
      std::unique_ptr<QnDataFile> file = DataFile::Read(path);
      snapshot.slots.push_back(
          {address.ToString(),
           history_.store->PutItem(LqdFileStream::Bytes(*file), file->Type(), KeptName(*file)),
           {},
           0});
    }
    history_.store->AddSnapshot(snapshot);
  });
}

std::optional<KeyboardJobs::BackupSummary> KeyboardJobs::Summary(const std::string& folder) {
  KeyboardBackup backup;
  try {
    backup.Load(folder);
  } catch (...) {
    return std::nullopt;
  }
  return BackupSummary{backup.Count(), backup.Made()};
}

void KeyboardJobs::Cancel() {
  keyboard_.RequestCancel();
  // A send finishes the item it has begun.
  if (MidiDev::Instance()->CancelHeldOff()) {
    stopAfterItem_ = true;
    events_.Status(messages_.WordText(MsgStr::kWordStoppingAfterItem));
  }
}

KeyboardJobs::Ending KeyboardJobs::End(Task<void>& job, int stopSignal) {
  std::exception_ptr error;
  try {
    job.Result();
  } catch (...) {
    error = std::current_exception();
  }
  return End(error, stopSignal);
}

KeyboardJobs::Ending KeyboardJobs::End(std::exception_ptr error, int stopSignal) {
  Ending ending;
  if (error) {
    ending.failure.emplace(error, messages_, note_, stopSignal);
    if (ending.failure->Cancelled()) {
      ending.cancelled = true;
      ending.failure.reset();
    }
  }
  const bool afterItem = std::exchange(stopAfterItem_, false);
  if (!ending.failure) {
    // A stop the user asked for is no error: the status line says so, also
    // when the item under way was the last.
    if (afterItem) {
      ending.cancelled = true;
      ending.status = messages_.WordText(MsgStr::kWordCancelledAfter);
    } else if (ending.cancelled) {
      ending.status = messages_.SysExText(QnSysEx::kCancelled);
    } else {
      ending.status = closing_;
    }
  }
  MidiDev::Instance()->ClearCancel();
  relay_->SetRange(0, 0);
  note_.clear();
  closing_.clear();
  events_.Finished(ending.status);
  return ending;
}
