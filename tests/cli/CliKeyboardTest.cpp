#include <sys/syscall.h>

#include <QJsonArray>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <utility>

#include "CliTestBase.h"
#include "WireLog.h"
#include "platform/midi/MidiSystem.h"
#include "sim/Trv408.h"

namespace {

using sim::SlotId;
using sim::SlotKind;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

uint32_t BigEndian(const std::vector<uint8_t>& bytes, size_t offset, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count; ++i) value = (value << 8) | bytes[offset + i];
  return value;
}

std::vector<uint8_t> DataPart(const std::vector<uint8_t>& file) {
  return file.size() < 64 ? std::vector<uint8_t>{}
                          : std::vector<uint8_t>(file.begin() + 64, file.end());
}

class CliKeyboardTest : public CliTestBase {
 protected:
  void SetUp() override {
    CliTestBase::SetUp();
    Ok({"free"});  // the simulator writes its demo memory
  }

  // The lines of `devices`, checked: inputs, then outputs, each numbered from 0,
  // the built-in simulator last.
  static void ReadDevices(const std::vector<std::string>& lines, std::vector<std::string>& inputs,
                          std::vector<std::string>& outputs);

  // A song data file of `size` bytes; returns its path.
  std::string SongFile(const std::string& name, uint32_t size) {
    std::vector<uint8_t> file(64 + size, 0);
    const char signature[] = "VARDO Music Lib";
    std::copy(signature, signature + 16, file.begin());
    for (int i = 0; i < 4; ++i) file[16 + i] = static_cast<uint8_t>(size >> (24 - 8 * i));
    file[23] = 10;
    const std::string dataName = "BigSong ";
    std::copy(dataName.begin(), dataName.end(), file.begin() + 64 + 4);
    WriteBytes(Path(name), file);
    return PathText(name);
  }

  // Imports a slot into the test folder and returns the path printed.
  std::string Import(const std::string& address, const std::string& folder = "") {
    const std::string target = folder.empty() ? dir_.string() : folder;
    return Trimmed(Ok({"import", address, target}));
  }
};

// The machine's MIDI service is shared with other tests, whose ports come and
// go: a port number is used at once, and the list read again if it changed.
TEST_F(CliKeyboardTest, DevicesListsInputsThenOutputsWithTheBuiltInSimulatorLast) {
  cli_.SetEnv("RAVLIN_MIDI_API", std::nullopt);  // whatever MIDI service the machine has
  for (int attempt = 0;; ++attempt) {
    const std::string listed = Ok({"devices"});
    const std::vector<std::string> lines = Lines(listed);
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    ReadDevices(lines, inputs, outputs);
    // The same port by its number and by a part of its name.
    const CliResult byNumber = Cli({"--in", std::to_string(inputs.size() - 1), "--out",
                                    std::to_string(outputs.size() - 1), "free"});
    if (byNumber.status != 0 && attempt < 5 && Ok({"devices"}) != listed) continue;
    EXPECT_EQ(byNumber.status, 0) << byNumber.err;
    break;
  }
  Ok({"--in", "sIMULATOR (BUILT", "--out", "built-in", "free"});
}

void CliKeyboardTest::ReadDevices(const std::vector<std::string>& lines,
                                  std::vector<std::string>& inputs,
                                  std::vector<std::string>& outputs) {
  for (const std::string& line : lines) {
    // in<TAB>N<TAB>NAME or out<TAB>N<TAB>NAME
    const size_t first = line.find('\t');
    const size_t second = line.find('\t', first + 1);
    ASSERT_NE(second, std::string::npos) << line;
    const std::string direction = line.substr(0, first);
    ASSERT_TRUE(direction == "in" || direction == "out") << line;
    if (direction == "in") {
      ASSERT_TRUE(outputs.empty()) << "an input after the outputs";
    }
    std::vector<std::string>& ports = direction == "in" ? inputs : outputs;
    EXPECT_EQ(line.substr(first + 1, second - first - 1), std::to_string(ports.size())) << line;
    ports.push_back(line.substr(second + 1));
  }
  ASSERT_FALSE(inputs.empty());
  ASSERT_FALSE(outputs.empty());
  EXPECT_EQ(inputs.back(), MidiSystem::kBuiltInName);
  EXPECT_EQ(outputs.back(), MidiSystem::kBuiltInName);
}

