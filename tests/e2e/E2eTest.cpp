#include "E2eTest.h"

#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <thread>

#include "ChildProcess.h"
#include "JackServer.h"

namespace {

// One JACK server for the whole test program, found or started before the
// first test and stopped after the last.
class JackEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    server_ = std::make_unique<JackServer>();
    state_ = server_->Ensure();
    why_ = server_->Why();
  }
  void TearDown() override { server_.reset(); }

  static JackEnvironment* instance;
  JackServer::State State() const { return state_; }
  const std::string& Why() const { return why_; }

 private:
  std::unique_ptr<JackServer> server_;
  JackServer::State state_ = JackServer::State::Failed;
  std::string why_;
};

JackEnvironment* JackEnvironment::instance =
    static_cast<JackEnvironment*>(::testing::AddGlobalTestEnvironment(new JackEnvironment));

QJsonObject FindSlot(const QJsonArray& entries, const QString& address) {
  for (const QJsonValue& value : entries) {
    const QJsonObject entry = value.toObject();
    if (entry.contains("folder")) {
      QJsonObject found = FindSlot(entry["entries"].toArray(), address);
      if (!found.isEmpty()) return found;
    } else if (entry["address"].toString() == address) {
      return entry;
    }
  }
  return {};
}

std::string Joined(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& argument : arguments) text += (text.empty() ? "" : " ") + argument;
  return text;
}

size_t NameOffset(sim::SlotKind kind) {
  switch (kind) {
    case sim::SlotKind::Tone:
      return 36;
    case sim::SlotKind::Song:
      return 4;
    case sim::SlotKind::Rhythm:
      return 2;
    default:
      return 0;
  }
}

}  // namespace

void E2eTest::SetUp() {
  switch (JackEnvironment::instance->State()) {
    case JackServer::State::Ready:
      break;
    case JackServer::State::Missing:
      GTEST_SKIP() << JackEnvironment::instance->Why();
    case JackServer::State::Failed:
      FAIL() << JackEnvironment::instance->Why();
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "ravlin-e2e-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  dir_ = pattern;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  seed_ = static_cast<uint32_t>(
      std::hash<std::string>()(std::string(info->test_suite_name()) + "." + info->name()));
}

