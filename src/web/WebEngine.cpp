#include "WebEngine.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "WebBackup.h"
#include "WebText.h"
#include "files/FileError.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "files/SlotAddress.h"
#include "jobs/DataFile.h"
#include "jobs/EntryView.h"
#include "jobs/JobFailure.h"
#include "jobs/TransferJob.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "midi/MidiResult.h"
#include "midi/QnException.h"
#include "protocol/QnSysEx.h"
#include "sim/Trv408.h"

using web_text::BatchNote;
using web_text::Filled;
using web_text::Quoted;

namespace {

constexpr int kStatusGetList = 0;
constexpr int kStatusSend = 1;
constexpr int kStatusImport = 2;
constexpr int kStatusDelete = 3;
constexpr int kStatusEmptySkipped = 4;

constexpr char kImportFolder[] = "/import/";
constexpr char kSendFolder[] = "/send/";
constexpr char kBatchFolder[] = "/batch/";
constexpr char kBackupFolder[] = "/backup/";
constexpr char kRestoreFolder[] = "/restore/";
constexpr char kImportArchive[] = "ravlin-import.zip";
constexpr char kBackupArchive[] = "ravlin-backup.zip";
// As many messages as the window's monitor keeps.
constexpr size_t kKeptMessages = 10000;

// The window's captions carry a mnemonic ("&Detect", "検出(&D)"); the page
// has none.
std::string Plain(std::string text) {
  if (const size_t at = text.find("(&"); at != std::string::npos) return text.erase(at, 4);
  text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
  return text;
}

bool IsFolder(const QnData& entry) {
  return (entry.Kind() & (QnData::kKindDrive | QnData::kKindDirectory)) != 0;
}

std::string Caption(const QnData& entry) { return EntryView::Caption(entry.Name()); }

std::string EntriesJson(const QnDataDrive& folder) {
  std::string json = "[";
  for (size_t i = 0; i < folder.ChildCount(); ++i) {
    const QnData& child = *folder.Child(i);
    const EntryView row(child);
    if (i > 0) json += ",";
    json += "{\"caption\":" + Quoted(row.Caption());
    if (row.IsFolder()) {
      json += ",\"entries\":" + EntriesJson(static_cast<const QnDataDrive&>(child)) + "}";
      continue;
    }
    json += ",\"address\":" + Quoted(row.AddressText());
    json += ",\"deletable\":" + std::string(row.IsDeletable() ? "true" : "false");
    json += ",\"present\":" + std::string(row.IsPresent() ? "true" : "false");
    if (row.IsPresent()) {
      json += ",\"type\":" + Quoted(row.TypeWord(EntryView::Spelling::List));
      json += ",\"size\":" + std::to_string(row.Size());
    }
    json += "}";
  }
  return json + "]";
}

std::string FileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The status line of a job of several items names the item on its way; a
// single import's file is handed out as soon as it is written.
class BatchStatus : public TransferJob::Listener {
 public:
  BatchStatus(std::function<void(size_t, size_t)> show,
              std::function<void(const std::string&)> imported)
      : show_(std::move(show)), imported_(std::move(imported)) {}
  void Starting(const Step& step) override { show_(step.index, step.count); }
  void Imported(size_t, const std::string& path) override {
    if (imported_) imported_(path);
  }

 private:
  std::function<void(size_t, size_t)> show_;
  std::function<void(const std::string&)> imported_;
};

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

// A folder of the file system, made empty.
void Renew(const std::string& folder) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
}

}  // namespace

WebEngine::WebEngine(const std::string& language, emscripten::val host)
    : host_(std::move(host)),
      msg_(language.rfind("ja", 0) == 0 ? MsgStr::Language::Japanese : MsgStr::Language::English),
      driver_(
          [this](const uint8_t* data, size_t size) {
            return host_.call<bool>("send",
                                    emscripten::val(emscripten::typed_memory_view(size, data)));
          },
          [this](double delayMs) { host_.call<void>("wake", delayMs); }),
      keyboard_(nullptr),
      observer_(this),
      probePorts_(host_),
      probe_(probePorts_, driver_),
      monitor_(msg_, kKeptMessages) {
  MidiDev::UseDriver(&driver_);
  keyboard_ = QnKbdDrv::Instance();
  std::filesystem::create_directories(kImportFolder);
  std::filesystem::create_directories(kSendFolder);
}

