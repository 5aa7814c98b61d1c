#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/SettingsStore.h"

// Turns the --in and --out values into MIDI device numbers: a number as the
// devices command prints it, or a case-insensitive part of a port's name.
// Without a value: the device of the settings, else the built-in simulator.
// The settings are only read, never written.
class DeviceSelector {
 public:
  int32_t Input(const QString& value);
  int32_t Output(const QString& value);
  // The names of the ports chosen last, as asked for: the settings keep the
  // name of a port that may be gone.
  const std::string& InputName() const { return inputName_; }
  const std::string& OutputName() const { return outputName_; }

  // The device number `value` names among `names`; throws CliError::Usage
  // naming `option` when it names none or several.
  static int32_t Resolve(const QString& value, const std::vector<std::string>& names,
                         const char* option);

 private:
  const SettingsStore::Values* Settings();

  bool settingsRead_ = false;
  std::optional<SettingsStore::Values> settings_;
  std::string inputName_;
  std::string outputName_;
};
