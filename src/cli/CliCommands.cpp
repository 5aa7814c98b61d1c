#include "CliCommands.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "CliError.h"
#include "DeviceSelector.h"
#include "ListPrinter.h"
#include "SimulatorMemory.h"
#include "StopSignals.h"
#include "TerminalProgressBar.h"
#include "files/KeyboardText.h"
#include "files/QnDataFile.h"
#include "history/HistoryException.h"
#include "history/HistoryStore.h"
#include "jobs/DataFile.h"
#include "jobs/EntryView.h"
#include "jobs/JobEvents.h"
#include "jobs/JobText.h"
#include "jobs/KeyboardBackup.h"
#include "jobs/KeyboardJobs.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"
#include "platform/midi/MidiSystem.h"
#include "protocol/KeyboardProbe.h"
#include "protocol/QnSysEx.h"

namespace {

// Each line reaches the output whole before a signal can end the tool, so
// that what it says matches what was done; output that cannot be written
// fails the command.
void Print(const char* data, size_t size) {
  StopSignals::Hold hold;
  if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0) {
    throw CliError(CliError::Kind::Output,
                   CliError::Text(MsgStr::kWordCliOutputFailed, {std::strerror(errno)}));
  }
}
void Print(const std::string& text) { Print(text.data(), text.size()); }
void Print(const QString& text) { Print(text.toStdString()); }
void Print(const QByteArray& bytes) { Print(bytes.constData(), static_cast<size_t>(bytes.size())); }

// A note on standard error, beside the output.
void Note(const std::string& text) { std::fprintf(stderr, "ravlin-cli: %s\n", text.c_str()); }

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A file name inside `folder`, as the user gave the folder.
std::string Join(const QString& folder, const std::string& name) {
  const QString clean = QDir::cleanPath(folder);
  if (clean == ".") return name;
  std::string path = LocalPath(clean);
  if (path.back() != '/') path += '/';
  return path + name;
}

constexpr int32_t kStatusSend = 1;
constexpr int32_t kStatusReceive = 2;

}  // namespace

// What the jobs tell, as the tool prints it: a line for each item as it is
// done, and the terminal's bar while an item's bytes move.
class CliCommands::Lines : public JobEvents {
 public:
  explicit Lines(const MsgStr& messages) : messages_(messages), bar_(stderr) {}

  // A delete moves no bytes: it shows no bar.
  void ShowBar(bool shown) { barShown_ = shown; }
  // Whether a job has read the list, or changed what it shows.
  bool ListAsked() const { return listAsked_; }

  void Starting(const Item& item) override {
    if (!barShown_) return;
    bar_.Begin(messages_.StatusText(item.sending ? kStatusSend : kStatusReceive),
               static_cast<int>(item.size));
  }
  void Progressed(const Progress& progress) override {
    bar_.SetPosition(static_cast<int>(progress.itemPosition));
    bar_.Repaint();
  }
  void Ended(const Item& /*item*/) override { bar_.End(); }
  void Done(const Item& item, Kind kind, const std::string& path) override {
    switch (kind) {
      case Kind::Imported:
      case Kind::Written:
        Print(PathText(path) + "\n");
        break;
      case Kind::Sent:
      case Kind::Restored:
        Print(PathText(path) + " -> " + item.address->ToString() + "\n");
        break;
      case Kind::Removed:
        Print("removed " + PathText(path) + "\n");
        break;
      case Kind::Deleted:
        break;
    }
  }
  void ListChanged() override { listAsked_ = true; }
  void Noted(const std::string& text) override { Note(text); }

 private:
  const MsgStr& messages_;
  TerminalProgressBar bar_;
  bool barShown_ = true;
  bool listAsked_ = false;
};

std::string CliCommands::PathText(const std::string& path) {
  std::string text;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      text += "\\n";
    } else if (c == '\t') {
      text += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      text += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
    } else {
      text += c;
    }
  }
  return text;
}

CliCommands::CliCommands(const MsgStr& messages, const QString& inDevice, const QString& outDevice,
                         bool json)
    : messages_(messages),
      inDevice_(inDevice),
      outDevice_(outDevice),
      json_(json),
      lines_(std::make_unique<Lines>(messages)) {}

CliCommands::~CliCommands() {
  // The protocol tells the jobs' observer of its steps until it is gone.
  if (jobs_) QnKbdDrv::Destroy();
}

void CliCommands::UseHistory(std::string path, bool keep) {
  historyPath_ = std::move(path);
  keep_ = keep;
}

void CliCommands::OpenHistory(bool replaces) {
  try {
    history_ = std::make_unique<HistoryStore>(historyPath_);
  } catch (const HistoryException& error) {
    if (replaces && keep_) throw;
    Note(JobText::Filled(
        messages_, MsgStr::kWordHistoryNotRecorded,
        {messages_.WordText(static_cast<MsgStr::Word>(MsgStr::kWordHistoryBusy + error.Code()))}));
    return;
  }
  jobs_->UseHistory({history_.get(), devices_.InputName(), devices_.OutputName(), keep_});
}

