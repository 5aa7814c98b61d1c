#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "platform/SettingsError.h"
#include "platform/SettingsStore.h"

namespace {

using Values = SettingsStore::Values;

class SettingsStoreTest : public ::testing::Test {
 protected:
  QString Path() const { return dir_.filePath(QStringLiteral("Vardo/Ravlin.ini")); }

  // Writes raw entries the way another run (or a user's editor) left them.
  void Write(std::initializer_list<std::pair<QString, QString>> entries) {
    QSettings raw(Path(), QSettings::IniFormat);
    for (const auto& [key, value] : entries) raw.setValue(key, value);
  }

  static SettingsError::Reason LoadFailure(const SettingsStore& store, Values& values) {
    try {
      store.Load(values);
    } catch (const SettingsError& error) {
      return error.What();
    }
    ADD_FAILURE() << "Load did not throw";
    return SettingsError::Reason::Unreadable;
  }

  QTemporaryDir dir_;
};

TEST_F(SettingsStoreTest, FirstStartShowsPreferencesAndCreatesTheKeyWithoutValues) {
  SettingsStore store(Path());
  Values shown{-5, -5, QStringLiteral("unset")};
  int calls = 0;
  store.SetPreferencesCallback([&](Values& values) {
    ++calls;
    shown = values;
    values.outputDevice = 2;
    values.defaultFolder = QStringLiteral("/music/");
  });

  Values values{7, 7, QStringLiteral("x")};
  store.Load(values);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(shown.inputDevice, 0);
  EXPECT_EQ(shown.outputDevice, 0);
  EXPECT_EQ(shown.defaultFolder, QDir::toNativeSeparators(QDir::currentPath()));
  EXPECT_EQ(values.outputDevice, 2);
  EXPECT_EQ(values.defaultFolder, "/music/");
  EXPECT_TRUE(QFile::exists(Path()));

  // The key exists now but holds no values: a run that ends without saving
  // brings the preferences up again through the load failure.
  Values next;
  EXPECT_EQ(LoadFailure(store, next), SettingsError::Reason::Missing);
  EXPECT_EQ(calls, 1);

  store.Save(values);
  Values saved;
  store.Load(saved);
  EXPECT_EQ(saved.inputDevice, 0);
  EXPECT_EQ(saved.outputDevice, 2);
  EXPECT_EQ(saved.defaultFolder, "/music/");
}

TEST_F(SettingsStoreTest, RoundTripKeepsTheValuesAsHandedOver) {
  SettingsStore store(Path());
  store.Save({3, -1, QStringLiteral("/home/user/Keyboard Data/")});
  Values values;
  store.Load(values);
  EXPECT_EQ(values.inputDevice, 3);
  EXPECT_EQ(values.outputDevice, -1);
  EXPECT_EQ(values.defaultFolder, "/home/user/Keyboard Data/");

  QSettings raw(Path(), QSettings::IniFormat);
  EXPECT_EQ(raw.value("MIDI/InputDevice").toString(), "3");
  EXPECT_EQ(raw.value("MIDI/OutputDevice").toString(), "-1");
  EXPECT_EQ(raw.value("Directory/Default").toString(), "/home/user/Keyboard Data/");
}

TEST_F(SettingsStoreTest, MissingDefaultGivesAnEmptyFolder) {
  Write({{"MIDI/InputDevice", "1"}, {"MIDI/OutputDevice", "2"}});
  SettingsStore store(Path());
  bool prefs = false;
  store.SetPreferencesCallback([&](Values&) { prefs = true; });
  Values values{0, 0, QStringLiteral("initial")};
  store.Load(values);
  EXPECT_EQ(values.inputDevice, 1);
  EXPECT_EQ(values.outputDevice, 2);
  EXPECT_EQ(values.defaultFolder, "");
  EXPECT_FALSE(prefs);
}

TEST_F(SettingsStoreTest, MissingOrMistypedDeviceThrowsAndLeavesUnreadValues) {
  SettingsStore store(Path());

  Write({{"MIDI/OutputDevice", "2"}, {"Directory/Default", "/data/"}});
  Values values{0, 0, QString()};
  EXPECT_EQ(LoadFailure(store, values), SettingsError::Reason::Missing);
  EXPECT_EQ(values.outputDevice, 0);
  EXPECT_EQ(values.defaultFolder, "");

  QFile::remove(Path());
  Write({{"MIDI/InputDevice", "4"}, {"Directory/Default", "/data/"}});
  values = Values{};
  EXPECT_EQ(LoadFailure(store, values), SettingsError::Reason::Missing);
  EXPECT_EQ(values.inputDevice, 4);  // read before the failure
  EXPECT_EQ(values.outputDevice, 0);

  for (const char* bad : {"abc", "4294967296", "1.5", ""}) {
    QFile::remove(Path());
    Write({{"MIDI/InputDevice", bad}, {"MIDI/OutputDevice", "1"}});
    values = Values{};
    EXPECT_EQ(LoadFailure(store, values), SettingsError::Reason::WrongType) << bad;
  }
}

TEST_F(SettingsStoreTest, RenumberedPortIsFoundAgainByName) {
  const std::string builtIn = "TRV-408 Simulator (built-in)";
  std::vector<std::string> inputs{"USB MIDI In", builtIn};
  std::vector<std::string> outputs{"Midi Through", "USB MIDI Out", builtIn};
  SettingsStore store(Path());
  store.SetDeviceLists([&] { return inputs; }, [&] { return outputs; });
  store.Save({0, 1, QStringLiteral("/"), "USB MIDI In", "USB MIDI Out"});

  // Another device came in front of both ports.
  inputs.insert(inputs.begin(), "Synth In");
  outputs.insert(outputs.begin(), "Synth Out");
  Values values;
  store.Load(values);
  EXPECT_EQ(values.inputDevice, 1);
  EXPECT_EQ(values.outputDevice, 2);
  EXPECT_EQ(values.inputName, "USB MIDI In");

  // The port is gone: a number that opens nothing, never the port that now
  // has its old number, the built-in simulator included. Saved again, at
  // whatever number, the name is kept for when it is back.
  QSettings raw(Path(), QSettings::IniFormat);
  for (const std::vector<std::string>& gone :
       {std::vector<std::string>{builtIn}, {"Synth In", builtIn}, {"Synth In", "Other", builtIn}}) {
    inputs = gone;
    store.Load(values);
    EXPECT_EQ(values.inputDevice, -1);
    EXPECT_EQ(values.inputName, "USB MIDI In");
    store.Save(values);
    values.inputDevice = 0;
    store.Save(values);
    raw.sync();
    EXPECT_EQ(raw.value("MIDI/InputDeviceName").toString(), "USB MIDI In") << gone.size();
  }
  inputs = {"Synth In", builtIn, "USB MIDI In"};
  store.Load(values);
  EXPECT_EQ(values.inputDevice, 2);

  // No name known: none is kept, the number alone counts.
  store.Save({-1, 2, QStringLiteral("/"), "", "USB MIDI Out"});
  raw.sync();
  EXPECT_FALSE(raw.contains("MIDI/InputDeviceName"));
  EXPECT_EQ(raw.value("MIDI/OutputDeviceName").toString(), "USB MIDI Out");
  store.Load(values);
  EXPECT_EQ(values.inputDevice, -1);
  EXPECT_EQ(values.inputName, "");
}

TEST_F(SettingsStoreTest, StoreThatCannotBeWrittenFails) {
  QFile blocker(dir_.filePath(QStringLiteral("blocker")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  SettingsStore store(blocker.fileName() + QStringLiteral("/Ravlin.ini"));
  bool prefs = false;
  store.SetPreferencesCallback([&](Values&) { prefs = true; });
  Values values;
  EXPECT_EQ(LoadFailure(store, values), SettingsError::Reason::Create);
  EXPECT_TRUE(prefs);
  EXPECT_THROW(store.Save(values), SettingsError);
}

}  // namespace