void E2eTest::TearDown() {
  sims_.clear();
  privateServer_.reset();
  if (dir_.empty()) return;
  if (HasFailure()) {
    // What the simulators printed helps to tell a broken service from a
    // broken program.
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      if (entry.path().extension() == ".out" &&
          entry.path().filename().string().rfind("E2E", 0) == 0)
        std::cerr << "--- " << entry.path().filename().string() << "\n" << ReadText(entry.path());
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void E2eTest::UsePrivateServer() {
  privateServer_ = std::make_unique<JackServer>();
  if (privateServer_->StartPrivate() != JackServer::State::Ready) {
    throw std::runtime_error(privateServer_->Why());
  }
}

SimProcess& E2eTest::StartSim(const std::vector<std::string>& options,
                              std::filesystem::path memory) {
  const std::string name = NextSimName();
  sims_.push_back(std::make_unique<SimProcess>(SIMULATOR, name, dir_));
  SimProcess& sim = *sims_.back();
  if (memory.empty()) memory = dir_ / (name + ".mem");
  memoryFiles_[&sim] = memory;
  std::vector<std::string> all{"--memory", memory.string()};
  all.insert(all.end(), options.begin(), options.end());
  if (!sim.Start(all)) {
    throw std::runtime_error("the simulator did not get ready:\n" + sim.Output());
  }
  return sim;
}

// "E2E 123-1 Sim" is no part of "E2E 123-10 Sim" nor of another process's
// names, so a part of the name still picks one port.
std::string E2eTest::NextSimName() const {
  return "E2E " + std::to_string(getpid()) + "-" + std::to_string(sims_.size() + 1) + " Sim";
}

std::filesystem::path E2eTest::MemoryFile(const SimProcess& sim) const {
  return memoryFiles_.at(&sim);
}

void E2eTest::Restart(SimProcess& sim, const std::vector<std::string>& options) {
  std::vector<std::string> all{"--memory", MemoryFile(sim).string()};
  all.insert(all.end(), options.begin(), options.end());
  if (!sim.Start(all)) {
    throw std::runtime_error("the simulator did not get ready again:\n" + sim.Output());
  }
}

E2eTest::Launched E2eTest::Launch(const std::vector<std::string>& arguments) {
  std::vector<std::string> command{CLI};
  command.insert(command.end(), arguments.begin(), arguments.end());
  Launched launched;
  launched.command = Joined(arguments);
  launched.stem = (dir_ / ("cli-" + std::to_string(++runs_))).string();
  launched.process = std::make_unique<ChildProcess>(
      command, ChildProcess::Environment{{"RAVLIN_MIDI_API", "jack"},
                                         {"HOME", (dir_ / "home").string()},
                                         {"XDG_CONFIG_HOME", (dir_ / "config").string()},
                                         {"XDG_DATA_HOME", (dir_ / "data").string()},
                                         {"LANG", "C"},
                                         {"LC_ALL", std::nullopt},
                                         {"LC_MESSAGES", std::nullopt},
                                         {"LANGUAGE", std::nullopt},
                                         {"RAVLIN_SIM_MEMORY", std::nullopt}});
  launched.process->Start(launched.stem + ".stdout", launched.stem + ".stderr");
  return launched;
}

CliResult E2eTest::Finish(Launched& launched) {
  CliResult result;
  // Only a safety net against a hang; every exchange ends within a second.
  result.status = launched.process->Wait(std::chrono::minutes(3));
  result.out = ChildProcess::ReadFile(launched.stem + ".stdout");
  result.err = ChildProcess::ReadFile(launched.stem + ".stderr");
  if (launched.process->KilledAfterLimit()) {
    ADD_FAILURE() << "ravlin-cli " << launched.command << " hung";
  }
  return result;
}

CliResult E2eTest::Run(const std::vector<std::string>& arguments) {
  Launched launched = Launch(arguments);
  return Finish(launched);
}

std::vector<std::string> E2eTest::OnPorts(const SimProcess& sim,
                                          const std::vector<std::string>& arguments) {
  std::vector<std::string> all{"--in", sim.Name(), "--out", sim.Name()};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return all;
}

CliResult E2eTest::Cli(const SimProcess& sim, const std::vector<std::string>& arguments) {
  return Run(OnPorts(sim, arguments));
}

std::string E2eTest::Ok(const SimProcess& sim, const std::vector<std::string>& arguments) {
  const CliResult result = Cli(sim, arguments);
  EXPECT_EQ(result.status, 0) << Joined(arguments) << "\n" << result.err;
  EXPECT_EQ(result.err, "") << Joined(arguments);
  return result.out;
}

void E2eTest::ExpectFailure(const CliResult& result, const std::string& line) {
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_EQ(result.err, line + "\n");
}

QJsonObject E2eTest::Json(const SimProcess& sim, const std::string& command) {
  const std::string out = Ok(sim, {command, "--json"});
  QJsonParseError error{};
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(out.data(), static_cast<qsizetype>(out.size())), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << out;
  return document.object();
}

QJsonObject E2eTest::SlotJson(const QJsonObject& list, const std::string& address) {
  for (const QJsonValue& drive : list["drives"].toArray()) {
    QJsonObject found =
        FindSlot(drive.toObject()["entries"].toArray(), QString::fromStdString(address));
    if (!found.isEmpty()) return found;
  }
  ADD_FAILURE() << "no slot " << address;
  return {};
}

std::unique_ptr<sim::Trv408> E2eTest::Memory(const SimProcess& sim) const {
  auto keyboard = std::make_unique<sim::Trv408>();
  EXPECT_TRUE(keyboard->Load(MemoryFile(sim).string())) << MemoryFile(sim);
  return keyboard;
}

std::filesystem::path E2eTest::WriteMemory(const std::string& name,
                                           const std::function<void(sim::Trv408&)>& change) {
  sim::Trv408 keyboard;
  change(keyboard);
  const std::filesystem::path path = dir_ / name;
  EXPECT_TRUE(keyboard.Save(path.string()));
  return path;
}

std::filesystem::path E2eTest::WriteLqd(const std::string& name, uint16_t type,
                                        const std::vector<uint8_t>& data) {
  std::vector<uint8_t> file(64, 0);
  const char signature[16] = "VARDO Music Lib";
  std::copy(signature, signature + 16, file.begin());
  const auto size = static_cast<uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) file[16 + i] = static_cast<uint8_t>(size >> (24 - 8 * i));
  file[20] = 0x11;
  file[21] = 0x01;
  file[22] = static_cast<uint8_t>(type >> 8);
  file[23] = static_cast<uint8_t>(type);
  file.insert(file.end(), data.begin(), data.end());
  const std::filesystem::path path = dir_ / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return path;
}

std::vector<std::unique_ptr<ChildProcess>> E2eTest::BusyMachine() {
  std::vector<std::unique_ptr<ChildProcess>> busy;
  for (unsigned i = 0; i < 2 * std::max(2u, std::thread::hardware_concurrency()); ++i) {
    busy.push_back(std::make_unique<ChildProcess>(
        std::vector<std::string>{"sh", "-c", "while :; do :; done"}));
    busy.back()->Start("/dev/null", "/dev/null");
  }
  return busy;
}

std::vector<uint8_t> E2eTest::RandomBytes(size_t count) {
  std::mt19937 random(seed_++);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(random));
  return bytes;
}

std::vector<uint8_t> E2eTest::RandomItem(sim::SlotKind kind, size_t count,
                                         const std::string& name) {
  std::vector<uint8_t> data = RandomBytes(count);
  if (kind == sim::SlotKind::Registration) return data;
  const size_t at = NameOffset(kind);
  if (count < at + 8) return data;
  std::string padded = name;
  padded.resize(8, ' ');
  std::copy(padded.begin(), padded.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
  return data;
}

std::vector<uint8_t> E2eTest::ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> E2eTest::DataPart(const std::vector<uint8_t>& file) {
  return file.size() < 64 ? std::vector<uint8_t>{}
                          : std::vector<uint8_t>(file.begin() + 64, file.end());
}

std::string E2eTest::ReadText(const std::filesystem::path& path) {
  return ChildProcess::ReadFile(path.string());
}
