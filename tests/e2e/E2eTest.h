#pragma once

#include <gtest/gtest.h>

#include <QJsonObject>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "JackServer.h"
#include "SimProcess.h"
#include "sim/SlotId.h"
#include "sim/Trv408.h"

// What one run of ravlin-cli left behind.
struct CliResult {
  int status = -1;  // exit status; -1 when it did not exit by itself
  std::string out;
  std::string err;
};

// ravlin-cli and trv408-sim as two processes on the JACK server: each test
// starts its own simulators under names of their own (so that tests can run
// side by side on one server) in a folder of its own, and runs the tool on
// them with RAVLIN_MIDI_API=jack, choosing the ports by name.
class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Moves this test to a JACK server of its own: port numbers that no other
  // test changes, and a killed client that stalls no other test's messages.
  void UsePrivateServer();
  // A simulator under a new name, with --memory (a file in the test's folder
  // unless `memory` names one) and `options`; the test ends when it does not
  // get ready.
  SimProcess& StartSim(const std::vector<std::string>& options = {},
                       std::filesystem::path memory = {});
  // Starts a stopped or killed simulator again under its name, on its memory
  // file, with these options.
  void Restart(SimProcess& sim, const std::vector<std::string>& options = {});
  std::filesystem::path MemoryFile(const SimProcess& sim) const;
  // The name the next StartSim gives its simulator.
  std::string NextSimName() const;
  static std::vector<std::string> OnPorts(const SimProcess& sim,
                                          const std::vector<std::string>& arguments);

  // A run of the tool in the background.
  struct Launched {
    std::unique_ptr<ChildProcess> process;
    std::string stem;  // its output goes to stem.stdout and stem.stderr
    std::string command;
  };
  Launched Launch(const std::vector<std::string>& arguments);
  CliResult Finish(Launched& launched);
  // The tool with these arguments as they are, or on the simulator's ports
  // chosen by its name.
  CliResult Run(const std::vector<std::string>& arguments);
  CliResult Cli(const SimProcess& sim, const std::vector<std::string>& arguments);
  // Expects success with nothing on standard error; returns standard output.
  std::string Ok(const SimProcess& sim, const std::vector<std::string>& arguments);
  // Expects exit status 1 with exactly this line on standard error.
  void ExpectFailure(const CliResult& result, const std::string& line);

  QJsonObject Json(const SimProcess& sim, const std::string& command);
  static QJsonObject SlotJson(const QJsonObject& list, const std::string& address);

  // The simulator's memory as its file holds it now.
  std::unique_ptr<sim::Trv408> Memory(const SimProcess& sim) const;
  // A memory file with the demo contents changed by `change`.
  std::filesystem::path WriteMemory(const std::string& name,
                                    const std::function<void(sim::Trv408&)>& change);

  // A data file of this type holding `data` (in file order).
  std::filesystem::path WriteLqd(const std::string& name, uint16_t type,
                                 const std::vector<uint8_t>& data);
  std::vector<uint8_t> RandomBytes(size_t count);

  // Two programs a core that keep it busy for as long as the result lives: a
  // loaded machine, whose threads hand messages in late and together.
  static std::vector<std::unique_ptr<ChildProcess>> BusyMachine();
  // `count` random bytes with an 8-character data name at its place.
  std::vector<uint8_t> RandomItem(sim::SlotKind kind, size_t count, const std::string& name);

  std::filesystem::path Path(const std::string& name) const { return dir_ / name; }
  static std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
  static std::vector<uint8_t> DataPart(const std::vector<uint8_t>& file);
  static std::string ReadText(const std::filesystem::path& path);

  std::filesystem::path dir_;

 private:
  std::unique_ptr<JackServer> privateServer_;
  std::vector<std::unique_ptr<SimProcess>> sims_;
  std::map<const SimProcess*, std::filesystem::path> memoryFiles_;
  int runs_ = 0;
  uint32_t seed_ = 0x5EED;
};
