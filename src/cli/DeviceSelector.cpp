#include "DeviceSelector.h"

#include <QStringList>

#include "CliError.h"
#include "platform/midi/MidiSystem.h"

int32_t DeviceSelector::Input(const QString& value) {
  MidiSystem& midi = MidiSystem::Instance();
  if (value.isEmpty()) return static_cast<int32_t>(midi.BuiltInInput());
  return Resolve(value, midi.InputNames(), "--in");
}

int32_t DeviceSelector::Output(const QString& value) {
  MidiSystem& midi = MidiSystem::Instance();
  if (value.isEmpty()) return static_cast<int32_t>(midi.BuiltInOutput());
  return Resolve(value, midi.OutputNames(), "--out");
}

int32_t DeviceSelector::Resolve(const QString& value, const std::vector<std::string>& names,
                                const char* option) {
  const std::string hint = "; 'ravlin-cli devices' lists the ports";
  bool isNumber = false;
  const int number = value.toInt(&isNumber);
  if (isNumber) {
    if (number < 0 || static_cast<size_t>(number) >= names.size()) {
      throw CliError::Usage(std::string(option) + ": no port number " + value.toStdString() + hint);
    }
    return number;
  }
  std::vector<int32_t> matches;
  QStringList matchNames;
  for (size_t i = 0; i < names.size(); ++i) {
    const QString name = QString::fromStdString(names[i]);
    if (name.compare(value, Qt::CaseInsensitive) == 0) return static_cast<int32_t>(i);
    if (name.contains(value, Qt::CaseInsensitive)) {
      matches.push_back(static_cast<int32_t>(i));
      matchNames << "'" + name + "'";
    }
  }
  if (matches.size() == 1) return matches.front();
  if (matches.empty()) {
    throw CliError::Usage(std::string(option) + ": no port name contains '" + value.toStdString() +
                          "'" + hint);
  }
  throw CliError::Usage(std::string(option) + ": '" + value.toStdString() +
                        "' is part of several port names: " + matchNames.join(", ").toStdString());
}
