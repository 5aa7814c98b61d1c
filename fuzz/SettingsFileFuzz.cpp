// Any settings file read as the window and the command line read it: the
// three values, the ports' names looked up in the device lists, and the
// window's layout. A value that cannot be used throws SettingsError; a port
// that is found has a number of the lists.
//
// Input: the file.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "platform/DeviceWatch.h"
#include "platform/SettingsError.h"
#include "platform/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The settings class keeps what it read of a file by its name: each input
  // has a file of its own.
  static unsigned long run = 0;
  const std::string path =
      (ScratchFolder() / ("settings-" + std::to_string(run++) + ".ini")).string();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  const std::vector<std::string> inputs{"Built-in keyboard", "USB MIDI 1", "usb midi 1"};
  const std::vector<std::string> outputs{"Built-in keyboard", "TRV-408 Port 1"};
  SettingsStore store(QString::fromStdString(path));
  store.SetPreferencesCallback([](SettingsStore::Values&) {});
  store.SetDeviceLists([&] { return inputs; }, [&] { return outputs; });
  SettingsStore::Values values;
  try {
    store.Load(values);
    const auto known = [](int32_t device, const std::vector<std::string>& names,
                          const std::string& name) {
      return device == DeviceWatch::kGone || name.empty() ||
             (device >= 0 && static_cast<size_t>(device) < names.size());
    };
    if (!known(values.inputDevice, inputs, values.inputName) ||
        !known(values.outputDevice, outputs, values.outputName)) {
      std::fprintf(stderr, "a named port with a number the lists do not have\n");
      std::abort();
    }
  } catch (const SettingsError&) {
  }
  store.LoadLayout();
  std::remove(path.c_str());
  return 0;
}
