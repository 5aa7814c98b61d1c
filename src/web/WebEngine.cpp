#include "WebEngine.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "files/FileError.h"
#include "files/KeyboardText.h"
#include "files/LqdFileStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "files/SlotAddress.h"
#include "files/TransferJob.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "midi/MidiResult.h"
#include "midi/QnException.h"
#include "protocol/QnSysEx.h"
#include "sim/Trv408.h"

namespace {

constexpr int kStatusGetList = 0;
constexpr int kStatusSend = 1;
constexpr int kStatusImport = 2;
constexpr int kStatusDelete = 3;
constexpr int kStatusEmptySkipped = 4;

// OperateException codes, as the window raises them.
constexpr int32_t kNoSource = 2;
constexpr int32_t kNoTarget = 1;
constexpr int32_t kNoData = 4;
constexpr int32_t kNotAcceptable = 5;
constexpr int32_t kListFirst = 6;

constexpr char kImportFolder[] = "/import/";
constexpr char kSendFolder[] = "/send/";

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string Replace(std::string text, const std::string& mark, const std::string& value) {
  const size_t at = text.find(mark);
  if (at != std::string::npos) text.replace(at, mark.size(), value);
  return text;
}

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

// A name as the window's lists show it: up to its first NUL, in UTF-8.
std::string Caption(const QnData& entry) {
  const std::string& name = entry.Name();
  return KeyboardText::ToUtf8(name.substr(0, name.find('\0')));
}

const char* TypeWord(uint16_t type) {
  switch (type) {
    case QnData::kTypeTone:
      return "Tone";
    case QnData::kTypeDsp:
      return "DSP";
    case QnData::kTypeSong:
      return "Song";
    case QnData::kTypeRhythm:
      return "Rhythm";
    case QnData::kTypeRegistration:
      return "Registraion";  // as the window's list spells it
    default:
      return "";
  }
}

std::string EntriesJson(const QnDataDrive& folder) {
  std::string json = "[";
  for (size_t i = 0; i < folder.ChildCount(); ++i) {
    const QnData& child = *folder.Child(i);
    if (i > 0) json += ",";
    json += "{\"caption\":" + Quoted(Caption(child));
    if (IsFolder(child)) {
      json += ",\"entries\":" + EntriesJson(static_cast<const QnDataDrive&>(child)) + "}";
      continue;
    }
    const std::optional<SlotAddress> address = SlotAddress::FromEntry(child);
    json += ",\"address\":" + Quoted(address ? address->ToString() : std::string());
    json += ",\"deletable\":" + std::string(address && address->IsDeletable() ? "true" : "false");
    json += ",\"present\":" + std::string(child.IsPresent() ? "true" : "false");
    if (child.IsPresent()) {
      json += ",\"type\":" + Quoted(TypeWord(child.Type()));
      json += ",\"size\":" + std::to_string(child.Size());
    }
    json += "}";
  }
  return json + "]";
}

std::string FileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

class ImportNotice : public TransferJob::Listener {
 public:
  explicit ImportNotice(std::function<void(const std::string&)> imported)
      : imported_(std::move(imported)) {}
  void Imported(size_t, const std::string& path) override { imported_(path); }

