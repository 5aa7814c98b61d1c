#include "SimOptions.h"

#include <QCommandLineParser>
#include <QStringList>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace {

const QCommandLineOption kName({"n", "name"}, "Name of the virtual ports.", "NAME");
const QCommandLineOption kApi("api", "MIDI API (jack, alsa, ...); default RAVLIN_MIDI_API.", "API");
const QCommandLineOption kType("type", "Keyboard type reported (default 0).", "N");
const QCommandLineOption kMemory("memory", "Memory file: loaded at start, saved on every change.",
                                 "FILE");
const QCommandLineOption kCable("cable", "Timing of a 31250-baud MIDI cable.");
const QCommandLineOption kReplyDelay("reply-delay", "The keyboard's time to answer.", "MS");
const QCommandLineOption kFault("fault",
                                QString::fromStdString("Misbehave COUNT times (default 1, 0: "
                                                       "always); MODE is one of " +
                                                       sim::FaultNames() + "."),
                                "MODE[:COUNT]");
const QCommandLineOption kLog(
    "log", "Log every message with its time, direction and meaning, as ravlin-cli --log does.",
    "FILE");
const QCommandLineOption kHelp({"h", "help"}, "Show this help.");
const QCommandLineOption kVersion("version", "Show the version.");

void Define(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      "The TRV-408 keyboard simulated on a virtual MIDI input and output port.");
  parser.addOptions(
      {kName, kApi, kType, kMemory, kCable, kReplyDelay, kFault, kLog, kHelp, kVersion});
}

int ToInt(const QString& text, const char* option, int low, int high) {
  bool ok = false;
  const int value = text.toInt(&ok);
  if (!ok || value < low || value > high) {
    throw std::invalid_argument(std::string(option) + ": expected a whole number from " +
                                std::to_string(low) + " to " + std::to_string(high));
  }
  return value;
}

}  // namespace

SimOptions SimOptions::Parse(const std::vector<std::string>& arguments) {
  QCommandLineParser parser;
  Define(parser);
  QStringList list;
  for (const auto& a : arguments) list << QString::fromStdString(a);
  if (!parser.parse(list)) throw std::invalid_argument(parser.errorText().toStdString());
  if (!parser.positionalArguments().isEmpty()) {
    throw std::invalid_argument("unexpected argument '" +
                                parser.positionalArguments().first().toStdString() + "'");
  }

  SimOptions options;
  options.help = parser.isSet(kHelp);
  options.version = parser.isSet(kVersion);
  if (parser.isSet(kName)) {
    options.name = parser.value(kName).toStdString();
    if (options.name.empty()) throw std::invalid_argument("--name: the name is empty");
  }
  if (parser.isSet(kApi)) {
    options.api = parser.value(kApi).toStdString();
  } else if (const char* api = std::getenv("RAVLIN_MIDI_API")) {
    options.api = api;
  }
  if (parser.isSet(kType)) options.keyboardType = ToInt(parser.value(kType), "--type", 0, 16383);
  options.memoryFile = parser.value(kMemory).toStdString();
  options.cable = parser.isSet(kCable);
  if (parser.isSet(kReplyDelay)) {
    bool ok = false;
    const double ms = parser.value(kReplyDelay).toDouble(&ok);
    if (!ok || !std::isfinite(ms) || ms < 0 || ms > 60000) {
      throw std::invalid_argument("--reply-delay: expected milliseconds from 0 to 60000");
    }
    options.replyDelay = std::chrono::microseconds(std::llround(ms * 1000));
  }
  if (parser.isSet(kFault)) {
    const QString value = parser.value(kFault);
    const qsizetype colon = value.indexOf(':');
    const std::string mode = (colon < 0 ? value : value.left(colon)).toStdString();
    const auto fault = sim::ParseFault(mode);
    if (!fault) {
      throw std::invalid_argument("--fault: unknown mode '" + mode + "' (" + sim::FaultNames() +
                                  ")");
    }
    options.fault = *fault;
    if (colon >= 0) options.faultCount = ToInt(value.mid(colon + 1), "--fault COUNT", 0, 1000000);
  }
  options.logFile = parser.value(kLog).toStdString();
  return options;
}

std::string SimOptions::HelpText() {
  QCommandLineParser parser;
  Define(parser);
  return parser.helpText().replace("<executable_name>", "trv408-sim").toStdString();
}
