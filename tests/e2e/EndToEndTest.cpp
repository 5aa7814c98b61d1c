// ravlin-cli against trv408-sim over JACK: every command that talks to the
// keyboard, checked against the memory file the simulator keeps.

#include <QJsonArray>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <sstream>
#include <thread>

#include "E2eTest.h"
#include "files/QnData.h"
#include "platform/midi/JackMidiService.h"

namespace {

using sim::SlotId;
using sim::SlotKind;

struct Slot {
  std::string address;
  SlotId id;
  uint16_t type;
};

// Every slot of the keyboard, as the tool addresses it.
std::vector<Slot> AllSlots() {
  std::vector<Slot> all;
  for (int s = 0; s < 10; ++s)
    all.push_back({"tone/" + std::to_string(s), {SlotKind::Tone, 0, s}, QnData::kTypeTone});
  for (int s = 0; s < 10; ++s)
    all.push_back({"dsp/" + std::to_string(s), {SlotKind::Dsp, 0, s}, QnData::kTypeDsp});
  for (int b = 0; b < 4; ++b) {
    for (int s = 0; s < 4; ++s) {
      all.push_back({"reg/" + std::to_string(b) + "/" + std::to_string(s),
                     {SlotKind::Registration, b, s},
                     QnData::kTypeRegistration});
    }
  }
  for (int s = 0; s < 2; ++s)
    all.push_back({"song/" + std::to_string(s), {SlotKind::Song, 0, s}, QnData::kTypeSong});
  for (int s = 0; s < 4; ++s)
    all.push_back({"rhythm/" + std::to_string(s), {SlotKind::Rhythm, 0, s}, QnData::kTypeRhythm});
  return all;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The number `devices` gives the port in this direction, or -1.
int PortNumber(const std::string& devices, const std::string& direction, const std::string& name) {
  for (const std::string& line : Lines(devices)) {
    const size_t first = line.find('\t');
    const size_t second = line.find('\t', first + 1);
    if (second == std::string::npos || line.substr(0, first) != direction) continue;
    if (line.substr(second + 1) == name) return std::stoi(line.substr(first + 1, second - first));
  }
  return -1;
}

std::string NameInData(const std::vector<uint8_t>& data, size_t offset) {
  return std::string(data.begin() + static_cast<std::ptrdiff_t>(offset),
                     data.begin() + static_cast<std::ptrdiff_t>(offset + 8));
}

class EndToEndTest : public E2eTest {
 protected:
  // A keyboard whose every slot differs from the demo: random data under
  // names of their own, a song and rhythms of sizes around the block size,
  // one song and one rhythm empty.
  std::filesystem::path OwnMemory(const std::string& name) {
    return WriteMemory(name, [this](sim::Trv408& keyboard) {
      for (int s = 0; s < 10; ++s) {
        keyboard.SetItem({SlotKind::Tone, 0, s},
                         RandomItem(SlotKind::Tone, 60, "Tone #" + std::to_string(s) + "!"));
        keyboard.SetItem({SlotKind::Dsp, 0, s},
                         RandomItem(SlotKind::Dsp, 36, "Dsp  #" + std::to_string(s) + "?"));
      }
      for (int b = 0; b < 4; ++b) {
        for (int s = 0; s < 4; ++s) {
          keyboard.SetItem({SlotKind::Registration, b, s},
                           RandomItem(SlotKind::Registration, 176, ""));
        }
      }
      keyboard.SetItem({SlotKind::Song, 0, 0}, RandomItem(SlotKind::Song, 4100, "LongSong"));
      keyboard.Clear({SlotKind::Song, 0, 1});
      keyboard.Clear({SlotKind::Rhythm, 0, 0});
      keyboard.SetItem({SlotKind::Rhythm, 0, 1}, RandomItem(SlotKind::Rhythm, 128, "OneBlock"));
      keyboard.SetItem({SlotKind::Rhythm, 0, 2}, RandomItem(SlotKind::Rhythm, 130, "Block+1w"));
      keyboard.SetItem({SlotKind::Rhythm, 0, 3}, RandomItem(SlotKind::Rhythm, 2, ""));
    });
  }
};

TEST_F(EndToEndTest, DevicesListsTheSimulatorsPortsWhileItRuns) {
  SimProcess& sim = StartSim();
  const CliResult running = Run({"devices"});
  ASSERT_EQ(running.status, 0) << running.err;
  // The simulator's output is one of the program's inputs, and the other way round.
  EXPECT_GE(PortNumber(running.out, "in", sim.OutputPort()), 0) << running.out;
  EXPECT_GE(PortNumber(running.out, "out", sim.InputPort()), 0) << running.out;
  EXPECT_EQ(PortNumber(running.out, "in", sim.InputPort()), -1) << running.out;
  // The tool's own JACK client is not offered as a device.
  EXPECT_EQ(running.out.find("ravlin-cli"), std::string::npos) << running.out;
  const std::vector<std::string> lines = Lines(running.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().substr(lines.back().rfind('\t') + 1), "TRV-408 Simulator (built-in)");

  sim.Stop();
  const CliResult stopped = Run({"devices"});
  ASSERT_EQ(stopped.status, 0) << stopped.err;
  EXPECT_EQ(stopped.out.find(sim.Name()), std::string::npos) << stopped.out;
}

// While a port is open the service's client runs and keeps its lists: the
// server's word that ports came or went must reach them.
TEST_F(EndToEndTest, PortsThatComeAndGoWhileAPortIsOpenReachTheLists) {
  SimProcess& first = StartSim();
  JackMidiService service("E2E Watch");
  ASSERT_TRUE(service.Works());
  const auto has = [&service](const std::string& port) {
    const std::vector<std::string> names = service.InputNames();
    return std::find(names.begin(), names.end(), port) != names.end();
  };
  const std::vector<std::string> outputs = service.OutputNames();
  const auto at = std::find(outputs.begin(), outputs.end(), first.InputPort());
  ASSERT_NE(at, outputs.end());
  std::unique_ptr<MidiOutPort> out;
  ASSERT_EQ(service.OpenOut(static_cast<unsigned>(at - outputs.begin()), out), midi_result::kOk);
  const auto waitFor = [&has](const std::string& port, bool listed) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (has(port) != listed && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return has(port) == listed;
  };
  SimProcess& second = StartSim();
  EXPECT_TRUE(waitFor(second.OutputPort(), true));
  second.Stop();
  EXPECT_TRUE(waitFor(second.OutputPort(), false));
}

TEST_F(EndToEndTest, PortsAreChosenByNumberByWholeNameOrByAnyPartInAnyCase) {
  UsePrivateServer();
  SimProcess& demo = StartSim();
  SimProcess& own = StartSim({}, OwnMemory("own.mem"));
  auto firstTone = [](const std::string& listText) {
    for (const std::string& line : Lines(listText)) {
      if (line.rfind("tone/0 ", 0) == 0) return line.substr(line.size() - 8);
    }
    return std::string();
  };

  const std::string devices = Run({"devices"}).out;
  const int in = PortNumber(devices, "in", demo.OutputPort());
  const int out = PortNumber(devices, "out", demo.InputPort());
  ASSERT_GE(in, 0) << devices;
  ASSERT_GE(out, 0) << devices;
  const CliResult byNumber =
      Run({"--in", std::to_string(in), "--out", std::to_string(out), "list"});
  EXPECT_EQ(byNumber.status, 0) << byNumber.err;
  EXPECT_EQ(firstTone(byNumber.out), "Piano 1 ");

  const CliResult byWholeName = Run({"--in", own.OutputPort(), "--out", own.InputPort(), "list"});
  EXPECT_EQ(byWholeName.status, 0) << byWholeName.err;
  EXPECT_EQ(firstTone(byWholeName.out), "Tone #0!");

  const CliResult byPart = Run({"--in", Lower(demo.Name()), "--out", Lower(demo.Name()), "list"});
  EXPECT_EQ(byPart.status, 0) << byPart.err;
  EXPECT_EQ(firstTone(byPart.out), "Piano 1 ");

  // A part that both simulators' names share picks neither.
  const std::string shared = demo.Name().substr(0, demo.Name().find('-') + 1);
  const CliResult ambiguous = Run({"--in", shared, "--out", own.Name(), "list"});
  EXPECT_EQ(ambiguous.status, 2);
  EXPECT_NE(ambiguous.err.find("is part of several port names"), std::string::npos)
      << ambiguous.err;
  const CliResult unknown = Run({"--in", demo.Name() + " X", "--out", demo.Name(), "list"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("no port name contains"), std::string::npos) << unknown.err;

  // Asking one keyboard and listening to the other: the answer goes where
  // nobody listens.
  const CliResult crossed = Run({"--in", own.Name(), "--out", demo.Name(), "free"});
  ExpectFailure(crossed, "ravlin-cli: keyboard (in: " + own.OutputPort() +
                             ", out: " + demo.InputPort() + "): MIDI Timeout");
  Ok(demo, {"free"});
}

TEST_F(EndToEndTest, ListShowsWhatTheKeyboardHolds) {
  SimProcess& sim = StartSim({}, OwnMemory("own.mem"));
  const QJsonObject list = Json(sim, "list");
  const std::unique_ptr<sim::Trv408> memory = Memory(sim);
  for (const Slot& slot : AllSlots()) {
    SCOPED_TRACE(slot.address);
    const QJsonObject json = SlotJson(list, slot.address);
    const std::vector<uint8_t> data = memory->Item(slot.id);
    EXPECT_EQ(json["present"].toBool(), !data.empty());
    EXPECT_EQ(json["size"].toInteger(), static_cast<qint64>(data.size()));
    EXPECT_EQ(json["type"].toInt(), slot.type);
    const size_t offset = slot.type == QnData::kTypeTone     ? 36
                          : slot.type == QnData::kTypeSong   ? 4
                          : slot.type == QnData::kTypeRhythm ? 2
                                                             : 0;
    if (slot.type != QnData::kTypeRegistration && data.size() >= offset + 8) {
      EXPECT_EQ(json["name"].toString().toStdString(), NameInData(data, offset));
    }
  }
  const QJsonObject free = Json(sim, "free");
  const QJsonObject songRhythm = free["drives"].toArray().last().toObject();
  EXPECT_EQ(songRhythm["name"].toString(), "Song Rhythm:");
  EXPECT_EQ(songRhythm["free"].toInteger(), memory->FreeBytes());
  EXPECT_EQ(songRhythm["capacity"].toInteger(), 21504);
}

TEST_F(EndToEndTest, ImportWritesEveryTypeByteForByte) {
  SimProcess& sim = StartSim({}, OwnMemory("own.mem"));
  const std::unique_ptr<sim::Trv408> memory = Memory(sim);
  std::filesystem::create_directory(Path("imports"));
  const std::vector<std::pair<Slot, std::string>> cases{
      {{"tone/4", {SlotKind::Tone, 0, 4}, QnData::kTypeTone}, "TON_Tone #4!.lqd"},
      {{"dsp/7", {SlotKind::Dsp, 0, 7}, QnData::kTypeDsp}, "DSP_Dsp  #7?.lqd"},
      {{"reg/2/1", {SlotKind::Registration, 2, 1}, QnData::kTypeRegistration}, ""},
      {{"song/0", {SlotKind::Song, 0, 0}, QnData::kTypeSong}, "SNG_LongSong.lqd"},
      {{"rhythm/2", {SlotKind::Rhythm, 0, 2}, QnData::kTypeRhythm}, "RHY_Block+1w.lqd"},
  };
  for (const auto& [slot, fileName] : cases) {
    SCOPED_TRACE(slot.address);
    std::string printed = Ok(sim, {"import", slot.address, Path("imports").string()});
    ASSERT_FALSE(printed.empty());
    printed.pop_back();
    if (!fileName.empty()) {
      EXPECT_EQ(printed, Path("imports/" + fileName).string());
    }
    const std::vector<uint8_t> file = ReadBytes(printed);
    ASSERT_GE(file.size(), 64u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 15), "VARDO Music Lib");
    EXPECT_EQ(file[22] << 8 | file[23], slot.type);
    EXPECT_EQ(DataPart(file), memory->Item(slot.id));
  }
}

TEST_F(EndToEndTest, SendPutsEveryTypeIntoItsSlotByteForByte) {
  SimProcess& sim = StartSim();
  struct Case {
    Slot slot;
    size_t size;
    std::string name;
  };
  const std::vector<Case> cases{
      {{"tone/9", {SlotKind::Tone, 0, 9}, QnData::kTypeTone}, 60, "NewTone9"},
      {{"dsp/0", {SlotKind::Dsp, 0, 0}, QnData::kTypeDsp}, 36, "NewDsp 0"},
      {{"reg/3/3", {SlotKind::Registration, 3, 3}, QnData::kTypeRegistration}, 176, ""},
      {{"song/1", {SlotKind::Song, 0, 1}, QnData::kTypeSong}, 8450, "NewSong1"},
      {{"rhythm/2", {SlotKind::Rhythm, 0, 2}, QnData::kTypeRhythm}, 1282, "NewRhy 2"},
      {{"song/0", {SlotKind::Song, 0, 0}, QnData::kTypeSong}, 12, "Tiny   0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slot.address);
    const std::vector<uint8_t> data = RandomItem(c.slot.id.kind, c.size, c.name);
    const std::filesystem::path file =
        WriteLqd(c.slot.address.substr(0, 3) + ".lqd", c.slot.type, data);
    EXPECT_EQ(Ok(sim, {"send", file.string(), c.slot.address}),
              file.string() + " -> " + c.slot.address + "\n");
    EXPECT_EQ(Memory(sim)->Item(c.slot.id), data);

    const QJsonObject json = SlotJson(Json(sim, "list"), c.slot.address);
    EXPECT_TRUE(json["present"].toBool());
    EXPECT_EQ(json["size"].toInteger(), static_cast<qint64>(c.size));
    if (!c.name.empty()) {
      EXPECT_EQ(json["name"].toString().toStdString(), c.name);
    }

    std::filesystem::create_directories(Path("back"));
    std::string printed = Ok(sim, {"import", c.slot.address, Path("back").string()});
    ASSERT_FALSE(printed.empty());
    printed.pop_back();
    EXPECT_EQ(DataPart(ReadBytes(printed)), data);
    std::filesystem::remove(printed);
  }
}

TEST_F(EndToEndTest, DeleteEmptiesASongOrARhythm) {
  SimProcess& sim = StartSim({}, OwnMemory("own.mem"));
  const uint32_t freeBefore = Memory(sim)->FreeBytes();
  Ok(sim, {"delete", "song/0"});
  Ok(sim, {"delete", "rhythm/1"});

  const std::unique_ptr<sim::Trv408> memory = Memory(sim);
  EXPECT_TRUE(memory->Item({SlotKind::Song, 0, 0}).empty());
  EXPECT_TRUE(memory->Item({SlotKind::Rhythm, 0, 1}).empty());
  EXPECT_EQ(memory->Item({SlotKind::Rhythm, 0, 2}).size(), 130u);
  EXPECT_EQ(memory->FreeBytes(), freeBefore + 4100 + 128);

  const QJsonObject list = Json(sim, "list");
  EXPECT_FALSE(SlotJson(list, "song/0")["present"].toBool());
  EXPECT_FALSE(SlotJson(list, "rhythm/1")["present"].toBool());
  EXPECT_EQ(SlotJson(list, "song/0")["name"].toString(), "Song 0");
  EXPECT_EQ(SlotJson(list, "rhythm/1")["name"].toString(), "User 1");
  EXPECT_TRUE(SlotJson(list, "rhythm/2")["present"].toBool());
}

TEST_F(EndToEndTest, BackupThenRestoreGivesBackTheSameMemory) {
  SimProcess& sim = StartSim({}, OwnMemory("own.mem"));
  const std::string original = ReadText(MemoryFile(sim));
  const std::string printed = Ok(sim, {"backup", Path("backup").string()});
  // Every slot that holds data, and no file for an empty one.
  EXPECT_EQ(Lines(printed).size(), 42u - 2u) << printed;
  EXPECT_FALSE(std::filesystem::exists(Path("backup/song-1.lqd")));

  // Every kind changed: new data in fixed slots, a song gone, a rhythm of
  // another size.
  Ok(sim, {"send",
           WriteLqd("t.lqd", QnData::kTypeTone, RandomItem(SlotKind::Tone, 60, "Changed")).string(),
           "tone/0"});
  Ok(sim, {"send",
           WriteLqd("d.lqd", QnData::kTypeDsp, RandomItem(SlotKind::Dsp, 36, "Changed")).string(),
           "dsp/5"});
  Ok(sim, {"send",
           WriteLqd("r.lqd", QnData::kTypeRegistration, RandomItem(SlotKind::Registration, 176, ""))
               .string(),
           "reg/1/2"});
  Ok(sim, {"delete", "song/0"});
  Ok(sim, {"send",
           WriteLqd("y.lqd", QnData::kTypeRhythm, RandomItem(SlotKind::Rhythm, 3000, "Changed"))
               .string(),
           "rhythm/2"});
  ASSERT_NE(ReadText(MemoryFile(sim)), original);

  Ok(sim, {"restore", Path("backup").string()});
  EXPECT_EQ(ReadText(MemoryFile(sim)), original);

  Ok(sim, {"backup", Path("again").string()});
  for (const auto& entry : std::filesystem::directory_iterator(Path("backup"))) {
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(ReadBytes(Path("again") / entry.path().filename()), ReadBytes(entry.path()));
  }
  // The files and the marker that says the backup is complete.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("again")),
                          std::filesystem::directory_iterator()),
            41);
}

}  // namespace

