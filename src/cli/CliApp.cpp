#include "CliApp.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "CliCommands.h"
#include "CliError.h"
#include "CliHistory.h"
#include "StopSignals.h"
#include "files/SlotAddress.h"
#include "jobs/JobFailure.h"
#include "midi/MidiDev.h"
#include "platform/HistoryLocation.h"
#include "platform/midi/ServiceDriver.h"
#include "protocol/MessageLogWriter.h"
#include "protocol/MsgStr.h"
#include "protocol/QnSysEx.h"

struct CliApp::Command {
  const char* synopsis;
  int minArguments;
  int maxArguments;
  bool json;  // takes --json
  std::function<void(CliCommands&, const QStringList&)> run;
};

namespace {

using Command = CliApp::Command;

const std::map<QString, Command>& Commands() {
  static const std::map<QString, Command> commands{
      {"devices", {"devices", 0, 0, false, [](CliCommands& c, auto&) { c.Devices(); }}},
      {"detect", {"detect [--json]", 0, 0, true, [](CliCommands& c, auto&) { c.Detect(); }}},
      {"list", {"list [--json]", 0, 0, true, [](CliCommands& c, auto&) { c.List(); }}},
      {"free", {"free [--json]", 0, 0, true, [](CliCommands& c, auto&) { c.Free(); }}},
      {"import",
       {"import ADDRESS... [FOLDER]", 1, 43, false,
        [](CliCommands& c, const QStringList& a) { c.Import(a); }}},
      {"send",
       {"send FILE ADDRESS [FILE ADDRESS]...", 2, 84, false,
        [](CliCommands& c, const QStringList& a) { c.Send(a); }}},
      {"delete",
       {"delete ADDRESS", 1, 1, false,
        [](CliCommands& c, const QStringList& a) { c.Delete(a[0]); }}},
      {"backup",
       {"backup FOLDER", 1, 1, false,
        [](CliCommands& c, const QStringList& a) { c.Backup(a[0]); }}},
      {"restore",
       {"restore FOLDER", 1, 1, false,
        [](CliCommands& c, const QStringList& a) { c.Restore(a[0]); }}},
      {"info",
       {"info FILE", 1, 1, false, [](CliCommands& c, const QStringList& a) { c.Info(a[0]); }}},
      {"rename",
       {"rename FILE NAME", 2, 2, false,
        [](CliCommands& c, const QStringList& a) { c.Rename(a[0], a[1]); }}},
      // Run by CliHistory, with the history's options.
      {"history", {"history [SUBCOMMAND] [ARGUMENTS]", 0, 3, true, nullptr}},
  };
  return commands;
}

QString Description() {
  QString text =
      "Manages the user data of the TRV-408 keyboard over MIDI.\n\n"
      "Commands:\n"
      "  devices                  the MIDI ports: in/out, number, name\n"
      "  detect [--json]          find the keyboard: input number and name, output\n"
      "                           number and name, keyboard type, one line each\n"
      "  list [--json]            get the list and print every slot\n"
      "  free [--json]            capacity, used and free bytes of each drive\n"
      "  import ADDRESS... [FOLDER]\n"
      "                           save slots as .lqd files (default: current folder);\n"
      "                           a name met again in one run gets _2, _3, ...,\n"
      "                           never that of a file already there\n"
      "  send FILE ADDRESS [FILE ADDRESS]...\n"
      "                           send .lqd files into slots, all checked first\n"
      "  delete ADDRESS           delete a song or rhythm\n"
      "  backup FOLDER            save every slot that holds data as ADDRESS.lqd and\n"
      "                           remove the files of empty slots\n"
      "  restore FOLDER           send the files of a backup back into their slots\n"
      "  info FILE                type, size, data name and model code of a .lqd file\n"
      "  rename FILE NAME         store a new data name (8 characters, a longer one\n"
      "                           is cut) in a .lqd file\n"
      "  history [--json]         the history's snapshots, newest first\n"
      "    history show ID [--json]       a snapshot's slots\n"
      "    history find NAME [--json]     every version of an item by data name\n"
      "    history name-keyboard ID NAME  give a keyboard a name\n"
      "    history forget ID|--item HASH|--keyboard NAME|--before DATE|--all\n"
      "                                   forget snapshots, and the items no other\n"
      "                                   snapshot holds\n"
      "    history export ID FOLDER       the snapshot's items as a backup folder\n"
      "    history check                  check the store and every item\n"
      "    history where                  the store's file\n\n"
      "Addresses: ";
  text += QString::fromStdString(SlotAddress::Syntax());
  text +=
      ".\n\n"
      "Without --in and --out the devices of the settings are used, else the\n"
      "built-in simulator. RAVLIN_SIM_MEMORY=FILE keeps the built-in simulator's\n"
      "memory in FILE between runs.\n\n"
      "Exit status: 0 success, 1 failure (output that cannot be written too),\n"
      "2 wrong command line; 130 and 143 when SIGINT or SIGTERM stopped the\n"
      "command: at once, even while it waits for a keyboard that does not answer;\n"
      "an item being sent, a delete with its free-space read, a file or a line of\n"
      "output is finished first, and a time-out after the signal is reported as\n"
      "the signal.";
  return text;
}

// The --log file for as long as a command runs.
class MessageLog {
 public:
  MessageLog(const QString& path, const MsgStr& messages)
      : name_(QFile::encodeName(path).toStdString()) {
    file_ = path == "-" ? stderr : std::fopen(name_.c_str(), "w");
    if (file_ == nullptr) {
      std::fprintf(stderr, "ravlin-cli: %s (%s)\n",
                   CliCommands::PathText(messages.FileText(true, name_)).c_str(),
                   std::strerror(errno));
      return;
    }
    writer_ = std::make_unique<MessageLogWriter>(file_, messages);
    MidiDev::UseObserver(writer_.get());
  }
  ~MessageLog() {
    MidiDev::UseObserver(nullptr);
    if (file_ != nullptr && file_ != stderr) std::fclose(file_);
  }
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;
  bool IsOpen() const { return file_ != nullptr; }