 private:
  std::function<void(const std::string&)> imported_;
};

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
      probe_(probePorts_, driver_) {
  MidiDev::UseDriver(&driver_);
  keyboard_ = QnKbdDrv::Instance();
  std::filesystem::create_directories(kImportFolder);
  std::filesystem::create_directories(kSendFolder);
}

WebEngine::~WebEngine() {
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
      {"firefoxPermission", Word(MsgStr::kWordFirefoxPermission)},
      {"noMidiService", msg_.MidiResultText(midi_result::kNoDriver, true)},
      {"model", QnKbdDrv::kModelName},
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
    json += ",\"space\":" + Quoted(Replace(Replace(Replace(Word(MsgStr::kWordDriveSpace), "%1",
                                                           std::to_string(drive.Capacity())),
                                                   "%2", std::to_string(drive.UsedBytes())),
                                           "%3", std::to_string(drive.FreeBytes())));
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
  try {
    job.Result();
    Event("status", Quoted(closingStatus_));
  } catch (const QnSysExException& e) {
    if (e.Code() == QnSysEx::kCancelled) {
      Event("cancelled", Quoted(msg_.SysExText(QnSysEx::kCancelled)));
    } else {
      Event("failed", Quoted(FailureText()));
    }
  } catch (...) {
    Event("failed", Quoted(FailureText()));
  }
  closingStatus_.clear();
  Event("ended", "{}");
}

// Called inside a catch handler.
std::string WebEngine::FailureText() const {
  try {
    throw;
  } catch (const MidiDevException& e) {
    return msg_.MidiDevText(e.Code(), e.SubCode());
  } catch (const QnSysExException& e) {
    return msg_.SysExText(e.Code());
  } catch (const QnKbdDrvException& e) {
    return msg_.KbdDrvText(e.Code());
  } catch (const LqdStreamException& e) {
    return msg_.StreamText(e.Code());
  } catch (const OperateException& e) {
    return msg_.OperateText(e.Code());
  } catch (const FileError& e) {
    const bool create =
        e.Operation() == FileError::Op::Create || e.Operation() == FileError::Op::Write;
    return msg_.FileText(create, FileName(e.Path())) + "\n" + e.Reason();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "?";
  }
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
    closingStatus_ =
        Replace(Word(MsgStr::kWordKeyboardsAnswered), "%1", std::to_string(found.size()));
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

void WebEngine::Import(const std::string& address) { Run(kStatusImport, ImportJob(Slot(address))); }

Task<void> WebEngine::ImportJob(QnData* slot) {
  if (!listed_) throw OperateException(kListFirst);
  if (slot == nullptr) throw OperateException(kNoSource);
  // An empty slot would give a file without data.
  if (!slot->IsPresent()) {
    closingStatus_ = Replace(msg_.StatusText(kStatusEmptySkipped), "%1", "1");
    co_return;
  }
  SetRange(0, static_cast<int>(slot->Size()));
  ImportNotice notice([this](const std::string& path) {
    Event("imported", "{\"name\":" + Quoted(FileName(path)) + ",\"path\":" + Quoted(path) + "}");
  });
  TransferJob job(*keyboard_, {inDevice_, outDevice_, &observer_}, &notice);
  Task<void> import = job.Import({slot}, kImportFolder);
  co_await import;
}

void WebEngine::Send(const std::string& address, const std::string& path) {
  Run(kStatusSend, SendJob(Slot(address), path));
}

Task<void> WebEngine::SendJob(QnData* slot, std::string path) {
  if (!listed_) throw OperateException(kListFirst);
  if (slot == nullptr) throw OperateException(kNoTarget);
  if (IsFolder(*slot)) throw OperateException(kNotAcceptable);
  auto file = std::make_unique<QnDataFile>(QnData::kTypeUnknown);
  {
    LqdFileStream stream(path, LqdFileStream::OpenRead);
    file->SetSize(static_cast<uint32_t>(stream.DataLength()));
    stream.Read(*file);
  }
  std::filesystem::remove(path);
  SetRange(0, static_cast<int>(file->Size()));
  TransferJob job(*keyboard_, {inDevice_, outDevice_, &observer_});
  try {
    Task<void> sending = job.Send({{slot, file.get()}}, true);
    co_await sending;
  } catch (...) {
    // A song or rhythm goes before its upload: the list must not show what
    // is gone.
    Event("listChanged", "{}");
    throw;
  }
  Event("listChanged", "{}");
}

void WebEngine::Delete(const std::string& address) { Run(kStatusDelete, DeleteJob(Slot(address))); }

Task<void> WebEngine::DeleteJob(QnData* slot) {
  if (slot == nullptr) throw OperateException(kNoData);
  if (!listed_) throw OperateException(kListFirst);
  const std::optional<SlotAddress> address = SlotAddress::FromEntry(*slot);
  if (!address || !address->IsDeletable()) throw OperateException(kNotAcceptable);
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
  if (MidiDev::Instance()->CancelHeldOff())
    Event("status", Quoted(Word(MsgStr::kWordStoppingAfterItem)));
}