WebEngine::~WebEngine() {
  MidiDev::UseObserver(nullptr);
  QnKbdDrv::Destroy();
  MidiDev::UseDriver(nullptr);
}

std::string WebEngine::Texts() const {
  const std::pair<const char*, std::string> texts[] = {
      {"getList", Word(MsgStr::kWordGetList)},
      {"import", Word(MsgStr::kWordImport)},
      {"send", Word(MsgStr::kWordSend)},
      {"delete", Word(MsgStr::kWordDelete)},
      {"cancel", Word(MsgStr::kWordCancel)},
      {"cancelHint", Word(MsgStr::kWordCancelHint)},
      {"detect", Plain(Word(MsgStr::kWordDetect))},
      {"detectHint", Word(MsgStr::kWordDetectHint)},
      {"detecting", Word(MsgStr::kWordDetecting)},
      {"connect", Word(MsgStr::kWordConnect)},
      {"input", Word(MsgStr::kWordMidiInputPort)},
      {"output", Word(MsgStr::kWordMidiOutputPort)},
      {"noDevice", Word(MsgStr::kWordNoDevice)},
      {"notConnected", Word(MsgStr::kWordNotConnected)},
      {"builtIn", sim::Trv408::kPortName},
      {"keyboardMemory", Word(MsgStr::kWordKeyboardMemory)},
      {"items", Word(MsgStr::kWordItems)},
      {"name", Word(MsgStr::kWordColumnName)},
      {"type", Word(MsgStr::kWordColumnType)},
      {"size", Word(MsgStr::kWordColumnSize)},
      {"driveSpace", Word(MsgStr::kWordDriveSpace)},
      {"progress", Word(MsgStr::kWordProgress)},
      {"folder", msg_.FolderText(0)},
      {"midiRefused", Word(MsgStr::kWordMidiRefused)},
      {"portBusy", Word(MsgStr::kWordMidiPortBusy)},
      {"noWebMidi", Word(MsgStr::kWordNoWebMidi)},
      {"simulatorNote", Word(MsgStr::kWordSimulatorNote)},
      {"firefoxPermission", Word(MsgStr::kWordFirefoxPermission)},
      {"noMidiService", msg_.MidiResultText(midi_result::kNoDriver, true)},
      {"model", QnKbdDrv::kModelName},
      {"backUp", Plain(Word(MsgStr::kWordBackUpMenu))},
      {"backUpHint", Word(MsgStr::kWordBackUp)},
      {"restore", Plain(Word(MsgStr::kWordRestoreMenu))},
      {"restoreHint", Word(MsgStr::kWordRestore)},
      {"monitor", Word(MsgStr::kWordMonitor)},
      {"pause", Plain(Word(MsgStr::kWordPause))},
      {"pauseHint", Word(MsgStr::kWordPauseHint)},
      {"clear", Plain(Word(MsgStr::kWordClear))},
      {"saveAs", Plain(Word(MsgStr::kWordSaveAsMenu))},
      {"messages", Word(MsgStr::kWordMessages)},
      {"columnTime", Word(MsgStr::kWordColumnTime)},
      {"columnDirection", Word(MsgStr::kWordColumnDirection)},
      {"columnLength", Word(MsgStr::kWordColumnLength)},
      {"columnMeaning", Word(MsgStr::kWordColumnMeaning)},
      {"columnBytes", Word(MsgStr::kWordColumnBytes)},
  };
  std::string json = "{";
  for (const auto& [key, text] : texts) {
    if (json.size() > 1) json += ",";
    json += Quoted(key) + ":" + Quoted(text);
  }
  return json + "}";
}