  // Ends the log; false, with a text on standard error, when a line of it
  // could not be written.
  bool Close() {
    MidiDev::UseObserver(nullptr);
    if (file_ == nullptr || file_ == stderr) return true;
    const bool written = std::ferror(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (written && closed) return true;
    CliApp::Fail("", CliError::Text(MsgStr::kWordCliLogFailed, {name_}));
    return false;
  }

 private:
  std::string name_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<MessageLogWriter> writer_;
};

void Usage(const std::string& text) {
  std::fprintf(stderr, "ravlin-cli: %s\n%s\n", CliCommands::PathText(text).c_str(),
               CliError::Text(MsgStr::kWordCliTryHelp).c_str());
}

// Standard output kept what was printed outside the commands (help,
// version); a text on standard error if not.
bool OutputWritten() {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  const int error = errno;
  CliApp::Fail(
      "", CliError::Text(MsgStr::kWordCliOutputFailed, {std::strerror(error != 0 ? error : EIO)}));
  return false;
}

// The name of the argument at `index` in a command's synopsis, for a text
// that names it: "send FILE ADDRESS [FILE ADDRESS]..." alternates.
std::string ArgumentName(const QString& command, const char* synopsis, qsizetype index) {
  QStringList names = QString(synopsis).split(' ', Qt::SkipEmptyParts).mid(1);
  for (QString& name : names) name.remove(QRegularExpression("[\\[\\].]"));
  names.removeAll("--json");
  if (names.isEmpty()) return {};
  const qsizetype last = names.size() - 1;
  const qsizetype at = command == "send" ? index % 2 : std::min(index, last);
  return names[at].toStdString();
}

}  // namespace

void CliApp::Fail(const std::string& context, const std::string& text) {
  std::fprintf(stderr, "ravlin-cli: %s%s\n",
               context.empty() ? "" : (CliCommands::PathText(context) + ": ").c_str(),
               CliCommands::PathText(text).c_str());
}

int CliApp::Run(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(Description());
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption in("in", "MIDI input: number or part of the name.", "DEV");
  const QCommandLineOption out("out", "MIDI output: number or part of the name.", "DEV");
  const QCommandLineOption json("json", "Print list, free, detect or history as JSON.");
  const QCommandLineOption log("log",
                               "Log every MIDI message with its meaning to FILE ('-': standard "
                               "error), one line each: seconds, > or < or !, bytes, meaning.",
                               "FILE");
  const QCommandLineOption history(
      "history",
      "The history's file (default: " + QString::fromStdString(HistoryLocation::Default()) + ").",
      "FILE");
  const QCommandLineOption item("item", "history forget: the item of this hash.", "HASH");
  const QCommandLineOption keyboard("keyboard", "history forget: the keyboard of this name.",
                                    "NAME");
  const QCommandLineOption before("before", "history forget: the snapshots before DATE.", "DATE");
  const QCommandLineOption all("all", "history forget: everything.");
  const QCommandLineOption keep("keep",
                                "Before a send, delete or restore replaces an item, read it "
                                "into the history (the default).");
  const QCommandLineOption noKeep("no-keep", "Replace items without keeping them first.");
  parser.addOptions({in, out, json, log, keep, noKeep, history, item, keyboard, before, all});
  parser.addPositionalArgument("command", "One of the commands above.", "COMMAND [ARGUMENTS]");

  if (!parser.parse(arguments)) {
    Usage(parser.errorText().toStdString());
    return kUsage;
  }
  if (parser.isSet("help")) {
    std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
    return OutputWritten() ? kSuccess : kFailure;
  }
  if (parser.isSet("version")) {
    std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                qPrintable(QCoreApplication::applicationVersion()));
    return OutputWritten() ? kSuccess : kFailure;
  }