KeyboardJobs& CliCommands::Jobs(bool replaces) {
  if (!jobs_) {
    const int32_t in = devices_.Input(inDevice_);
    const int32_t out = devices_.Output(outDevice_);
    {
      StopSignals::Hold hold;
      SimulatorMemory::Apply();
    }
    jobs_ = std::make_unique<KeyboardJobs>(*QnKbdDrv::Instance(), messages_, *lines_);
    jobs_->UsePorts({in, out});
    // A port that hangs on open is no exchange with the keyboard: a signal
    // then ends the tool at once. The devices stay open, so the jobs open
    // nothing.
    try {
      QnSysEx* protocol = QnSysEx::Instance();
      protocol->OpenIn(in);
      protocol->OpenOut(out);
    } catch (const MidiDevException& error) {
      const bool input = error.Code() == MidiDev::kInputFailed;
      throw CliError::Failure(MsgStr::kWordCliPortAskedFor,
                              {messages_.MidiDevText(error.Code(), error.SubCode()),
                               input ? devices_.InputName() : devices_.OutputName()});
    }
    ports_ = CliError::Text(MsgStr::kWordCliKeyboardPorts,
                            {devices_.InputName(), devices_.OutputName()});
    if (!historyPath_.empty()) OpenHistory(replaces);
  }
  return *jobs_;
}

QnKbdDrv& CliCommands::Listed() {
  KeyboardJobs& jobs = Jobs();
  Run(jobs.List(jobs.CurrentPorts()));
  return *QnKbdDrv::Instance();
}

void CliCommands::Run(Task<void> job) {
  try {
    StopSignals::Hold hold;
    RunToEnd(std::move(job));
  } catch (...) {
    // Until the list is in, what fails is the keyboard on these ports.
    const bool listing = lines_->ListAsked() && !QnKbdDrv::Instance()->IsConnected();
    context_ = listing ? ports_ : jobs_->Where();
    throw;
  }
}

QnData* CliCommands::Slot(const QnKbdDrv& keyboard, const SlotAddress& address) {
  QnData* slot = address.Find(*keyboard.Root());
  if (slot == nullptr) throw CliError::Failure(MsgStr::kWordCliNoSuchSlot, {address.ToString()});
  return slot;
}

SlotAddress CliCommands::Address(const QString& text) {
  auto address = SlotAddress::Parse(text.toStdString());
  if (!address) {
    throw CliError::Usage(MsgStr::kWordCliNoAddress, {text.toStdString(), SlotAddress::Syntax()});
  }
  return *address;
}

void CliCommands::Devices() {
  MidiSystem& midi = MidiSystem::Instance();
  const std::vector<std::string> inputs = midi.InputNames();
  const std::vector<std::string> outputs = midi.OutputNames();
  for (size_t i = 0; i < inputs.size(); ++i)
    Print("in\t" + std::to_string(i) + "\t" + inputs[i] + "\n");
  for (size_t i = 0; i < outputs.size(); ++i) {
    Print("out\t" + std::to_string(i) + "\t" + outputs[i] + "\n");
  }
}

void CliCommands::Detect() {
  const KeyboardProbe::Result result = MidiSystem::Instance().DetectKeyboards();
  for (const auto& port : result.unopenedInputs) {
    Note(CliError::Text(MsgStr::kWordCliInputNotProbed, {std::to_string(port.number), port.name}));
  }
  for (const auto& port : result.unopenedOutputs) {
    Note(CliError::Text(MsgStr::kWordCliOutputNotProbed, {std::to_string(port.number), port.name}));
  }
  const std::vector<KeyboardProbe::Keyboard> found = result.Served();
  if (json_) {
    QJsonArray keyboards;
    for (const auto& k : found) {
      keyboards.append(
          QJsonObject{{"in", QJsonObject{{"number", static_cast<int>(k.in.number)},
                                         {"name", QString::fromStdString(k.in.name)}}},
                      {"out", QJsonObject{{"number", static_cast<int>(k.out.number)},
                                          {"name", QString::fromStdString(k.out.name)}}},
                      {"type", k.type}});
    }
    Print(QJsonDocument(QJsonObject{{"keyboards", keyboards}}).toJson(QJsonDocument::Compact) +
          "\n");
  } else {
    for (const auto& k : found) {
      Print(std::to_string(k.in.number) + "\t" + k.in.name + "\t" + std::to_string(k.out.number) +
            "\t" + k.out.name + "\t" + std::to_string(k.type) + "\n");
    }
  }
  if (found.empty()) throw QnKbdDrvException(KeyboardProbe::kNoKeyboardFound);
}

void CliCommands::List() {
  QnKbdDrv& keyboard = Listed();
  if (json_) {
    Print(ListPrinter::ListJson(keyboard));
  } else {
    Print(ListPrinter::ListText(keyboard));
  }
}

