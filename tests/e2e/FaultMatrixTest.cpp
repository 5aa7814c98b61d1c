// The keyboard misbehaving, the simulator gone, stopped or killed: each case
// ends in the error the tool gives (exit status 1 and the catalog text) and a
// clean next command on the same ports.
//
// An output that never completes (code 6, "MIDI Timeout.") cannot be brought
// about over JACK: RtMidi hands a message to the service at once, so the
// program's output always completes. The simulator's stall-output mode then
// only swallows the request, which the program sees as an answer that never
// comes (code 5); StalledOutputIsAReplyTimeOutOverJack shows it.

#include <signal.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "E2eTest.h"
#include "files/QnData.h"

namespace {

using sim::SlotId;
using sim::SlotKind;

using Bytes = std::vector<uint8_t>;

struct Logged {
  std::string direction;  // "in": from the program; "out": to it
  Bytes bytes;
};

// The simulator's --log: seconds, ">" to the keyboard or "<" from it, the
// bytes in hex, the meaning; tab-separated.
std::vector<Logged> ReadLog(const std::filesystem::path& path) {
  std::vector<Logged> messages;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string stamp;
    std::string direction;
    std::string hex;
    std::getline(fields, stamp, '\t');
    std::getline(fields, direction, '\t');
    std::getline(fields, hex, '\t');
    Logged message;
    message.direction = direction == ">" ? "in" : "out";
    std::istringstream bytes(hex);
    for (std::string byte; bytes >> byte;) {
      message.bytes.push_back(static_cast<uint8_t>(std::stoi(byte, nullptr, 16)));
    }
    messages.push_back(std::move(message));
  }
  return messages;
}

size_t Count(const std::vector<Logged>& log, const std::string& direction, const Bytes& bytes) {
  size_t count = 0;
  for (const Logged& message : log)
    count += message.direction == direction && message.bytes == bytes;
  return count;
}

// Data blocks (command 4) of one category in one direction.
size_t Blocks(const std::vector<Logged>& log, const std::string& direction, uint8_t category) {
  size_t count = 0;
  for (const Logged& message : log) {
    count += message.direction == direction && message.bytes.size() > 10 &&
             message.bytes[5] == (0x40 | category);
  }
  return count;
}

Bytes Handshake(uint8_t category, uint8_t item, uint8_t code) {
  return {0xF0, 0x44, 0x11, 0x01, 0x7F, static_cast<uint8_t>(0x70 | category),
          0x00, 0x00, item, 0x00, code, 0xF7};
}

constexpr uint8_t kSong = 10;

class FaultMatrixTest : public E2eTest {
 protected:
  // The settings a window would have left: the devices by number, with the
  // ports' names beside them.
  void WriteSettings(int in, const std::string& inName, int out, const std::string& outName) {
    std::filesystem::create_directories(Path("config/Vardo"));
    std::ofstream ini(Path("config/Vardo/Ravlin.ini"), std::ios::trunc);
    ini << "[MIDI]\nInputDevice=" << in << "\nInputDeviceName=" << inName
        << "\nOutputDevice=" << out << "\nOutputDeviceName=" << outName << "\n"
        << "[Directory]\nDefault=" << dir_.string() << "\n";
  }

  std::filesystem::path ToneFile(const std::string& name) {
    tone_ = RandomItem(SlotKind::Tone, 60, name);
    return WriteLqd(name + ".lqd", QnData::kTypeTone, tone_);
  }

  Bytes tone_;
};