std::string WebEngine::Tree() const {
  std::string json = "{\"listed\":" + std::string(listed_ ? "true" : "false") + ",\"drives\":[";
  for (int i = 0; i < keyboard_->GetDriveCount(); ++i) {
    const QnDataDrive& drive = *keyboard_->GetDrive(keyboard_->GetDriveName(i));
    if (i > 0) json += ",";
    json += "{\"caption\":" + Quoted(drive.Name() + "\\");
    json += ",\"space\":" +
            Quoted(Filled(Word(MsgStr::kWordDriveSpace),
                          {std::to_string(drive.Capacity()), std::to_string(drive.UsedBytes()),
                           std::to_string(drive.FreeBytes())}));
    json += ",\"entries\":" + EntriesJson(drive) + "}";
  }
  return json + "]}";
}

void WebEngine::Arrived(const emscripten::val& bytes, double atMs) {
  const std::vector<uint8_t> message = emscripten::convertJSArrayToNumberVector<uint8_t>(bytes);
  driver_.Arrived(message.data(), message.size(), atMs);
}

void WebEngine::ProbeArrived(unsigned input, const emscripten::val& bytes) {
  const std::vector<uint8_t> message = emscripten::convertJSArrayToNumberVector<uint8_t>(bytes);
  driver_.ProbeArrived(input, message.data(), message.size());
}

void WebEngine::Event(const char* kind, const std::string& json) const {
  host_.call<void>("event", std::string(kind), json);
}

void WebEngine::SetRange(int minimum, int maximum) {
  position_ = minimum;
  maximum_ = maximum;
  Event("progress", "{\"position\":0,\"maximum\":" + std::to_string(maximum) + "}");
}

void WebEngine::SetPosition(int position) {
  position_ = std::clamp(position, 0, maximum_);
  Event("progress", "{\"position\":" + std::to_string(position_) +
                        ",\"maximum\":" + std::to_string(maximum_) + "}");
}

QnData* WebEngine::Slot(const std::string& address) const {
  const std::optional<SlotAddress> parsed = SlotAddress::Parse(address);
  return parsed ? parsed->Find(*keyboard_->Root()) : nullptr;
}

// A job that cannot start (nothing chosen, no list yet) fails as the window's
// does: with the catalog's text and no exchange.
void WebEngine::Run(int statusIndex, Task<void> work) {
  if (busy_) return;
  MidiDev& device = *MidiDev::Instance();
  device.ClearCancel();
  Begin(msg_.StatusText(statusIndex));
  job_ = std::move(work);
  driver_.Start(device, job_, [this] { Ended(); });
}

void WebEngine::Begin(const std::string& status) {
  busy_ = true;
  SetRange(0, 0);
  Event("status", Quoted(status));
}

void WebEngine::Ended() {
  Task<void> job = std::move(job_);
  busy_ = false;
  MidiDev::Instance()->ClearCancel();
  SetRange(0, 0);
  // A cancel that let the item under way finish says so, also when that
  // item was the last.
  const bool afterItem = std::exchange(stopAfterItem_, false);
  const std::string cancelled =
      afterItem ? Word(MsgStr::kWordCancelledAfter) : msg_.SysExText(QnSysEx::kCancelled);
  try {
    job.Result();
    if (afterItem) {
      Event("cancelled", Quoted(cancelled));
    } else {
      Event("status", Quoted(closingStatus_));
    }
  } catch (...) {
    const JobFailure failure(std::current_exception(), msg_, note_);
    if (failure.Cancelled()) {
      Event("cancelled", Quoted(cancelled));
    } else {
      Failed(failure);
    }
  }
  closingStatus_.clear();
  note_.clear();
  Event("ended", "{}");
}

// Under the failure's own text, a batch says which item failed and what was
// done before it.
void WebEngine::Failed(const JobFailure& failure) const {
  std::string text = failure.Text(FileName(failure.Path()));
  if (failure.FileFailed()) text += "\n" + failure.Reason();
  const std::string& note = failure.Context();
  Event("failed", Quoted(note.empty() ? text : text + "\n" + note));
}