TEST_F(CliKeyboardTest, ListPrintsEverySlotInAnAlignedTable) {
  const std::vector<std::string> lines = Lines(Ok({"list"}));
  ASSERT_EQ(lines.size(), 43u);  // a heading and 42 slots
  const size_t typeColumn = lines[0].find("TYPE");
  const size_t sizeEnd = lines[0].find("SIZE") + 4;
  ASSERT_NE(typeColumn, std::string::npos);
  for (const std::string& line : lines) {
    ASSERT_GT(line.size(), sizeEnd);
    EXPECT_EQ(line[typeColumn - 1], ' ') << line;
    EXPECT_NE(line[typeColumn], ' ') << line;
    EXPECT_NE(line[sizeEnd - 1], ' ') << line;  // sizes align to the right
    EXPECT_EQ(line[sizeEnd], ' ') << line;
  }
  const auto row = [&](const std::string& address) {
    auto found = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.rfind(address + " ", 0) == 0;
    });
    return found == lines.end() ? std::string() : *found;
  };
  EXPECT_NE(row("reg/2/3").find("Registration:\\Bank2\\"), std::string::npos);
  EXPECT_NE(row("reg/2/3").find("176byte(s)"), std::string::npos);
  EXPECT_NE(row("reg/2/3").find("Preset2-4"), std::string::npos);
  EXPECT_NE(row("tone/0").find("Tone:\\"), std::string::npos);
  EXPECT_NE(row("song/1").find("empty"), std::string::npos);
  EXPECT_NE(row("song/1").find("Song 1"), std::string::npos);
  EXPECT_NE(row("rhythm/3").find("User 3"), std::string::npos);
}

TEST_F(CliKeyboardTest, ListJsonFollowsTheKeyboardTree) {
  const QJsonObject list = ListJson();
  EXPECT_EQ(list["model"].toString(), "TRV-408");
  const QJsonArray drives = list["drives"].toArray();
  ASSERT_EQ(drives.size(), 4);
  const char* names[] = {"Tone:", "DSP:", "Registration:", "Song Rhythm:"};
  const int capacities[] = {600, 360, 2816, 21504};
  const auto memory = Memory();
  for (int i = 0; i < 4; ++i) {
    const QJsonObject drive = drives[i].toObject();
    EXPECT_EQ(drive["name"].toString(), names[i]);
    EXPECT_EQ(drive["capacity"].toInt(), capacities[i]);
    const int free = i == 3 ? static_cast<int>(memory->FreeBytes()) : 0;
    EXPECT_EQ(drive["free"].toInt(), free);
    EXPECT_EQ(drive["used"].toInt(), capacities[i] - free);
  }

  const QJsonArray tones = drives[0].toObject()["entries"].toArray();
  ASSERT_EQ(tones.size(), 10);
  for (int s = 0; s < 10; ++s) {
    const QJsonObject tone = tones[s].toObject();
    EXPECT_EQ(tone["address"].toString(), QString("tone/%1").arg(s));
    EXPECT_EQ(tone["type"].toInt(), 2);
    EXPECT_EQ(tone["bank"].toInt(), 0);
    EXPECT_EQ(tone["slot"].toInt(), s);
    EXPECT_TRUE(tone["present"].toBool());
    EXPECT_EQ(tone["size"].toInt(), 60);
    EXPECT_EQ(tone["name"].toString().size(), 8);  // trailing blanks kept
  }

  const QJsonArray banks = drives[2].toObject()["entries"].toArray();
  ASSERT_EQ(banks.size(), 4);
  for (int b = 0; b < 4; ++b) {
    const QJsonObject bank = banks[b].toObject();
    EXPECT_EQ(bank["folder"].toString(), QString("Bank%1").arg(b));
    EXPECT_TRUE(bank["present"].toBool());
    const QJsonArray bankSlots = bank["entries"].toArray();
    ASSERT_EQ(bankSlots.size(), 4);
    const QJsonObject slot = bankSlots[3].toObject();
    EXPECT_EQ(slot["address"].toString(), QString("reg/%1/3").arg(b));
    EXPECT_EQ(slot["type"].toInt(), 12);
    EXPECT_EQ(slot["bank"].toInt(), b);
    EXPECT_EQ(slot["slot"].toInt(), 3);
    EXPECT_EQ(slot["name"].toString(), QString("Preset%1-4").arg(b));
  }

  const QJsonArray folders = drives[3].toObject()["entries"].toArray();
  ASSERT_EQ(folders.size(), 2);
  EXPECT_EQ(folders[0].toObject()["folder"].toString(), "Song");
  EXPECT_EQ(folders[1].toObject()["folder"].toString(), "Rhythm");
  const QJsonArray songs = folders[0].toObject()["entries"].toArray();
  const QJsonArray rhythms = folders[1].toObject()["entries"].toArray();
  ASSERT_EQ(songs.size(), 2);
  ASSERT_EQ(rhythms.size(), 4);
  for (int s = 0; s < 4; ++s) {
    const QJsonObject rhythm = rhythms[s].toObject();
    const size_t size = memory->Item({SlotKind::Rhythm, 0, s}).size();
    EXPECT_EQ(rhythm["address"].toString(), QString("rhythm/%1").arg(s));
    EXPECT_EQ(rhythm["type"].toInt(), 11);
    EXPECT_EQ(rhythm["present"].toBool(), size != 0);
    EXPECT_EQ(rhythm["size"].toInt(), static_cast<int>(size));
    if (size == 0) {
      EXPECT_EQ(rhythm["name"].toString(), QString("User %1").arg(s));
    }
  }
  EXPECT_EQ(songs[1].toObject()["address"].toString(), "song/1");
}