TEST_F(FaultMatrixTest, SimulatorNotRunningOpenFailsWithTheServicesText) {
  const std::string name = NextSimName();
  // The ports are gone and no port has their numbers: the text names the
  // port asked for.
  WriteSettings(200, name + ":out", 200, name + ":in");
  ExpectFailure(Run({"list"}),
                "ravlin-cli: There is no MIDI input device with that number (the "
                "port asked for: " +
                    name + ":out)");

  // Once the simulator runs, the same settings find its ports by name.
  SimProcess& sim = StartSim();
  ASSERT_EQ(sim.Name(), name);
  const CliResult list = Run({"list"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("DemoSong"), std::string::npos) << list.out;

  WriteSettings(200, sim.OutputPort(), 200, name + "-gone:in");
  ExpectFailure(Run({"free"}),
                "ravlin-cli: There is no MIDI output device with that number (the "
                "port asked for: " +
                    name + "-gone:in)");
  // A send fails on the port before its file is read.
  const std::string file = ToneFile("Unsent").string();
  ExpectFailure(
      Run({"send", file, "tone/0"}),
      "ravlin-cli: There is no MIDI output device with that number (the port asked for: " + name +
          "-gone:in)");
  Ok(sim, {"free"});
}

// The settings name the simulator's ports at the numbers they had. With the
// simulator stopped those numbers belong to other ports (at least the
// built-in simulator, which is listed last): the tool must fail to open the
// ports it was given, not talk to a keyboard the user did not choose.
TEST_F(FaultMatrixTest, SimulatorNotRunningIsNotMistakenForAnotherPort) {
  UsePrivateServer();
  SimProcess& sim = StartSim();
  const std::string devices = Run({"devices"}).out;
  auto number = [&devices](const std::string& direction, const std::string& port) {
    const std::string tail = "\t" + port + "\n";
    const size_t end = devices.find(tail);
    const size_t start = devices.rfind(direction + "\t", end);
    return std::stoi(devices.substr(start + direction.size() + 1));
  };
  WriteSettings(number("in", sim.OutputPort()), sim.OutputPort(), number("out", sim.InputPort()),
                sim.InputPort());
  Ok(sim, {"free"});
  sim.Stop();
  ExpectFailure(Run({"free"}),
                "ravlin-cli: There is no MIDI input device with that number (the "
                "port asked for: " +
                    sim.OutputPort() + ")");
}

// The keyboard that does not answer is named by its ports, whichever command
// asked it.
TEST_F(FaultMatrixTest, SimulatorThatStopsAnsweringTimesOut) {
  SimProcess& sim = StartSim({"--fault", "no-answer:3"});
  const std::string keyboard =
      "ravlin-cli: keyboard (in: " + sim.OutputPort() + ", out: " + sim.InputPort() + "): ";
  const std::string file = ToneFile("Silent").string();
  ExpectFailure(Cli(sim, {"send", file, "tone/0"}), keyboard + "MIDI Timeout");
  // A backup reads the list itself.
  ExpectFailure(Cli(sim, {"backup", Path("saved").string()}), keyboard + "MIDI Timeout");
  const std::string log = Path("cli.log").string();
  ExpectFailure(Cli(sim, {"--log", log, "list"}), keyboard + "MIDI Timeout");
  // The request that went unanswered, then the failure with its text.
  const std::string text = ReadText(log);
  EXPECT_EQ(text.rfind("0.000000\t>\tF0 44 11 01 7F 10 00 0D 00 00 00 F7\tread parameter 0x00", 0),
            0u)
      << text;
  const size_t last = text.rfind('\n', text.size() - 2) + 1;
  EXPECT_EQ(text.substr(text.find('\t', last)), "\t!\t\tMIDI Timeout\n") << text;
  Ok(sim, {"list"});
}

TEST_F(FaultMatrixTest, StalledOutputIsAReplyTimeOutOverJack) {
  SimProcess& sim = StartSim({"--fault", "stall-output"});
  // Code 5's text, not code 6's "MIDI Timeout.".
  ExpectFailure(Cli(sim, {"free"}), "ravlin-cli: keyboard (in: " + sim.OutputPort() +
                                        ", out: " + sim.InputPort() + "): MIDI Timeout");
  Ok(sim, {"free"});
}

TEST_F(FaultMatrixTest, WrongKeyboardTypeIsRefusedEveryTime) {
  SimProcess& sim = StartSim({"--type", "1"});
  const std::string memory = ReadText(MemoryFile(sim));
  const std::string keyboard =
      "ravlin-cli: keyboard (in: " + sim.OutputPort() + ", out: " + sim.InputPort() + "): ";
  ExpectFailure(Cli(sim, {"list"}), keyboard + "Unknown keyboard type");
  const std::string file = ToneFile("Refused").string();
  ExpectFailure(Cli(sim, {"send", file, "tone/0"}), keyboard + "Unknown keyboard type");
  EXPECT_EQ(ReadText(MemoryFile(sim)), memory);

  Restart(sim, {"--type", "0"});
  Ok(sim, {"list"});
}

TEST_F(FaultMatrixTest, BadChecksumBlocksDuringAnImportAreAskedForAgain) {
  const Bytes song = RandomItem(SlotKind::Song, 1000, "Checked!");
  const auto memory = WriteMemory("song.mem", [&song](sim::Trv408& keyboard) {
    keyboard.SetItem({SlotKind::Song, 0, 0}, song);
  });
  SimProcess& sim =
      StartSim({"--fault", "bad-checksum:3", "--log", Path("sim.log").string()}, memory);
  const std::string printed =
      Ok(sim, {"--log", Path("cli.log").string(), "import", "song/0", dir_.string()});
  EXPECT_EQ(printed, Path("SNG_Checked!.lqd").string() + "\n");
  EXPECT_EQ(DataPart(ReadBytes(Path("SNG_Checked!.lqd"))), song);

  const std::vector<Logged> log = ReadLog(Path("sim.log"));
  // Block 0 three times spoilt, then sound; seven more blocks.
  EXPECT_EQ(Count(log, "in", Handshake(kSong, 0, 3)), 3u);
  EXPECT_EQ(Blocks(log, "out", kSong), 3u + 8u);
  // Both sides logged the same messages in the same order, the program
  // every answer it took, the simulator everything; the spoilt blocks say so.
  const std::vector<Logged> program = ReadLog(Path("cli.log"));
  ASSERT_EQ(program.size(), log.size());
  for (size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(program[i].direction, log[i].direction) << i;
    EXPECT_EQ(program[i].bytes, log[i].bytes) << i;
  }
  const std::string cliText = ReadText(Path("cli.log"));
  EXPECT_NE(cliText.find("data block 0 of 8: 64 words (128 bytes), checksum wrong"),
            std::string::npos);
  EXPECT_NE(cliText.find("handshake: send the block again"), std::string::npos);
  std::filesystem::create_directory(Path("again"));
  Ok(sim, {"import", "song/0", Path("again").string()});
  EXPECT_EQ(ReadBytes(Path("again/SNG_Checked!.lqd")), ReadBytes(Path("SNG_Checked!.lqd")));
}

TEST_F(FaultMatrixTest, TenRequestsToSendAgainAreHonoured) {
  SimProcess& sim = StartSim({"--fault", "resend:10", "--log", Path("sim.log").string()});
  const Bytes song = RandomItem(SlotKind::Song, 1000, "Resent10");
  Ok(sim, {"send", WriteLqd("song.lqd", QnData::kTypeSong, song).string(), "song/1"});
  EXPECT_EQ(Memory(sim)->Item({SlotKind::Song, 0, 1}), song);

  const std::vector<Logged> log = ReadLog(Path("sim.log"));
  EXPECT_EQ(Count(log, "out", Handshake(kSong, 1, 3)), 10u);
  EXPECT_EQ(Blocks(log, "in", kSong), 10u + 8u);
}

// Two handshakes of one block in one breath, the second a copy: on a machine
// whose cores are taken by other programs, the tool's threads hand the copy on
// only after the next block went out. It came before that block and is no
// answer to it; the keyboard's request for that block again is.
TEST_F(FaultMatrixTest, CopiedHandshakeOnABusyMachineIsNoAnswerToTheNextBlock) {
  const auto busy = BusyMachine();
  SimProcess& sim = StartSim({"--fault", "duplicate-answer:0"});
  for (int run = 0; run < 3; ++run) {
    const Bytes song =
        RandomItem(SlotKind::Song, 1000 + 200 * run, "Copied!" + std::to_string(run));
    Ok(sim, {"--log", Path("cli" + std::to_string(run) + ".log").string(), "send",
             WriteLqd("song.lqd", QnData::kTypeSong, song).string(), "song/1"});
    ASSERT_EQ(Memory(sim)->Item({SlotKind::Song, 0, 1}), song) << "run " << run;
    EXPECT_NE(ReadText(Path("cli" + std::to_string(run) + ".log")).find("stray, dropped"),
              std::string::npos);
  }
}

struct BlockAnswerFault {
  const char* fault;
  const char* text;
};

class BlockAnswerFaultTest : public FaultMatrixTest,
                             public ::testing::WithParamInterface<BlockAnswerFault> {};

TEST_P(BlockAnswerFaultTest, EndsTheSendAndTheNextSendWorks) {
  SimProcess& sim = StartSim({"--fault", GetParam().fault});
  const Bytes before = Memory(sim)->Item({SlotKind::Tone, 0, 3});
  const std::filesystem::path file = ToneFile("Faulty");
  ExpectFailure(Cli(sim, {"send", file.string(), "tone/3"}),
                std::string("ravlin-cli: tone/3: ") + GetParam().text);
  EXPECT_EQ(Memory(sim)->Item({SlotKind::Tone, 0, 3}), before);

  Ok(sim, {"send", file.string(), "tone/3"});
  EXPECT_EQ(Memory(sim)->Item({SlotKind::Tone, 0, 3}), tone_);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BlockAnswerFaultTest,
    ::testing::Values(BlockAnswerFault{"resend:11", "communication error occured"},
                      BlockAnswerFault{"reject", "rejected by keyboard"},
                      BlockAnswerFault{"error15", "communication error occured"},
                      BlockAnswerFault{"unknown-code", "Unknown error"}),
    [](const auto& info) {
      std::string name = info.param.fault;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

TEST_F(FaultMatrixTest, AnswersLongerThan256BytesAreReadFromTheirFirst256) {
  SimProcess& sim = StartSim({"--fault", "long-answer:0"});
  const std::string list = Ok(sim, {"list"});
  EXPECT_NE(list.find("DemoSong"), std::string::npos) << list;
  Restart(sim);
  EXPECT_EQ(Ok(sim, {"list"}), list);
}

// Another maker's message before an answer is a stray: the log shows it as
// one, and the list reads the keyboard's own answer.
TEST_F(FaultMatrixTest, ForeignMessageBeforeTheAnswerIsAStrayInTheLog) {
  SimProcess& sim = StartSim({"--fault", "foreign-first"});
  const std::filesystem::path log = Path("cli.log");
  const std::string list = Ok(sim, {"--log", log.string(), "list"});
  EXPECT_NE(list.find("DemoSong"), std::string::npos) << list;
  const std::string text = ReadText(log);
  EXPECT_NE(text.find("\t~\tF0 43 "), std::string::npos) << text;
  EXPECT_NE(text.find("stray, dropped"), std::string::npos) << text;
}

// Every song and rhythm size the keyboard reports is far beyond its 21504
// bytes: the list shows them as reported, but nothing is allocated, imported
// or backed up for them. The backup that fails there leaves its folder as it
// was, the earlier backup and the user's own file in it.
TEST_F(FaultMatrixTest, SizeBeyondTheMemoryIsListedButNeitherImportedNorBackedUp) {
  SimProcess& sim = StartSim({"--fault", "huge-size:0"});
  const QJsonObject list = Json(sim, "list");
  EXPECT_GT(SlotJson(list, "song/0")["size"].toDouble(), 21504.0);
  const std::string text = "The keyboard reported a size larger than its memory";
  ExpectFailure(Cli(sim, {"import", "song/0", dir_.string()}), "ravlin-cli: song/0: " + text);
  std::filesystem::create_directory(Path("saved"));
  const Bytes earlier = ReadBytes(
      WriteLqd("saved/tone-0.lqd", QnData::kTypeTone, RandomItem(SlotKind::Tone, 60, "")));
  std::ofstream(Path("saved/notes.txt")) << "mine";
  ExpectFailure(Cli(sim, {"backup", Path("saved").string()}), "ravlin-cli: song/0: " + text);
  EXPECT_EQ(ReadBytes(Path("saved/tone-0.lqd")), earlier);
  EXPECT_EQ(ReadText(Path("saved/notes.txt")), "mine");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("saved")), {}), 2);
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    EXPECT_NE(entry.path().extension(), ".lqd") << entry.path();
  }
}