void WebEngine::Detect() {
  if (busy_) return;
  Begin(Word(MsgStr::kWordDetecting));
  job_ = DetectJob();
  driver_.StartProbe(probe_, job_, [this] { Ended(); });
}

// As the desktop's Preferences: the first keyboard's ports are chosen, and
// the status says when more than one answered.
Task<void> WebEngine::DetectJob() {
  Task<KeyboardProbe::Result> detection = probe_.Detect();
  const std::vector<KeyboardProbe::Keyboard> found = (co_await detection).Served();
  if (found.empty()) throw QnKbdDrvException(KeyboardProbe::kNoKeyboardFound);
  if (found.size() > 1) {
    closingStatus_ = Filled(Word(MsgStr::kWordKeyboardsAnswered), {std::to_string(found.size())});
  }
  Event("detected", "{\"input\":" + Quoted(found.front().in.name) +
                        ",\"output\":" + Quoted(found.front().out.name) + "}");
}

void WebEngine::GetList(int inDevice, int outDevice) {
  Run(kStatusGetList, ListJob(inDevice, outDevice));
}

Task<void> WebEngine::ListJob(int inDevice, int outDevice) {
  // Other ports: the device opens them afresh.
  if (inDevice != inDevice_ || outDevice != outDevice_) keyboard_->CloseDevices();
  inDevice_ = inDevice;
  outDevice_ = outDevice;
  listed_ = false;
  try {
    Task<void> list = keyboard_->Connect(inDevice, outDevice);
    co_await list;
  } catch (...) {
    Event("listChanged", "{}");
    throw;
  }
  listed_ = true;
  Event("listChanged", "{}");
}

void WebEngine::Import(const emscripten::val& addresses) {
  std::vector<QnData*> slots;
  for (const std::string& address : emscripten::vecFromJSArray<std::string>(addresses))
    slots.push_back(Slot(address));
  Run(kStatusImport, ImportJob(std::move(slots)));
}

// Several items come as one .zip: one download, where many would make the
// browser ask for each. A batch that stops still hands out what it wrote.
Task<void> WebEngine::ImportJob(std::vector<QnData*> slots) {
  if (!listed_) throw OperateException(OperateException::kListFirst);
  std::vector<QnData*> sources;
  uint64_t total = 0;
  size_t empty = 0;
  for (QnData* slot : slots) {
    // A folder holds no data of its own to import.
    if (slot == nullptr || IsFolder(*slot))
      throw OperateException(OperateException::kNoImportSource);
    // An empty slot would give a file without data.
    if (!slot->IsPresent()) {
      ++empty;
      continue;
    }
    sources.push_back(slot);
    total += slot->Size();
  }
  if (sources.empty() && empty == 0) throw OperateException(OperateException::kNoImportSource);
  if (empty > 0)
    closingStatus_ = Filled(msg_.StatusText(kStatusEmptySkipped), {std::to_string(empty)});
  if (sources.empty()) co_return;
  SetRange(0, static_cast<int>(std::min<uint64_t>(total, INT32_MAX)));

  const bool batch = sources.size() > 1;
  const std::string folder = batch ? kBatchFolder : kImportFolder;
  if (batch) Renew(folder);
  BatchStatus status(
      [this](size_t index, size_t count) { ShowBatchStatus(kStatusImport, index, count); },
      [this, batch](const std::string& path) {
        if (!batch) Offer(FileName(path), path);
      });
  TransferJob job(*keyboard_, {inDevice_, outDevice_, &observer_}, &status);
  try {
    Task<void> import = job.Import(sources, folder);
    co_await import;
  } catch (...) {
    const size_t i = job.Current();
    if (batch && i != TransferJob::kWhole) {
      note_ = BatchNote(msg_, i, sources.size(), Caption(*sources[i]));
      if (i > 0) OfferArchive(folder, kImportArchive);
    }
    throw;
  }
  if (batch) OfferArchive(folder, kImportArchive);
}