// A Get List logged: each request, then the answer it took, with its meaning;
// one exchange per name half, size and free space read.
TEST_F(CliKeyboardTest, LogShowsEveryExchangeOfAGetList) {
  const std::string log = PathText("wire.log");
  Ok({"--log", log, "list"});
  std::ifstream in(log);
  std::vector<std::vector<std::string>> lines;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    ASSERT_EQ(fields.size(), 4u) << line;
    lines.push_back(fields);
  }

  int presentSongsAndRhythms = 0;
  const QJsonArray songRhythm = ListJson()["drives"].toArray()[3].toObject()["entries"].toArray();
  for (const auto folder : songRhythm) {
    for (const auto slot : folder.toObject()["entries"].toArray())
      presentSongsAndRhythms += slot.toObject()["present"].toBool();
  }
  ASSERT_EQ(lines.size(), 2u * (51 + 2 * presentSongsAndRhythms));
  EXPECT_EQ(lines[0][0], "0.000000");
  EXPECT_EQ(lines[0][3], "read parameter 0x00 (keyboard type)");
  EXPECT_EQ(lines[1][3], "value of parameter 0x00 (keyboard type): 0");
  double previous = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const bool request = i % 2 == 0;
    EXPECT_EQ(lines[i][1], request ? ">" : "<") << i;
    EXPECT_EQ(lines[i][3].rfind(request ? "read parameter" : "value of parameter", 0), 0u)
        << lines[i][3];
    EXPECT_EQ(lines[i][0].size() - lines[i][0].find('.'), 7u) << lines[i][0];
    EXPECT_GE(std::stod(lines[i][0]), previous);
    previous = std::stod(lines[i][0]);
  }
}

// The wire of each command on the demo memory against its recording in
// tests/data/wire: the same messages in the same order, byte for byte, but
// for the differences named in kAllowedWireDifferences. The tool itself runs,
// so that the check holds whatever carries the exchanges beneath it; on a
// fault-free keyboard its log and the simulator's carry the same messages.
// RAVLIN_WIRE_RECORD=1 writes the recordings afresh from this build instead.
const std::vector<WireLog::Allowance> kAllowedWireDifferences;