TEST_F(FaultMatrixTest, SimulatorKilledInTheMiddleOfASongTransferAndRestarted) {
  UsePrivateServer();
  // Cable timing makes the upload last some seconds: 94 blocks of 207 bytes.
  SimProcess& sim = StartSim({"--cable", "--log", Path("sim.log").string()});
  const Bytes song = RandomItem(SlotKind::Song, 12000, "Killed!!");
  const std::filesystem::path file = WriteLqd("song.lqd", QnData::kTypeSong, song);
  Launched send = Launch(OnPorts(sim, {"send", file.string(), "song/1"}));
  const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (Blocks(ReadLog(Path("sim.log")), "in", kSong) < 5 && send.process->Running() &&
         std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(send.process->Running()) << "the upload ended before the simulator was killed";
  sim.Kill();
  ExpectFailure(Finish(send), "ravlin-cli: song/1: MIDI Timeout");

  // The memory file is whole; the song never finished, so its slot stays empty.
  const std::unique_ptr<sim::Trv408> memory = Memory(sim);
  EXPECT_TRUE(memory->Item({SlotKind::Song, 0, 1}).empty());
  EXPECT_EQ(memory->Item({SlotKind::Song, 0, 0}).size(), 716u);

  Restart(sim, {"--cable"});
  const QJsonObject list = Json(sim, "list");
  EXPECT_FALSE(SlotJson(list, "song/1")["present"].toBool());
  Ok(sim, {"send", file.string(), "song/1"});
  EXPECT_EQ(Memory(sim)->Item({SlotKind::Song, 0, 1}), song);
}

}  // namespace

