#include "DeviceSelector.h"

#include <QStringList>
#include <cstdio>

#include "CliError.h"
#include "platform/SettingsError.h"
#include "platform/midi/MidiSystem.h"

namespace {

// Thrown from the first-start callback, so that reading a store that does
// not exist yet creates nothing.
struct NoSettings {};

}  // namespace

const SettingsStore::Values* DeviceSelector::Settings() {
  if (!settingsRead_) {
    settingsRead_ = true;
    MidiSystem& midi = MidiSystem::Instance();
    SettingsStore store;
    store.SetPreferencesCallback([](SettingsStore::Values&) { throw NoSettings(); });
    store.SetDeviceLists([&midi] { return midi.InputNames(); },
                         [&midi] { return midi.OutputNames(); });
    SettingsStore::Values values;
    try {
      store.Load(values);
      settings_ = values;
    } catch (const NoSettings&) {
    } catch (const SettingsError& error) {
      std::fprintf(stderr, "ravlin-cli: the settings cannot be used (%s); using %s\n", error.what(),
                   MidiSystem::kBuiltInName);
    }
  }
  return settings_ ? &*settings_ : nullptr;
}

// A port the settings name stays chosen while it is gone: opening it then
// fails, where the built-in simulator would answer in its place.
int32_t DeviceSelector::Input(const QString& value) {
  MidiSystem& midi = MidiSystem::Instance();
  if (!value.isEmpty()) return Resolve(value, midi.InputNames(), "--in");
  const SettingsStore::Values* settings = Settings();
  if (settings != nullptr && (settings->inputDevice >= 0 || !settings->inputName.empty()))
    return settings->inputDevice;
  return static_cast<int32_t>(midi.BuiltInInput());
}

int32_t DeviceSelector::Output(const QString& value) {
  MidiSystem& midi = MidiSystem::Instance();
  if (!value.isEmpty()) return Resolve(value, midi.OutputNames(), "--out");
  const SettingsStore::Values* settings = Settings();
  if (settings != nullptr && (settings->outputDevice >= 0 || !settings->outputName.empty()))
    return settings->outputDevice;
  return static_cast<int32_t>(midi.BuiltInOutput());
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
