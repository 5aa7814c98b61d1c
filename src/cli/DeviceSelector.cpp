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
      std::fprintf(
          stderr, "ravlin-cli: %s\n",
          CliError::Text(MsgStr::kWordCliSettingsUnusable, {error.what(), MidiSystem::kBuiltInName})
              .c_str());
    }
  }
  return settings_ ? &*settings_ : nullptr;
}

// A port the settings name stays chosen while it is gone: opening it then
// fails, where the built-in simulator would answer in its place.
int32_t DeviceSelector::Input(const QString& value) {
  MidiSystem& midi = MidiSystem::Instance();
  const std::vector<std::string> names = midi.InputNames();
  int32_t device = static_cast<int32_t>(midi.BuiltInInput());
  const SettingsStore::Values* settings = value.isEmpty() ? Settings() : nullptr;
  if (!value.isEmpty()) {
    device = Resolve(value, names, "--in");
  } else if (settings != nullptr && (settings->inputDevice >= 0 || !settings->inputName.empty())) {
    inputName_ = settings->inputName;
    return settings->inputDevice;
  }
  inputName_ = names.at(static_cast<size_t>(device));
  return device;
}

int32_t DeviceSelector::Output(const QString& value) {
  MidiSystem& midi = MidiSystem::Instance();
  const std::vector<std::string> names = midi.OutputNames();
  int32_t device = static_cast<int32_t>(midi.BuiltInOutput());
  const SettingsStore::Values* settings = value.isEmpty() ? Settings() : nullptr;
  if (!value.isEmpty()) {
    device = Resolve(value, names, "--out");
  } else if (settings != nullptr &&
             (settings->outputDevice >= 0 || !settings->outputName.empty())) {
    outputName_ = settings->outputName;
    return settings->outputDevice;
  }
  outputName_ = names.at(static_cast<size_t>(device));
  return device;
}

int32_t DeviceSelector::Resolve(const QString& value, const std::vector<std::string>& names,
                                const char* option) {
  bool isNumber = false;
  const int number = value.toInt(&isNumber);
  if (isNumber) {
    if (number < 0 || static_cast<size_t>(number) >= names.size()) {
      throw CliError::Usage(MsgStr::kWordCliNoPortNumber, {option, value.toStdString()});
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
    throw CliError::Usage(MsgStr::kWordCliNoPortName, {option, value.toStdString()});
  }
  throw CliError::Usage(MsgStr::kWordCliSeveralPorts,
                        {option, value.toStdString(), matchNames.join(", ").toStdString()});
}