namespace {

// SIGINT and SIGTERM stop the tool between two exchanges: an import leaves
// the folder as it was, and the next command on the same keyboard works.
TEST_F(FaultMatrixTest, SignalsStopAnImportBetweenTwoExchanges) {
  const Bytes song = RandomItem(SlotKind::Song, 12000, "Stopped!");
  const auto memory = WriteMemory("song.mem", [&song](sim::Trv408& keyboard) {
    keyboard.SetItem({SlotKind::Song, 0, 0}, song);
  });
  SimProcess& sim = StartSim({"--cable", "--log", Path("sim.log").string()}, memory);
  const std::filesystem::path folder = Path("imported");
  std::filesystem::create_directory(folder);
  const std::vector<uint8_t> before(100, 'x');
  {
    std::ofstream existing(folder / "SNG_Stopped!.lqd", std::ios::binary);
    existing.write(reinterpret_cast<const char*>(before.data()), 100);
  }
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(status);
    const size_t blocksBefore = Blocks(ReadLog(Path("sim.log")), "out", kSong);
    Launched import = Launch(OnPorts(sim, {"import", "song/0", folder.string()}));
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (Blocks(ReadLog(Path("sim.log")), "out", kSong) < blocksBefore + 5 &&
           import.process->Running() && std::chrono::steady_clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(import.process->Running()) << "the import ended before the signal";
    import.process->Signal(signal);
    const CliResult result = Finish(import);
    EXPECT_EQ(result.status, status) << result.err;
    EXPECT_EQ(result.err, "ravlin-cli: song/0: Cancelled\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    EXPECT_EQ(ReadBytes(folder / "SNG_Stopped!.lqd"), before);
  }
  Ok(sim, {"import", "song/0", folder.string()});
  EXPECT_EQ(DataPart(ReadBytes(folder / "SNG_Stopped!.lqd")), song);
}

// Against a keyboard that does not answer, a signal ends the command at
// once, whenever it comes while the tool waits: the exchange is given up,
// never waited out to its time-out (the log would end in the failure).
TEST_F(FaultMatrixTest, SignalsEndTheWaitForASilentKeyboardAtOnce) {
  SimProcess& sim = StartSim({"--fault", "no-answer:0"});
  const std::filesystem::path log = Path("cli.log");
  struct Case {
    std::vector<std::string> command;
    int signal;
    int delayMs;  // after the request went out
    int status;
    bool busy = false;
  };
  const std::vector<Case> cases = {{{"list"}, SIGINT, 100, 130},
                                   {{"list"}, SIGINT, 500, 130},
                                   {{"list"}, SIGINT, 900, 130},
                                   {{"import", "tone/0", dir_.string()}, SIGTERM, 500, 143},
                                   {{"list"}, SIGINT, 300, 130, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command.front() + " " + std::to_string(c.delayMs) + (c.busy ? " busy" : ""));
    const auto busy = c.busy ? BusyMachine() : decltype(BusyMachine()){};
    std::filesystem::remove(log);
    std::vector<std::string> arguments{"--log", log.string()};
    arguments.insert(arguments.end(), c.command.begin(), c.command.end());
    Launched run = Launch(OnPorts(sim, arguments));
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ReadText(log).find("\t>\t") == std::string::npos && run.process->Running() &&
           std::chrono::steady_clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(c.delayMs));
    ASSERT_TRUE(run.process->Running()) << "the command ended before the signal";
    run.process->Signal(c.signal);
    const CliResult result = Finish(run);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.err, "ravlin-cli: keyboard (in: " + sim.OutputPort() +
                              ", out: " + sim.InputPort() + "): Cancelled\n");
    EXPECT_EQ(ReadText(log).find("\t!\t"), std::string::npos) << ReadText(log);
  }
}