  QStringList positional = parser.positionalArguments();
  if (positional.isEmpty()) {
    Usage(CliError::Text(MsgStr::kWordCliNoCommand));
    return kUsage;
  }
  const QString name = positional.takeFirst();
  auto found = Commands().find(name);
  if (found == Commands().end()) {
    Usage(CliError::Text(MsgStr::kWordCliUnknownCommand, {name.toStdString()}));
    return kUsage;
  }
  const Command& command = found->second;
  if (positional.size() < command.minArguments || positional.size() > command.maxArguments ||
      (parser.isSet(json) && !command.json) ||
      (name != "history" && (parser.isSet(item) || parser.isSet(keyboard) || parser.isSet(before) ||
                             parser.isSet(all)))) {
    Usage(CliError::Text(MsgStr::kWordCliUsage,
                         {std::string("ravlin-cli [--in DEV] [--out DEV] ") + command.synopsis}));
    return kUsage;
  }
  // An empty name or path would stand for the built-in simulator, the
  // settings' ports or the current folder: none of them was asked for.
  for (const QCommandLineOption& option : {in, out, log, history, item, keyboard, before}) {
    if (parser.isSet(option) && parser.value(option).isEmpty()) {
      Usage(CliError::Text(MsgStr::kWordCliEmpty, {"--" + option.names().first().toStdString()}));
      return kUsage;
    }
  }
  for (qsizetype i = 0; i < positional.size(); ++i) {
    if (positional[i].isEmpty()) {
      Usage(CliError::Text(MsgStr::kWordCliEmpty, {ArgumentName(name, command.synopsis, i)}));
      return kUsage;
    }
  }

  const MsgStr messages;
  StopSignals::Install("ravlin-cli: " + messages.SysExText(QnSysEx::kCancelled) + "\n",
                       [] { ServiceDriver::ForMidiSystem().Wake(); });
  std::unique_ptr<MessageLog> messageLog;
  if (parser.isSet(log)) {
    messageLog = std::make_unique<MessageLog>(parser.value(log), messages);
    if (!messageLog->IsOpen()) return kFailure;
  }
  CliCommands commands(messages, parser.value(in), parser.value(out), parser.isSet(json));
  CliHistory::Options historyOptions;
  historyOptions.file = parser.isSet(history)
                            ? QFile::encodeName(parser.value(history)).toStdString()
                            : HistoryLocation::Default();
  historyOptions.json = parser.isSet(json);
  const auto value = [&](const QCommandLineOption& option) {
    return parser.isSet(option) ? std::optional(parser.value(option)) : std::nullopt;
  };
  historyOptions.item = value(item);
  historyOptions.keyboard = value(keyboard);
  historyOptions.before = value(before);
  historyOptions.all = parser.isSet(all);
  // The last of --keep and --no-keep counts.
  const QStringList given = parser.optionNames();
  const auto lastKeep = std::find_if(given.rbegin(), given.rend(), [](const QString& option) {
    return option == "keep" || option == "no-keep";
  });
  commands.UseHistory(historyOptions.file, lastKeep == given.rend() || *lastKeep == "keep");
  CliHistory historyCommand(std::move(historyOptions));
  Command run = command;
  if (!run.run) {
    run.run = [&historyCommand](CliCommands&, const QStringList& a) { historyCommand.Run(a); };
  }
  const int status = RunCommand(run, commands, positional, messages);
  if (messageLog && !messageLog->Close()) return status == kSuccess ? kFailure : status;
  return status;
}

int CliApp::RunCommand(const Command& command, CliCommands& commands, const QStringList& positional,
                       const MsgStr& messages) {
  try {
    command.run(commands, positional);
    // A signal during the last piece of work, which was finished: the output
    // says what was done, the status that the command was stopped.
    if (const int signal = StopSignals::Received()) return 128 + signal;
    return kSuccess;
  } catch (const CliError& error) {
    if (error.ErrorKind() == CliError::Kind::Usage) {
      Usage(error.what());
      return kUsage;
    }
    Fail(error.ErrorKind() == CliError::Kind::Output ? std::string() : commands.Context(),
         error.what());
  } catch (...) {
    const JobFailure failure(std::current_exception(), messages, commands.Context(),
                             StopSignals::Received());
    if (failure.FileFailed()) {
      Fail(failure.FolderNotSynced() ? failure.Path() : std::string(),
           failure.Text() + " (" + failure.Reason() + ")");
    } else if (failure.Text().empty() && failure.Code() >= 0) {
      // An answer too short to hold its value has no text of its own; a
      // terminal line must still say what went wrong.
      Fail(failure.Context(),
           CliError::Text(MsgStr::kWordCliProtocolError, {std::to_string(failure.Code())}));
    } else {
      Fail(failure.Context(), failure.Text());
    }
    return failure.ExitStatus();
  }
  return kFailure;
}
