#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSettings;

// The three values that outlive a run (the MIDI input and output device
// numbers and the default folder), per user under "\Software\Vardo\Ravlin"
// with the subkeys "MIDI" and "Directory": the registry on Windows, an INI
// file in the user's configuration folder elsewhere.
//
// Beside each device number the store keeps the port's name; ports renumber
// when devices are plugged in or out, so at load a port that now has another
// number is found again by its name, and one that is gone is never taken for
// the port that has its number now.
class SettingsStore {
 public:
  struct Values {
    int32_t inputDevice = 0;
    int32_t outputDevice = 0;
    QString defaultFolder;
    // The names of the chosen ports; empty where only the number is known.
    std::string inputName{};
    std::string outputName{};
  };
  // How the window was laid out when it last closed. Only the window keeps
  // it, in a subkey of its own ("Window") beside the three values.
  struct Layout {
    QByteArray geometry;  // size and position, as QWidget::saveGeometry gives them
    QByteArray splitter;  // between the PC side and the keyboard side
    QByteArray localSplitter;
    QByteArray kbdSplitter;
    int localStyle = -1;  // view style of each list; -1: none kept
    int kbdStyle = -1;
  };
  // Shows the preferences dialog on the values (the first start).
  using PreferencesCallback = std::function<void(Values&)>;
  // The port names the MIDI service lists now, indexed by device number.
  using NameList = std::function<std::vector<std::string>()>;

  SettingsStore();                                 // the user's store
  explicit SettingsStore(const QString& iniFile);  // a store kept in this file
  ~SettingsStore();

  void SetPreferencesCallback(PreferencesCallback callback);
  void SetDeviceLists(NameList inputs, NameList outputs);

  // Fills `values` in the order input device, output device, folder. A
  // missing or mistyped device value throws SettingsError; the values not
  // read by then keep what they held. A port the store names is looked up in
  // the device lists: where it is gone its number is DeviceWatch::kGone and
  // its name stays in the values. A missing folder gives "". Without the
  // program's key (the first start) the values become 0, 0 and the current
  // folder, the preferences callback runs on them and the key is created
  // with its two subkeys but no values.
  void Load(Values& values) const;
  // Writes the three values and the ports' names as the values hold them, an
  // empty name as none; throws SettingsError when the store cannot be written.
  void Save(const Values& values) const;

  // The layout kept by the last window; what is missing or unreadable stays
  // empty, never an error: the window then opens as it does the first time.
  Layout LoadLayout() const;
  // Throws SettingsError when the store cannot be written.
  void SaveLayout(const Layout& layout) const;

  // Where the values live: the INI file, or the registry key on Windows.
  QString Location() const;

 private:
  std::unique_ptr<QSettings> Open() const;
  bool KeyExists() const;
  void CreateKey() const;
  int32_t ReadDevice(QSettings& settings, const QString& name, const NameList& ports,
                     std::string& portName) const;

  QString iniFile_;  // empty: the Windows registry
  PreferencesCallback preferences_;
  NameList inputNames_;
  NameList outputNames_;
};