void WebEngine::Send(const std::string& address, const emscripten::val& paths) {
  Run(kStatusSend, SendJob(Slot(address), emscripten::vecFromJSArray<std::string>(paths)));
}

// The files go into the slot and the slots after it, in order. A batch is
// read and checked whole before the first exchange; a single file is checked
// by its send.
Task<void> WebEngine::SendJob(QnData* slot, std::vector<std::string> paths) {
  std::vector<std::unique_ptr<QnDataFile>> files;
  std::vector<TransferBatch::Send> sends;
  uint64_t total = 0;
  try {
    if (!listed_) throw OperateException(OperateException::kListFirst);
    if (slot == nullptr) throw OperateException(OperateException::kNoSendTarget);
    const QnDataDrive* folder = FolderOf(*keyboard_->Root(), *slot);
    size_t at = 0;
    while (folder != nullptr && folder->Child(at) != slot) ++at;
    for (size_t i = 0; i < paths.size(); ++i) {
      QnData* target =
          folder != nullptr && at + i < folder->ChildCount() ? folder->Child(at + i) : nullptr;
      // A folder is no slot: sending into it would write a folder's item number.
      if (target == nullptr || IsFolder(*target))
        throw OperateException(OperateException::kNotAcceptable);
      std::unique_ptr<QnDataFile> file = DataFile::Read(paths[i]);
      total += file->Size();
      sends.push_back({target, file.get()});
      files.push_back(std::move(file));
    }
  } catch (...) {
    for (const std::string& path : paths) std::filesystem::remove(path);
    throw;
  }
  for (const std::string& path : paths) std::filesystem::remove(path);
  SetRange(0, static_cast<int>(std::min<uint64_t>(total, INT32_MAX)));
  BatchStatus status(
      [this](size_t index, size_t count) { ShowBatchStatus(kStatusSend, index, count); }, {});
  TransferJob job(*keyboard_, {inDevice_, outDevice_, &observer_}, &status);
  try {
    Task<void> sending = job.Send(sends, true);
    co_await sending;
  } catch (...) {
    const size_t i = job.Current();
    if (sends.size() > 1 && i != TransferJob::kWhole)
      note_ = BatchNote(msg_, i, sends.size(), FileName(paths[i]));
    // A song or rhythm goes before its upload: the list must not show what
    // is gone.
    Event("listChanged", "{}");
    throw;
  }
  Event("listChanged", "{}");
}

void WebEngine::ShowBatchStatus(int statusIndex, size_t index, size_t count) {
  std::string text = msg_.StatusText(statusIndex);
  if (count > 1)
    text += ' ' +
            Filled(Word(MsgStr::kWordOfCount), {std::to_string(index + 1), std::to_string(count)});
  Event("status", Quoted(text));
}

void WebEngine::Offer(const std::string& name, const std::string& path) const {
  Event("imported", "{\"name\":" + Quoted(name) + ",\"path\":" + Quoted(path) + "}");
}

// The folder's files as one .zip beside the single imports; the folder goes.
void WebEngine::OfferArchive(const std::string& folder, const std::string& name) const {
  const std::vector<uint8_t> archive = WebBackup::Pack(folder);
  std::filesystem::remove_all(folder);
  const std::string path = kImportFolder + name;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(archive.data()),
            static_cast<std::streamsize>(archive.size()));
  out.close();
  if (!out) throw FileError(FileError::Op::Write, path, "");
  Offer(name, path);
}

void WebEngine::BackUp(int inDevice, int outDevice) {
  Run(kStatusImport, BackupJob(inDevice, outDevice));
}

Task<void> WebEngine::BackupJob(int inDevice, int outDevice) {
  // The list is read anew: the keyboard may have changed since the last one.
  Task<void> list = ListJob(inDevice, outDevice);
  co_await list;
  WebBackup status(msg_, *this, msg_.StatusText(kStatusImport), kBackupFolder,
                   [this](const std::string& text) { Event("status", Quoted(text)); });
  KeyboardBackup backup(&status);
  Renew(kBackupFolder);
  try {
    Task<void> whole =
        backup.Backup(*keyboard_, {inDevice_, outDevice_, &observer_}, kBackupFolder);
    co_await whole;
  } catch (...) {
    note_ = status.FailureNote(backup);
    throw;
  }
  OfferArchive(kBackupFolder, kBackupArchive);
}