TEST_F(CliKeyboardTest, EachCommandKeepsTheWireOfItsRecording) {
  const bool record = std::getenv("RAVLIN_WIRE_RECORD") != nullptr;
  const std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
      {"list", {"list"}},
      {"import", {"import", "song/0", PathText("")}},
      {"send", {"send", PathText("SNG_DemoSong.lqd"), "song/1"}},
      {"delete", {"delete", "rhythm/0"}},
      {"backup", {"backup", PathText("backup")}},
      {"restore", {"restore", PathText("backup")}},
  };
  for (const auto& [name, arguments] : commands) {
    SCOPED_TRACE(name);
    const std::string log = PathText(name + ".log");
    // A keep would read each slot before it is replaced, beyond the recording.
    std::vector<std::string> line = {"--no-keep", "--log", log};
    line.insert(line.end(), arguments.begin(), arguments.end());
    Ok(line);

    const std::string reference = std::string(RAVLIN_WIRE_DIR) + "/" + name + ".txt";
    if (record) {
      WireLog::Write(reference, WireLog::Read(log));
      continue;
    }
    const std::vector<WireLog::Line> expected = WireLog::Read(reference);
    ASSERT_FALSE(expected.empty()) << reference;
    const WireLog::Comparison comparison =
        WireLog::Compare(expected, WireLog::Read(log), kAllowedWireDifferences);
    EXPECT_EQ(comparison.difference, "");
    for (const std::string& allowance : comparison.allowancesUsed) {
      RecordProperty(name, allowance);
    }
  }
}

