#include "CliCommands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "CliError.h"
#include "DeviceSelector.h"
#include "KeyboardSession.h"
#include "ListPrinter.h"
#include "SimulatorMemory.h"
#include "StopSignals.h"
#include "files/KeyboardText.h"
#include "files/LqdMidiStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "jobs/DataFile.h"
#include "jobs/EntryView.h"
#include "jobs/KeyboardBackup.h"
#include "jobs/TransferBatch.h"
#include "jobs/TransferJob.h"
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

// A note on standard error, beside the output.
void Note(const std::string& text) { std::fprintf(stderr, "ravlin-cli: %s\n", text.c_str()); }

// Prints each item as it is done, with the terminal's bar during a transfer.
class JobLines : public TransferJob::Listener {
 public:
  explicit JobLines(KeyboardSession& session, std::vector<std::string> sent = {})
      : session_(session), sent_(std::move(sent)) {}
  void Starting(const Step& step) override { session_.BeginTransfer(step.sending, step.size); }
  void Ended() override { session_.EndTransfer(); }
  void Imported(size_t, const std::string& path) override {
    Print(CliCommands::PathText(path) + "\n");
  }
  void Sent(size_t index) override { Print(sent_.at(index)); }

 private:
  KeyboardSession& session_;
  std::vector<std::string> sent_;
};
void Print(const QByteArray& bytes) { Print(bytes.constData(), static_cast<size_t>(bytes.size())); }

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A file name inside `folder`, as the user gave the folder.
std::string Join(const QString& folder, const std::string& name) {
  const QString clean = QDir::cleanPath(folder);
  if (clean == ".") return name;
  std::string path = LocalPath(clean);
  if (path.back() != '/') path += '/';
  return path + name;
}

// An import writes only into the folder it was given.
}  // namespace

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
    : messages_(messages), inDevice_(inDevice), outDevice_(outDevice), json_(json) {}

CliCommands::~CliCommands() = default;

KeyboardSession& CliCommands::Session() {
  if (!session_) {
    const int32_t in = devices_.Input(inDevice_);
    const int32_t out = devices_.Output(outDevice_);
    {
      StopSignals::Hold hold;
      SimulatorMemory::Apply();
    }
    // Until the list is in, what fails is the keyboard on these ports, not a
    // file or slot named earlier.
    context_.clear();
    session_ = std::make_unique<KeyboardSession>(in, out, messages_);
    try {
      session_->Open();
    } catch (const MidiDevException& error) {
      const bool input = error.Code() == MidiDev::kInputFailed;
      throw CliError::Failure(MsgStr::kWordCliPortAskedFor,
                              {messages_.MidiDevText(error.Code(), error.SubCode()),
                               input ? devices_.InputName() : devices_.OutputName()});
    }
    context_ = CliError::Text(MsgStr::kWordCliKeyboardPorts,
                              {devices_.InputName(), devices_.OutputName()});
    session_->Connect();
    context_.clear();
  }
  return *session_;
}

SlotAddress CliCommands::Address(const QString& text) {
  auto address = SlotAddress::Parse(text.toStdString());
  if (!address) {
    throw CliError::Usage(MsgStr::kWordCliNoAddress, {text.toStdString(), SlotAddress::Syntax()});
  }
  return *address;
}

std::string CliCommands::DataName(const QString& text) {
  std::string name = KeyboardText::FromUtf8(text.toStdString());
  if (name.size() > QnData::kNameLength) name.resize(QnData::kNameLength);
  return name;
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
  QnKbdDrv& keyboard = Session().Keyboard();
  if (json_) {
    Print(ListPrinter::ListJson(keyboard));
  } else {
    Print(ListPrinter::ListText(keyboard));
  }
}

void CliCommands::Free() {
  QnKbdDrv& keyboard = Session().Keyboard();
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
  KeyboardSession& session = Session();
  for (const SlotAddress& address : addresses) {
    context_ = address.ToString();
    if (!session.Slot(address).IsPresent()) throw CliError::Failure(MsgStr::kWordCliSlotEmpty);
  }
  const QString into = folder.isEmpty() ? QString(".") : folder;
  std::vector<QnData*> entries;
  for (const SlotAddress& address : addresses) entries.push_back(&session.Slot(address));
  JobLines lines(session);
  TransferJob job(session.Keyboard(), session.Link(), &lines);
  try {
    StopSignals::Hold hold;
    Drive(job.Import(entries, Join(into, "")));
  } catch (...) {
    context_ = !job.Writing().empty() ? job.Writing() : addresses[job.Current()].ToString();
    throw;
  }
}

