#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "platform/DeviceWatch.h"
#include "platform/SettingsError.h"

namespace {

const QString kOrganisation = QStringLiteral("Vardo");
const QString kApplication = QStringLiteral("Ravlin");
const QString kRegistryParent = QStringLiteral("HKEY_CURRENT_USER\\Software\\Vardo");
const QString kRegistryKey = kRegistryParent + QStringLiteral("\\Ravlin");

const QString kMidi = QStringLiteral("MIDI");
const QString kDirectory = QStringLiteral("Directory");
const QString kInputDevice = QStringLiteral("MIDI/InputDevice");
const QString kOutputDevice = QStringLiteral("MIDI/OutputDevice");
const QString kDefault = QStringLiteral("Directory/Default");
const QString kNameSuffix = QStringLiteral("Name");
const QString kGeometry = QStringLiteral("Window/Geometry");
const QString kSplitter = QStringLiteral("Window/Splitter");
const QString kLocalSplitter = QStringLiteral("Window/LocalSplitter");
const QString kKbdSplitter = QStringLiteral("Window/KbdSplitter");
const QString kLocalStyle = QStringLiteral("Window/LocalViewStyle");
const QString kKbdStyle = QStringLiteral("Window/KbdViewStyle");

std::string Describe(const QString& name) { return name.toStdString(); }

}  // namespace

SettingsStore::SettingsStore() {
#ifndef Q_OS_WIN
  iniFile_ =
      QSettings(QSettings::IniFormat, QSettings::UserScope, kOrganisation, kApplication).fileName();
#endif
}

SettingsStore::SettingsStore(const QString& iniFile) : iniFile_(iniFile) {}

SettingsStore::~SettingsStore() = default;

void SettingsStore::SetPreferencesCallback(PreferencesCallback callback) {
  preferences_ = std::move(callback);
}

void SettingsStore::SetDeviceLists(NameList inputs, NameList outputs) {
  inputNames_ = std::move(inputs);
  outputNames_ = std::move(outputs);
}

QString SettingsStore::Location() const { return iniFile_.isEmpty() ? kRegistryKey : iniFile_; }

std::unique_ptr<QSettings> SettingsStore::Open() const {
  auto settings = iniFile_.isEmpty()
                      ? std::make_unique<QSettings>(kRegistryKey, QSettings::NativeFormat)
                      : std::make_unique<QSettings>(iniFile_, QSettings::IniFormat);
  if (settings->status() != QSettings::NoError)
    throw SettingsError(SettingsError::Reason::Unreadable, Describe(Location()) + ": unreadable");
  return settings;
}

bool SettingsStore::KeyExists() const {
  if (iniFile_.isEmpty())
    return QSettings(kRegistryParent, QSettings::NativeFormat)
        .childGroups()
        .contains(kApplication, Qt::CaseInsensitive);
  return QFileInfo::exists(iniFile_);
}

void SettingsStore::CreateKey() const {
  if (iniFile_.isEmpty()) {
    // QSettings cannot create an empty registry key, but the key of a value
    // stays when the value is removed again.
    auto settings = Open();
    for (const QString& group : {kMidi, kDirectory}) {
      settings->setValue(group + QStringLiteral("/Created"), 0);
      settings->remove(group + QStringLiteral("/Created"));
    }
    settings->sync();
    if (settings->status() != QSettings::NoError)
      throw SettingsError(SettingsError::Reason::Create, Describe(kRegistryKey) + ": not created");
    return;
  }
  // An INI file has no empty sections: the empty file stands for the key.
  const QFileInfo info(iniFile_);
  if (!QDir().mkpath(info.absolutePath()))
    throw SettingsError(SettingsError::Reason::Create,
                        Describe(info.absolutePath()) + ": folder not created");
  QFile file(iniFile_);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
    throw SettingsError(SettingsError::Reason::Create,
                        Describe(iniFile_) + ": " + file.errorString().toStdString());
}