// Detection asks every port: only a well-formed answer from a TRV-408 pairs
// an input with an output; an echo, silence and another keyboard type do not.
TEST_F(EndToEndTest, DetectFindsTheKeyboardsAmongDecoys) {
  UsePrivateServer();
  StartSim({"--fault", "echo:0"});
  StartSim({"--fault", "no-answer:0"});
  StartSim({"--type", "1"});
  const CliResult none = Run({"detect"});
  ExpectFailure(none, "ravlin-cli: No keyboard found");
  EXPECT_EQ(none.out, "");

  SimProcess& first = StartSim();
  const std::string devices = Run({"devices"}).out;
  const auto line = [&](const SimProcess& sim) {
    return std::to_string(PortNumber(devices, "in", sim.OutputPort())) + "\t" + sim.OutputPort() +
           "\t" + std::to_string(PortNumber(devices, "out", sim.InputPort())) + "\t" +
           sim.InputPort() + "\t0";
  };
  const CliResult one = Run({"detect"});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(Lines(one.out), std::vector<std::string>{line(first)});
  const CliResult json = Run({"detect", "--json"});
  EXPECT_EQ(json.out,
            "{\"keyboards\":[{\"in\":{\"name\":\"" + first.OutputPort() +
                "\",\"number\":" + std::to_string(PortNumber(devices, "in", first.OutputPort())) +
                "},\"out\":{\"name\":\"" + first.InputPort() +
                "\",\"number\":" + std::to_string(PortNumber(devices, "out", first.InputPort())) +
                "},\"type\":0}]}\n");

  SimProcess& second = StartSim();
  const std::string both = Run({"detect"}).out;
  EXPECT_EQ(Lines(both).size(), 2u) << both;
  EXPECT_NE(both.find(second.OutputPort() + "\t"), std::string::npos) << both;
  EXPECT_NE(both.find(first.OutputPort() + "\t"), std::string::npos) << both;
}