void CliCommands::Send(const QStringList& arguments) {
  if (arguments.size() % 2 != 0) throw CliError::Usage(MsgStr::kWordCliSendPairs);
  struct Item {
    std::string path;
    SlotAddress address;
    std::unique_ptr<QnDataFile> file;
  };
  std::vector<Item> items;
  for (qsizetype i = 0; i < arguments.size(); i += 2) {
    items.push_back({LocalPath(arguments[i]), Address(arguments[i + 1]), nullptr});
  }
  for (Item& item : items) {
    context_ = item.path;
    item.file = DataFile::Read(item.path);
  }
  KeyboardSession& session = Session();
  // A batch is checked whole before the first exchange, as the window does,
  // on the list just read.
  std::vector<TransferBatch::Send> sends;
  std::vector<std::string> lines;
  for (Item& item : items) {
    sends.push_back({&session.Slot(item.address), item.file.get()});
    lines.push_back(PathText(item.path) + " -> " + item.address.ToString() + "\n");
  }
  JobLines progress(session, lines);
  TransferJob job(session.Keyboard(), session.Link(), &progress);
  try {
    StopSignals::Hold hold;
    Drive(job.Send(sends, false));
  } catch (const LqdStreamException& error) {
    context_.clear();
    if (job.Current() != TransferJob::kWhole) {
      context_ = items[job.Current()].address.ToString();
    } else if (error.Code() == LqdMidiStream::kTypeDiffers) {
      // The batch's check names no item: the first of another type is it.
      for (const Item& item : items) {
        if (item.file->Type() != session.Slot(item.address).Type()) {
          context_ = item.path + " -> " + item.address.ToString();
          break;
        }
      }
    }
    throw;
  } catch (...) {
    context_ = job.Current() == TransferJob::kWhole ? std::string()
                                                    : items[job.Current()].address.ToString();
    throw;
  }
}

void CliCommands::Delete(const QString& addressText) {
  const SlotAddress address = Address(addressText);
  context_ = address.ToString();
  if (!address.IsDeletable()) throw OperateException(OperateException::kNotAcceptable);
  Session().Delete(address);
}

namespace {

// Prints each file as it is done, with the terminal's bar during a transfer.
class BackupLines : public KeyboardBackup::Listener {
 public:
  explicit BackupLines(KeyboardSession*& session) : session_(session) {}
  void Starting(const Step& step) override { session_->BeginTransfer(step.sending, step.size); }
  void Ended() override { session_->EndTransfer(); }
  void Written(const std::string& path) override { Print(CliCommands::PathText(path) + "\n"); }
  void Removed(const std::string& path) override {
    Print("removed " + CliCommands::PathText(path) + "\n");
  }
  void Restored(const std::string& path, const SlotAddress& address) override {
    Print(CliCommands::PathText(path) + " -> " + address.ToString() + "\n");
  }

 private:
  KeyboardSession*& session_;
};

}  // namespace

void CliCommands::Backup(const QString& folder) {
  if (!QDir().mkpath(folder)) {
    context_ = LocalPath(folder);
    throw CliError::Failure(MsgStr::kWordCliCannotMakeFolder);
  }
  KeyboardSession* session = &Session();
  BackupLines lines(session);
  KeyboardBackup backup(&lines);
  try {
    StopSignals::Hold hold;
    Drive(backup.Backup(session->Keyboard(), session->Link(), Join(folder, "")));
  } catch (const LqdStreamException& error) {
    context_ = backup.Context();
    if (error.Code() == KeyboardBackup::kCannotRemove) {
      throw CliError::Failure(MsgStr::kWordCliCannotRemoveBackup);
    }
    throw;
  } catch (...) {
    context_ = backup.Context();
    throw;
  }
}

void CliCommands::Restore(const QString& folder) {
  KeyboardSession* session = nullptr;
  BackupLines lines(session);
  KeyboardBackup backup(&lines);
  try {
    backup.Load(Join(folder, ""));
  } catch (const LqdStreamException& error) {
    context_ = backup.Context();
    if (error.Code() != KeyboardBackup::kNoBackupFiles) throw;
    context_ = LocalPath(folder);
    throw CliError::Failure(MsgStr::kWordCliNoBackupFiles);
  } catch (...) {
    context_ = backup.Context();
    throw;
  }
  session = &Session();
  try {
    StopSignals::Hold hold;
    Drive(backup.Restore(session->Keyboard(), session->Link()));
  } catch (...) {
    context_ = backup.Context();
    throw;
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
  const std::string name = DataName(nameText);
  if (name.empty()) throw CliError::Usage(MsgStr::kWordCliEmptyDataName);
  const std::string path = LocalPath(fileText);
  context_ = path;
  std::unique_ptr<QnDataFile> file = DataFile::Read(path);
  switch (file->Type()) {
    case QnData::kTypeTone:
    case QnData::kTypeDsp:
    case QnData::kTypeSong:
    case QnData::kTypeRhythm:
    case QnData::kTypeRegistration:
      break;
    default:
      throw CliError::Failure(MsgStr::kWordCliNoDataName);
  }
  file->StoreDataName(name);
  {
    // A signal lets the write end: its temporary file is renamed into place or
    // removed, never left behind.
    StopSignals::Hold hold;
    DataFile::Write(path, *file);
  }
  if (KeyboardText::FromUtf8(nameText.toStdString()).size() > name.size()) {
    Note(CliError::Text(MsgStr::kWordCliNameCut,
                        {nameText.toStdString(), KeyboardText::ToUtf8(name)}));
  }
  Print(PathText(path) + ": \"" + KeyboardText::ToUtf8(name) + "\"\n");
}