// Each program is one JACK client holding both of its ports, seen from the
// server while a transfer runs: the ports and their connections as jack_lsp
// lists them.
TEST_F(FaultMatrixTest, WhileAnImportRunsTheToolAndTheSimulatorAreOneJackClientEach) {
  UsePrivateServer();
  const Bytes song = RandomItem(SlotKind::Song, 12000, "OneClnt!");
  const auto memory = WriteMemory("song.mem", [&song](sim::Trv408& keyboard) {
    keyboard.SetItem({SlotKind::Song, 0, 0}, song);
  });
  SimProcess& sim = StartSim({"--cable", "--log", Path("sim.log").string()}, memory);
  Launched import = Launch(OnPorts(sim, {"import", "song/0", dir_.string()}));
  const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (Blocks(ReadLog(Path("sim.log")), "out", kSong) < 3 && import.process->Running() &&
         std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ChildProcess lsp({"jack_lsp", "-c"});
  lsp.Start(Path("lsp.out").string(), "/dev/null");
  ASSERT_EQ(lsp.Wait(std::chrono::seconds(20)), 0);
  ASSERT_TRUE(import.process->Running()) << "the import ended before the ports were listed";
  const CliResult result = Finish(import);
  EXPECT_EQ(result.status, 0) << result.err;

  // Each port of another client than the dummy driver's, with its peers.
  std::map<std::string, std::set<std::string>> ports;
  std::istringstream listed(ReadText(Path("lsp.out")));
  std::string port;
  for (std::string line; std::getline(listed, line);) {
    if (line.rfind("system:", 0) == 0) {
      port.clear();
    } else if (line.rfind("   ", 0) == 0) {
      if (!port.empty()) ports[port].insert(line.substr(3));
    } else {
      port = line;
      ports[port];
    }
  }
  const std::map<std::string, std::set<std::string>> expected{
      {"ravlin-cli:in", {sim.OutputPort()}},
      {"ravlin-cli:out", {sim.InputPort()}},
      {sim.InputPort(), {"ravlin-cli:out"}},
      {sim.OutputPort(), {"ravlin-cli:in"}}};
  EXPECT_EQ(ports, expected);
}

}  // namespace