// The allowances stay empty until the engine needs them; a comparison must
// still pass over only the lines one of them names, on its own side.
TEST(WireLogTest, OnlyANamedAllowanceLetsTheLogsPart) {
  using Line = WireLog::Line;
  const Line read{'>', "F0 01 F7"};
  const Line value{'<', "F0 02 F7"};
  const Line write{'>', "F0 03 F7"};
  const Line stray{'<', "F0 7E F7"};
  const WireLog::Allowance strays{"stray", false, [](const std::vector<Line>& lines, size_t i) {
                                    return lines[i].hex == "F0 7E F7";
                                  }};
  const WireLog::Allowance repeatedRead{
      "repeated read", true,
      [](const std::vector<Line>& lines, size_t i) { return i >= 2 && lines[i] == lines[i - 2]; }};
  struct Case {
    std::vector<Line> log;
    std::vector<WireLog::Allowance> allowances;
    std::string difference;
    std::vector<std::string> used;
  };
  const std::vector<Line> reference = {read, value, read, value, write};
  const std::vector<Case> cases = {
      {{read, value, read, value, write}, {}, "", {}},
      {{read, value, read, write, value},
       {strays},
       "message 4 of the reference is < F0 02 F7, message 4 of the log > F0 03 F7",
       {}},
      {{read, value, read, value},
       {},
       "message 5 of the reference is > F0 03 F7, message 5 of the log the end",
       {}},
      {{read, stray, value, read, value, write},
       {},
       "message 2 of the reference is < F0 02 F7, message 2 of the log < F0 7E F7",
       {}},
      {{read, stray, value, read, value, write}, {strays}, "", {"stray"}},
      {{read, value, write},
       {strays},
       "message 3 of the reference is > F0 01 F7, message 3 of the log > F0 03 F7",
       {}},
      {{read, value, write}, {repeatedRead}, "", {"repeated read", "repeated read"}},
      // An allowance of the reference's side does not excuse a line of the log.
      {{read, value, read, value, read, value, write},
       {repeatedRead},
       "message 5 of the reference is > F0 03 F7, message 5 of the log > F0 01 F7",
       {}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const WireLog::Comparison comparison =
        WireLog::Compare(reference, cases[i].log, cases[i].allowances);
    EXPECT_EQ(comparison.difference, cases[i].difference) << i;
    EXPECT_EQ(comparison.allowancesUsed, cases[i].used) << i;
  }
}

// Several slots in one run: equal data names are written apart, past a file
// the user had, files go into their slots in order, and a batch that cannot
// fit sends nothing.
TEST_F(CliKeyboardTest, ImportAndSendTakeSeveralSlots) {
  {
    auto memory = Memory();
    memory->SetItem({SlotKind::Tone, 0, 1}, memory->Item({SlotKind::Tone, 0, 0}));
    ASSERT_TRUE(memory->Save(memory_.string()));
  }
  std::filesystem::create_directories(Path("many"));
  WriteBytes(Path("many/TON_Piano 1 _2.lqd"), {'m', 'i', 'n', 'e'});
  EXPECT_EQ(Lines(Ok({"import", "tone/0", "tone/1", "dsp/0", PathText("many")})),
            (std::vector<std::string>{PathText("many/TON_Piano 1 .lqd"),
                                      PathText("many/TON_Piano 1 _3.lqd"),
                                      PathText("many/DSP_Hall 1  .lqd")}));
  EXPECT_EQ(ReadBytes(Path("many/TON_Piano 1 _2.lqd")), std::vector<uint8_t>({'m', 'i', 'n', 'e'}));
  Ok({"send", PathText("many/TON_Piano 1 _3.lqd"), "tone/8", PathText("many/DSP_Hall 1  .lqd"),
      "dsp/9"});
  EXPECT_EQ(KeyboardItem({SlotKind::Tone, 0, 8}), KeyboardItem({SlotKind::Tone, 0, 0}));
  EXPECT_EQ(KeyboardItem({SlotKind::Dsp, 0, 9}), KeyboardItem({SlotKind::Dsp, 0, 0}));
  EXPECT_EQ(Cli({"send", PathText("many/TON_Piano 1 .lqd")}).status, 2);

  const std::string a = SongFile("a.lqd", 12000);
  const std::string b = SongFile("b.lqd", 12000);
  const std::vector<uint8_t> before = KeyboardItem({SlotKind::Song, 0, 0});
  const CliResult tooMuch = Cli({"send", a, "song/0", b, "song/1"});
  EXPECT_EQ(tooMuch.status, 1);
  EXPECT_EQ(tooMuch.err, "ravlin-cli: Not enough memory\n");
  EXPECT_EQ(KeyboardItem({SlotKind::Song, 0, 0}), before);
}

TEST_F(CliKeyboardTest, ImportWritesEveryTypeAsTheKeyboardHoldsIt) {
  struct Case {
    std::string address;
    SlotId id;
    const char* prefix;
    uint16_t type;
    const char* typeText;
  };
  const Case cases[] = {
      {"tone/3", {SlotKind::Tone, 0, 3}, "TON_", 2, "2 Tone"},
      {"dsp/7", {SlotKind::Dsp, 0, 7}, "DSP_", 9, "9 DSP"},
      {"reg/1/2", {SlotKind::Registration, 1, 2}, "REG_", 12, "12 Regstration"},
      {"song/0", {SlotKind::Song, 0, 0}, "SNG_", 10, "10 Song"},
      {"rhythm/1", {SlotKind::Rhythm, 0, 1}, "RHY_", 11, "11 Rhythm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    const std::vector<uint8_t> item = KeyboardItem(c.id);
    ASSERT_FALSE(item.empty());
    // A registration keeps no name on the keyboard: its file name has none.
    const std::string name =
        c.type == 12 ? std::string() : SlotJson(c.address)["name"].toString().toStdString();
    const std::string path = Import(c.address);
    EXPECT_EQ(path, (dir_ / (c.prefix + name + ".lqd")).string());

    const std::vector<uint8_t> file = ReadBytes(path);
    ASSERT_EQ(file.size(), 64 + item.size());
    EXPECT_EQ(std::string(file.begin(), file.begin() + 16), std::string("VARDO Music Lib\0", 16));
    EXPECT_EQ(BigEndian(file, 16, 4), item.size());
    EXPECT_EQ(BigEndian(file, 22, 2), c.type);
    EXPECT_EQ(DataPart(file), item);

    const std::string info = Ok({"info", path});
    EXPECT_NE(info.find(std::string("Type:       ") + c.typeText + "\n"), std::string::npos)
        << info;
    EXPECT_NE(info.find("Size:       " + std::to_string(item.size()) + "byte(s)\n"),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("Name:       \"" + name + "\"\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Model code: 0x0000\n"), std::string::npos) << info;
  }
}

TEST_F(CliKeyboardTest, ImportWithoutAFolderWritesIntoTheCurrentFolder) {
  CliProcess here = cli_;
  here.SetWorkingDirectory(dir_.string());
  const CliResult result = here.Run({"import", "rhythm/0"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "RHY_Bossa 2 .lqd\n");
  EXPECT_EQ(DataPart(ReadBytes(Path("RHY_Bossa 2 .lqd"))), KeyboardItem({SlotKind::Rhythm, 0, 0}));
}

TEST_F(CliKeyboardTest, SendPutsAFileIntoItsSlot) {
  const std::string tone = Import("tone/0");
  Ok({"rename", tone, "NewTone"});
  Ok({"send", tone, "tone/5"});
  EXPECT_EQ(SlotJson("tone/5")["name"].toString(), "NewTone ");
  EXPECT_EQ(KeyboardItem({SlotKind::Tone, 0, 5}), DataPart(ReadBytes(tone)));

  const QJsonObject song = SlotJson("song/0");
  const uint32_t freeBefore = Memory()->FreeBytes();
  const std::string file = Import("song/0");
  Ok({"send", file, "song/1"});
  const QJsonObject copy = SlotJson("song/1");
  EXPECT_TRUE(copy["present"].toBool());
  EXPECT_EQ(copy["size"].toInt(), song["size"].toInt());
  EXPECT_EQ(copy["name"].toString(), song["name"].toString());
  EXPECT_EQ(KeyboardItem({SlotKind::Song, 0, 1}), KeyboardItem({SlotKind::Song, 0, 0}));
  EXPECT_EQ(Memory()->FreeBytes(), freeBefore - static_cast<uint32_t>(song["size"].toInt()));

  // Sending over a song in place: the old one is deleted first, not counted twice.
  Ok({"send", file, "song/1"});
  EXPECT_EQ(Memory()->FreeBytes(), freeBefore - static_cast<uint32_t>(song["size"].toInt()));
}

TEST_F(CliKeyboardTest, DeleteEmptiesASongOrARhythm) {
  const QJsonObject rhythm = SlotJson("rhythm/1");
  ASSERT_TRUE(rhythm["present"].toBool());
  const uint32_t freeBefore = Memory()->FreeBytes();
  EXPECT_EQ(Ok({"delete", "rhythm/1"}), "");
  const QJsonObject deleted = SlotJson("rhythm/1");
  EXPECT_FALSE(deleted["present"].toBool());
  EXPECT_EQ(deleted["size"].toInt(), 0);
  EXPECT_EQ(deleted["name"].toString(), "User 1");
  EXPECT_TRUE(KeyboardItem({SlotKind::Rhythm, 0, 1}).empty());
  EXPECT_EQ(Memory()->FreeBytes(), freeBefore + static_cast<uint32_t>(rhythm["size"].toInt()));

  Ok({"delete", "song/0"});
  EXPECT_EQ(SlotJson("song/0")["name"].toString(), "Song 0");
  EXPECT_TRUE(KeyboardItem({SlotKind::Song, 0, 0}).empty());
}

TEST_F(CliKeyboardTest, SlotsWithEqualNamesAreStillReachedByTheirNumbers) {
  const std::string first = Import("tone/0");
  std::filesystem::create_directory(Path("other"));
  const std::string second = Import("tone/4", PathText("other"));
  const std::string firstName = SlotJson("tone/0")["name"].toString().toStdString();
  Ok({"rename", second, firstName});
  Ok({"send", first, "tone/1"});
  Ok({"send", second, "tone/2"});  // now tone/0, tone/1 and tone/2 share one name

  EXPECT_EQ(KeyboardItem({SlotKind::Tone, 0, 1}), DataPart(ReadBytes(first)));
  EXPECT_EQ(KeyboardItem({SlotKind::Tone, 0, 2}), DataPart(ReadBytes(second)));
  EXPECT_EQ(KeyboardItem({SlotKind::Tone, 0, 0}), DataPart(ReadBytes(first)));

  std::filesystem::create_directory(Path("back"));
  const std::string received = Import("tone/2", PathText("back"));
  EXPECT_EQ(DataPart(ReadBytes(received)), DataPart(ReadBytes(second)));

  // Received registrations all carry the same empty name.
  const std::string reg = Import("reg/3/3");
  Ok({"send", reg, "reg/0/1"});
  Ok({"send", reg, "reg/0/2"});
  EXPECT_EQ(KeyboardItem({SlotKind::Registration, 0, 2}),
            KeyboardItem({SlotKind::Registration, 3, 3}));
}

TEST_F(CliKeyboardTest, BackupThenRestoreGivesBackTheSameMemory) {
  const std::vector<uint8_t> original = ReadBytes(memory_);
  const std::vector<std::string> written = Lines(Ok({"backup", PathText("a")}));
  EXPECT_EQ(written.size(), 39u);  // 36 fixed slots, one song, two rhythms
  EXPECT_TRUE(std::filesystem::exists(Path("a/reg-2-3.lqd")));
  EXPECT_TRUE(std::filesystem::exists(Path("a/song-0.lqd")));
  EXPECT_FALSE(std::filesystem::exists(Path("a/song-1.lqd")));

  // Empty the songs and rhythms, change a tone, fill a slot the backup does not hold.
  for (const char* address : {"song/0", "rhythm/0", "rhythm/1"}) Ok({"delete", address});
  Ok({"send", PathText("a/tone-1.lqd"), "tone/0"});
  Ok({"send", PathText("a/rhythm-0.lqd"), "rhythm/3"});
  Ok({"delete", "rhythm/3"});
  ASSERT_NE(ReadBytes(memory_), original);

  Ok({"restore", PathText("a")});
  EXPECT_EQ(ReadBytes(memory_), original);

  Ok({"backup", PathText("b")});
  for (const auto& entry : std::filesystem::directory_iterator(Path("a"))) {
    EXPECT_EQ(ReadBytes(entry.path()), ReadBytes(Path("b") / entry.path().filename()))
        << entry.path();
  }

  // Restoring over full slots when the shared memory is nearly used up: the
  // slots are emptied first, so their old contents are not counted.
  Ok({"send", SongFile("big.lqd", 19800), "song/1"});
  ASSERT_EQ(Memory()->FreeBytes(), 292u);
  std::filesystem::create_directory(Path("c"));
  for (const char* name : {"song-0.lqd", "rhythm-0.lqd", "rhythm-1.lqd"}) {
    std::filesystem::copy_file(Path("a") / name, Path("c") / name);
  }
  Ok({"restore", PathText("c")});
  EXPECT_EQ(Memory()->FreeBytes(), 292u);
  EXPECT_EQ(KeyboardItem({SlotKind::Song, 0, 0}), DataPart(ReadBytes(Path("a/song-0.lqd"))));
}

TEST_F(CliKeyboardTest, BackupDropsTheFilesOfSlotsThatAreEmptyNow) {
  Ok({"backup", PathText("a")});
  Ok({"delete", "rhythm/1"});
  const std::string out = Ok({"backup", PathText("a")});
  EXPECT_NE(out.find("removed " + PathText("a/rhythm-1.lqd") + "\n"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(Path("a/rhythm-1.lqd")));
  EXPECT_TRUE(std::filesystem::exists(Path("a/rhythm-0.lqd")));
}

TEST_F(CliKeyboardTest, RestoreChecksEveryFileBeforeChangingTheKeyboard) {
  Ok({"backup", PathText("a")});
  const std::vector<uint8_t> before = ReadBytes(memory_);
  std::filesystem::copy_file(Path("a/tone-0.lqd"), Path("a/dsp-3.lqd"),
                             std::filesystem::copy_options::overwrite_existing);
  const CliResult result = Cli({"restore", PathText("a")});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("dsp-3.lqd: Data type is different"), std::string::npos) << result.err;
  EXPECT_EQ(ReadBytes(memory_), before);

  // More than the free memory: refused before anything is deleted.
  std::filesystem::create_directory(Path("big"));
  SongFile("big/song-1.lqd", 20100);
  const CliResult tooBig = Cli({"restore", PathText("big")});
  EXPECT_EQ(tooBig.status, 1);
  EXPECT_NE(tooBig.err.find("Not enough memory"), std::string::npos) << tooBig.err;
  EXPECT_EQ(ReadBytes(memory_), before);

  std::filesystem::create_directory(Path("empty"));
  EXPECT_EQ(Cli({"restore", PathText("empty")}).status, 1);
}

TEST_F(CliKeyboardTest, ProgressBarOnlyOnATerminal) {
  const CliResult piped = Cli({"import", "song/0", dir_.string()});
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, "");

  CliProcess terminal = cli_;
  terminal.SetErrorTerminal(true);
  const CliResult shown = terminal.Run({"import", "song/0", dir_.string()});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.err.find("Receiving a data..."), std::string::npos) << shown.err;
  EXPECT_NE(shown.err.find("[##############################] 716/716 bytes"), std::string::npos)
      << shown.err;
  EXPECT_EQ(Trimmed(shown.out), (dir_ / "SNG_DemoSong.lqd").string());
  // A delete moves no bytes.
  EXPECT_EQ(terminal.Run({"delete", "rhythm/0"}).err, "");

  terminal.SetEnv("LANG", "ja_JP.UTF-8");
  const CliResult japanese = terminal.Run({"import", "song/0", dir_.string()});
  EXPECT_NE(japanese.err.find("] 716/716 バイト"), std::string::npos) << japanese.err;
}

// A signal ends a command at once, but what is under way when it comes is
// finished first: an item being sent, a file write (renamed into place or
// removed) and a line of output. What the tool prints then matches
// what was done, item by item, and the status is 128 plus the signal.
TEST_F(CliKeyboardTest, SignalsEndACommandAtOnceButFinishWhatIsUnderWay) {
  std::filesystem::create_directory(Path("in"));
  const std::string tone = Import("tone/0", PathText("in"));
  const std::string song = Import("song/0", PathText("in"));
  const std::string devices = Ok({"devices"});
  const std::string list = Ok({"list"});
  const auto files = [this](const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Path(folder))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  struct Case {
    std::vector<std::string> arguments;
    SignalAt at;
    int status;
    std::string out;
    std::string err;
    std::function<void()> check;
  };
  const std::vector<Case> cases = {
      {{"devices"}, {SIGTERM, SYS_write, 0, 1, {}}, 143, devices, "", nullptr},
      {{"list"}, {SIGINT, SYS_write, 0, 1, {}}, 130, list, "", nullptr},
      {{"detect"},
       {SIGINT, SYS_write, 0, 2, {}},
       130,
       "",
       "ravlin-cli: No keyboard found\nravlin-cli: Cancelled\n",
       nullptr},
      // Reading a file is no work to finish: nothing is said about it.
      {{"info", tone},
       {SIGTERM, SYS_openat, 1, -1, tone},
       143,
       "",
       "ravlin-cli: Cancelled\n",
       nullptr},
      // The data file is written whole, its temporary file renamed into place.
      {{"rename", tone, "Renamed"},
       {SIGTERM, SYS_openat, 1, -1, ".tmp"},
       143,
       tone + ": \"Renamed\"\n",
       "",
       [&] {
         EXPECT_EQ(files("in"), (std::vector<std::string>{"SNG_DemoSong.lqd", "TON_Piano 1 .lqd"}));
         EXPECT_NE(Ok({"info", tone}).find("Name:       \"Renamed \""), std::string::npos);
       }},
      {{"import", "tone/1", "tone/2", PathText("out")},
       {SIGINT, SYS_rename, 0, -1, {}},
       130,
       PathText("out/TON_E.Piano .lqd") + "\n",
       "ravlin-cli: tone/2: Cancelled\n",
       [&] { EXPECT_EQ(files("out"), std::vector<std::string>{"TON_E.Piano .lqd"}); }},
      // The line that reports the song sent: the song is in its slot, and the
      // work stops before the tone.
      {{"send", song, "song/1", tone, "tone/3"},
       {SIGINT, SYS_write, 0, 1, {}},
       130,
       song + " -> song/1\n",
       "ravlin-cli: tone/3: Cancelled\n",
       [&] {
         EXPECT_EQ(KeyboardItem({SlotKind::Song, 0, 1}), DataPart(ReadBytes(song)));
         EXPECT_EQ(SlotJson("tone/3")["name"].toString(), "BrassSec");
       }},
  };
  std::filesystem::create_directory(Path("out"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front() + " " + c.at.path);
    CliProcess traced = cli_;
    traced.SetSignalAt(c.at);
    const CliResult result = traced.Run(c.arguments);
    ASSERT_TRUE(result.signalled) << result.out << result.err;
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
    if (c.check) c.check();
  }
}

}  // namespace