void CliCommands::Free() {
  QnKbdDrv& keyboard = Listed();
  if (json_) {
    Print(ListPrinter::FreeJson(keyboard));
  } else {
    Print(ListPrinter::FreeText(keyboard));
  }
}

void CliCommands::Import(const QStringList& arguments) {
  std::vector<SlotAddress> addresses;
  QString folder;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const std::optional<SlotAddress> address = SlotAddress::Parse(arguments[i].toStdString());
    if (!address && i + 1 == arguments.size() && !addresses.empty()) {
      folder = arguments[i];
    } else {
      addresses.push_back(Address(arguments[i]));
    }
  }
  const QnKbdDrv& keyboard = Listed();
  KeyboardJobs::ImportRequest request;
  for (const SlotAddress& address : addresses) request.entries.push_back(Slot(keyboard, address));
  request.folder = Join(folder.isEmpty() ? QString(".") : folder, "");
  request.empty = KeyboardJobs::EmptySlot::Refuse;
  Run(Jobs().Import(std::move(request)));
}

void CliCommands::Send(const QStringList& arguments) {
  if (arguments.size() % 2 != 0) throw CliError::Usage(MsgStr::kWordCliSendPairs);
  std::vector<SlotAddress> addresses;
  KeyboardJobs::SendRequest request;
  for (qsizetype i = 0; i < arguments.size(); i += 2) {
    request.files.push_back(LocalPath(arguments[i]));
    addresses.push_back(Address(arguments[i + 1]));
  }
  KeyboardJobs& jobs = Jobs(true);
  const QnKbdDrv& keyboard = *QnKbdDrv::Instance();
  for (const SlotAddress& address : addresses) request.entries.push_back(Slot(keyboard, address));
  // The job reads the list once the files are read: it has the free space.
  request.listFirst = true;
  request.freshFreeSpace = false;
  Run(jobs.Send(std::move(request)));
}

void CliCommands::Delete(const QString& addressText) {
  const SlotAddress address = Address(addressText);
  KeyboardJobs& jobs = Jobs(true);
  lines_->ShowBar(false);
  Run(jobs.Delete({{Slot(*QnKbdDrv::Instance(), address)}, true}));
}

void CliCommands::Backup(const QString& folder) {
  if (!QDir().mkpath(folder)) {
    context_ = LocalPath(folder);
    throw CliError::Failure(MsgStr::kWordCliCannotMakeFolder);
  }
  KeyboardJobs& jobs = Jobs();
  try {
    Run(jobs.Backup(Join(folder, "")));
  } catch (const LqdStreamException& error) {
    if (error.Code() == KeyboardBackup::kCannotRemove) {
      throw CliError::Failure(MsgStr::kWordCliCannotRemoveBackup);
    }
    throw;
  }
}

void CliCommands::Restore(const QString& folder) {
  KeyboardJobs& jobs = Jobs(true);
  try {
    Run(jobs.Restore(Join(folder, "")));
  } catch (const LqdStreamException& error) {
    if (error.Code() != KeyboardBackup::kNoBackupFiles) throw;
    context_ = LocalPath(folder);
    throw CliError::Failure(MsgStr::kWordCliNoBackupFiles);
  }
}

void CliCommands::Info(const QString& fileText) {
  const std::string path = LocalPath(fileText);
  context_ = path;
  std::unique_ptr<QnDataFile> file = DataFile::Read(path);
  const QString typeName =
      QString::fromLatin1(EntryView::TypeWord(file->Type(), EntryView::Spelling::Properties));
  char modelCode[8];
  std::snprintf(modelCode, sizeof modelCode, "0x%04X", file->ModelCode());
  Print("File:       " + PathText(path) + "\n");
  Print(QString("Type:       %1%2\n")
            .arg(file->Type())
            .arg(typeName.isEmpty() ? QString() : " " + typeName));
  Print("Size:       " + ListPrinter::SizeText(file->Size()) + "\n");
  Print("Name:       \"" + QString::fromStdString(EntryView::Caption(file->Name())) + "\"\n");
  Print("Model code: " + std::string(modelCode) + "\n");
}

void CliCommands::Rename(const QString& fileText, const QString& nameText) {
  const std::string name = DataFile::DataName(nameText.toStdString());
  if (name.empty()) throw CliError::Usage(MsgStr::kWordCliEmptyDataName);
  const std::string path = LocalPath(fileText);
  context_ = path;
  std::unique_ptr<QnDataFile> file = DataFile::Read(path);
  {
    // A signal lets the write end: its temporary file is renamed into place or
    // removed, never left behind.
    StopSignals::Hold hold;
    DataFile::Rename(path, *file, name);
  }
  if (KeyboardText::FromUtf8(nameText.toStdString()).size() > name.size()) {
    Note(CliError::Text(MsgStr::kWordCliNameCut,
                        {nameText.toStdString(), KeyboardText::ToUtf8(name)}));
  }
  Print(PathText(path) + ": \"" + KeyboardText::ToUtf8(name) + "\"\n");
}