int32_t SettingsStore::ReadDevice(QSettings& settings, const QString& name, const NameList& ports,
                                  std::string& portName) const {
  const QVariant value = settings.value(name);
  if (!value.isValid())
    throw SettingsError(SettingsError::Reason::Missing, Describe(name) + ": missing");
  int32_t device = 0;
  if (iniFile_.isEmpty()) {
    // The registry hands a REG_DWORD over as int; anything else has the wrong type.
    if (value.typeId() != QMetaType::Int)
      throw SettingsError(SettingsError::Reason::WrongType, Describe(name) + ": not a REG_DWORD");
    device = value.toInt();
  } else {
    // The file holds text; values written in this process come back as the
    // numbers they were.
    bool ok = false;
    qlonglong number = 0;
    switch (value.typeId()) {
      case QMetaType::QString:
        number = value.toString().toInt(&ok);
        break;
      case QMetaType::Int:
      case QMetaType::LongLong:
        number = value.toLongLong(&ok);
        ok = ok && number >= INT32_MIN && number <= INT32_MAX;
        break;
      default:
        break;
    }
    if (!ok)
      throw SettingsError(SettingsError::Reason::WrongType,
                          Describe(name) + ": not a 32-bit integer");
    device = static_cast<int32_t>(number);
  }

  portName = settings.value(name + kNameSuffix).toString().toStdString();
  if (portName.empty() || !ports) return device;
  return DeviceWatch::Find(ports(), portName, device);
}

void SettingsStore::Load(Values& values) const {
  if (!KeyExists()) {
    values.inputDevice = 0;
    values.outputDevice = 0;
    values.inputName.clear();
    values.outputName.clear();
    values.defaultFolder = QDir::toNativeSeparators(QDir::currentPath());
    if (preferences_) preferences_(values);
    CreateKey();
    return;
  }
  auto settings = Open();
  values.inputDevice = ReadDevice(*settings, kInputDevice, inputNames_, values.inputName);
  values.outputDevice = ReadDevice(*settings, kOutputDevice, outputNames_, values.outputName);
  values.defaultFolder = settings->value(kDefault).toString();
}

void SettingsStore::Save(const Values& values) const {
  auto settings = Open();
  settings->setValue(kInputDevice, static_cast<int>(values.inputDevice));
  settings->setValue(kOutputDevice, static_cast<int>(values.outputDevice));
  const auto writeName = [&settings](const QString& key, const std::string& portName) {
    if (portName.empty())
      settings->remove(key + kNameSuffix);
    else
      settings->setValue(key + kNameSuffix, QString::fromStdString(portName));
  };
  writeName(kInputDevice, values.inputName);
  writeName(kOutputDevice, values.outputName);
  settings->setValue(kDefault, values.defaultFolder);
  settings->sync();
  if (settings->status() != QSettings::NoError)
    throw SettingsError(SettingsError::Reason::Write, Describe(Location()) + ": not written");
}

SettingsStore::Layout SettingsStore::LoadLayout() const {
  Layout layout;
  if (!KeyExists()) return layout;
  std::unique_ptr<QSettings> settings;
  try {
    settings = Open();
  } catch (const SettingsError&) {
    return layout;
  }
  layout.geometry = settings->value(kGeometry).toByteArray();
  layout.splitter = settings->value(kSplitter).toByteArray();
  layout.localSplitter = settings->value(kLocalSplitter).toByteArray();
  layout.kbdSplitter = settings->value(kKbdSplitter).toByteArray();
  bool ok = false;
  const int local = settings->value(kLocalStyle).toInt(&ok);
  if (ok) layout.localStyle = local;
  const int kbd = settings->value(kKbdStyle).toInt(&ok);
  if (ok) layout.kbdStyle = kbd;
  return layout;
}

void SettingsStore::SaveLayout(const Layout& layout) const {
  auto settings = Open();
  settings->setValue(kGeometry, layout.geometry);
  settings->setValue(kSplitter, layout.splitter);
  settings->setValue(kLocalSplitter, layout.localSplitter);
  settings->setValue(kKbdSplitter, layout.kbdSplitter);
  settings->setValue(kLocalStyle, layout.localStyle);
  settings->setValue(kKbdStyle, layout.kbdStyle);
  settings->sync();
  if (settings->status() != QSettings::NoError)
    throw SettingsError(SettingsError::Reason::Write, Describe(Location()) + ": not written");
}
