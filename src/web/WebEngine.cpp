#include "WebEngine.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>
#include <vector>

#include "WebBackup.h"
#include "WebText.h"
#include "files/FileError.h"
#include "files/QnDataDrive.h"
#include "files/SlotAddress.h"
#include "jobs/EntryView.h"
#include "jobs/JobFailure.h"
#include "jobs/JobText.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"

using web_text::Quoted;

namespace {

constexpr char kImportFolder[] = "/import/";
constexpr char kOfferFolder[] = "/offer/";
constexpr char kSendFolder[] = "/send/";
constexpr char kBackupFolder[] = "/backup/";
constexpr char kRestoreFolder[] = "/restore/";
constexpr char kImportArchive[] = "ravlin-import.zip";
constexpr char kBackupArchive[] = "ravlin-backup.zip";
// As many messages as the window's monitor keeps.
constexpr size_t kKeptMessages = 10000;

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

// The page's user never sees the in-memory folders: a file is named alone,
// a slot by its address.
std::string Shown(const std::string& path) { return path.starts_with('/') ? FileName(path) : path; }

// A folder of the file system, made empty.
void Renew(const std::string& folder) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
}

QnKbdDrv& KeyboardOn(WebDriver& driver) {
  MidiDev::UseDriver(&driver);
  return *QnKbdDrv::Instance();
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
      keyboard_(KeyboardOn(driver_)),
      jobs_(keyboard_, msg_, *this, Shown),
      probePorts_(host_),
      probe_(probePorts_, driver_),
      monitor_(msg_, kKeptMessages) {
  std::filesystem::create_directories(kOfferFolder);
  std::filesystem::create_directories(kSendFolder);
}

WebEngine::~WebEngine() {
  MidiDev::UseObserver(nullptr);
  QnKbdDrv::Destroy();
  MidiDev::UseDriver(nullptr);
}

std::string WebEngine::Texts() const { return web_text::EngineTexts(msg_); }

std::string WebEngine::Tree() const {
  std::string json = "{\"listed\":" + std::string(jobs_.Listed() ? "true" : "false");
  json += ",\"drives\":[";
  for (int i = 0; i < keyboard_.GetDriveCount(); ++i) {
    const QnDataDrive& drive = *keyboard_.GetDrive(keyboard_.GetDriveName(i));
    if (i > 0) json += ",";
    json += "{\"caption\":" + Quoted(drive.Name() + "\\");
    json += ",\"space\":" + Quoted(JobText::Filled(msg_, MsgStr::kWordDriveSpace,
                                                   {std::to_string(drive.Capacity()),
                                                    std::to_string(drive.UsedBytes()),
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

void WebEngine::Status(const std::string& text) { Event("status", Quoted(text)); }

void WebEngine::Progressed(const Progress& progress) {
  Event("progress", "{\"position\":" + std::to_string(progress.position) +
                        ",\"maximum\":" + std::to_string(progress.maximum) + "}");
}

// A single import's file is handed out as soon as it is written.
void WebEngine::Done(const Item& item, Kind kind, const std::string& path) {
  if (kind != Kind::Imported) return;
  if (item.count == 1) {
    Offer(FileName(path), path);
  } else {
    ++batchWritten_;
  }
}

QnData* WebEngine::Slot(const std::string& address) const {
  const std::optional<SlotAddress> parsed = SlotAddress::Parse(address);
  return parsed ? parsed->Find(*keyboard_.Root()) : nullptr;
}

void WebEngine::Run(Task<void> job) {
  if (busy_) return;
  busy_ = true;
  job_ = std::move(job);
  driver_.Start(*MidiDev::Instance(), job_, [this] { JobEnded(); });
}

void WebEngine::JobEnded() {
  Task<void> job = std::move(job_);
  busy_ = false;
  const KeyboardJobs::Ending ending = jobs_.End(job);
  if (ending.failure) {
    // Under the failure's own text, a batch says which item failed and
    // what was done before it.
    const std::string text = web_text::FailureText(*ending.failure, Shown(ending.failure->Path()));
    const std::string& note = ending.failure->Context();
    Event("failed", Quoted(note.empty() ? text : text + "\n" + note));
  } else {
    Event(ending.cancelled ? "cancelled" : "status", Quoted(ending.status));
  }
  // A send's files were read before its first message.
  Renew(kSendFolder);
  Event("ended", "{}");
}

void WebEngine::Detect() {
  if (busy_) return;
  busy_ = true;
  job_ = DetectJob();
  driver_.StartProbe(probe_, job_, [this] { JobEnded(); });
}

// As the desktop's Preferences: the first keyboard's ports are chosen.
Task<void> WebEngine::DetectJob() {
  Task<std::vector<KeyboardProbe::Keyboard>> detection = jobs_.Detect(probe_);
  const std::vector<KeyboardProbe::Keyboard> found = co_await detection;
  Event("detected", "{\"input\":" + Quoted(found.front().in.name) +
                        ",\"output\":" + Quoted(found.front().out.name) + "}");
}

void WebEngine::GetList(int inDevice, int outDevice) { Run(jobs_.List({inDevice, outDevice})); }

void WebEngine::Import(const emscripten::val& addresses) {
  KeyboardJobs::ImportRequest request{{}, kImportFolder};
  for (const std::string& address : emscripten::vecFromJSArray<std::string>(addresses))
    request.entries.push_back(Slot(address));
  Run(ImportJob(std::move(request)));
}

// Several items come as one .zip: one download, where many would make the
// browser ask for each. A batch that stops still hands out what it wrote.
Task<void> WebEngine::ImportJob(KeyboardJobs::ImportRequest request) {
  Renew(kImportFolder);
  batchWritten_ = 0;
  Task<void> import = jobs_.Import(std::move(request));
  try {
    co_await import;
  } catch (...) {
    if (batchWritten_ > 0) OfferArchive(kImportFolder, kImportArchive);
    throw;
  }
  if (batchWritten_ > 0) OfferArchive(kImportFolder, kImportArchive);
}

void WebEngine::Send(const std::string& address, const emscripten::val& paths) {
  KeyboardJobs::SendRequest request{emscripten::vecFromJSArray<std::string>(paths), {}};
  if (QnData* slot = Slot(address)) request.entries.push_back(slot);
  Run(jobs_.Send(std::move(request)));
}

void WebEngine::Delete(const std::string& address) { Run(jobs_.Delete({{Slot(address)}})); }

void WebEngine::Cancel() {
  if (busy_) jobs_.Cancel();
}

void WebEngine::Offer(const std::string& name, const std::string& path) const {
  Event("imported", "{\"name\":" + Quoted(name) + ",\"path\":" + Quoted(path) + "}");
}

// The folder's files as one .zip; the folder's files go.
void WebEngine::OfferArchive(const std::string& folder, const std::string& name) const {
  const std::vector<uint8_t> archive = WebBackup::Pack(folder);
  Renew(folder);
  const std::string path = kOfferFolder + name;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(archive.data()),
            static_cast<std::streamsize>(archive.size()));
  out.close();
  if (!out) throw FileError(FileError::Op::Write, path, "");
  Offer(name, path);
}

void WebEngine::BackUp(int inDevice, int outDevice) { Run(BackupJob({inDevice, outDevice})); }

Task<void> WebEngine::BackupJob(KeyboardJobs::Ports ports) {
  jobs_.UsePorts(ports);
  Renew(kBackupFolder);
  Task<void> backup = jobs_.Backup(kBackupFolder);
  co_await backup;
  OfferArchive(kBackupFolder, kBackupArchive);
}

void WebEngine::Restore(const emscripten::val& archive, int inDevice, int outDevice) {
  Run(RestoreJob(emscripten::convertJSArrayToNumberVector<uint8_t>(archive),
                 {inDevice, outDevice}));
}

// The archive is read and checked whole, as a folder is, before the first
// message.
Task<void> WebEngine::RestoreJob(std::vector<uint8_t> archive, KeyboardJobs::Ports ports) {
  jobs_.UsePorts(ports);
  Task<void> restore = jobs_.Restore(WebBackup::Unpack(archive, kRestoreFolder));
  co_await restore;
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
    const std::optional<KeyboardJobs::BackupSummary> backup = KeyboardJobs::Summary(folder);
    if (!backup) return {};
    char date[32] = "";
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", std::localtime(&backup->made));
    return JobText::Filled(msg_, MsgStr::kWordRestoreQuestion,
                           {std::to_string(backup->count), date});
  } catch (...) {
    return {};
  }
}

// The monitor records only while the page shows it, at no cost otherwise.
void WebEngine::Watch(bool shown) { MidiDev::UseObserver(shown ? &monitor_ : nullptr); }