void WebEngine::Restore(const emscripten::val& archive, int inDevice, int outDevice) {
  Run(kStatusSend,
      RestoreJob(emscripten::convertJSArrayToNumberVector<uint8_t>(archive), inDevice, outDevice));
}

std::string WebEngine::RestoreQuestion(const emscripten::val& archive, double madeMs) const {
  namespace fs = std::filesystem;
  using std::chrono::system_clock;
  if (busy_) return {};
  try {
    const std::string folder = WebBackup::Unpack(
        emscripten::convertJSArrayToNumberVector<uint8_t>(archive), kRestoreFolder);
    // The files are as old as the file they came in.
    const system_clock::duration age =
        system_clock::now() -
        system_clock::time_point(std::chrono::milliseconds(static_cast<int64_t>(madeMs)));
    const fs::file_time_type written =
        fs::file_time_type::clock::now() -
        std::chrono::duration_cast<fs::file_time_type::duration>(age);
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
      if (entry.is_regular_file()) fs::last_write_time(entry.path(), written);
    KeyboardBackup backup;
    backup.Load(folder);
    const std::time_t made = backup.Made();
    char date[32] = "";
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", std::localtime(&made));
    return Filled(Word(MsgStr::kWordRestoreQuestion), {std::to_string(backup.Count()), date});
  } catch (...) {
    return {};
  }
}

// The archive is read and checked whole, as a folder is, before the first
// message.
Task<void> WebEngine::RestoreJob(std::vector<uint8_t> archive, int inDevice, int outDevice) {
  WebBackup status(msg_, *this, msg_.StatusText(kStatusSend), kRestoreFolder,
                   [this](const std::string& text) { Event("status", Quoted(text)); });
  KeyboardBackup backup(&status);
  try {
    backup.Load(WebBackup::Unpack(archive, kRestoreFolder));
  } catch (...) {
    note_ = status.FailureNote(backup);
    throw;
  }
  Task<void> list = ListJob(inDevice, outDevice);
  co_await list;
  try {
    Task<void> whole = backup.Restore(*keyboard_, {inDevice_, outDevice_, &observer_});
    co_await whole;
  } catch (...) {
    note_ = status.FailureNote(backup);
    // Songs and rhythms go before their upload: the list must not show what
    // is gone.
    Event("listChanged", "{}");
    throw;
  }
  Event("listChanged", "{}");
}

// The monitor records only while the page shows it, at no cost otherwise.
void WebEngine::Watch(bool shown) { MidiDev::UseObserver(shown ? &monitor_ : nullptr); }

void WebEngine::Delete(const std::string& address) { Run(kStatusDelete, DeleteJob(Slot(address))); }

Task<void> WebEngine::DeleteJob(QnData* slot) {
  if (slot == nullptr) throw OperateException(OperateException::kNoData);
  if (!listed_) throw OperateException(OperateException::kListFirst);
  const std::optional<SlotAddress> address = SlotAddress::FromEntry(*slot);
  if (!address || !address->IsDeletable()) throw OperateException(OperateException::kNotAcceptable);
  TransferJob job(*keyboard_, {inDevice_, outDevice_, nullptr});
  try {
    Task<void> deleting = job.Delete({slot});
    co_await deleting;
  } catch (...) {
    Event("listChanged", "{}");
    throw;
  }
  Event("listChanged", "{}");
}

void WebEngine::Cancel() {
  if (!busy_) return;
  keyboard_->RequestCancel();
  // A send finishes the item it has begun.
  if (MidiDev::Instance()->CancelHeldOff()) {
    stopAfterItem_ = true;
    Event("status", Quoted(Word(MsgStr::kWordStoppingAfterItem)));
  }
}
