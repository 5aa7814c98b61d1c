// e2e_soak: send-and-import round trips with trv408-sim over JACK in one
// process, with its resident memory before and after.
//
//   e2e_soak [--rounds N] [--seed S] [--max-rss-growth KIB]
//
// Uses the JACK server JACK_DEFAULT_SERVER names, else starts a private one.
// Exit status: 0 every round the same and the memory within the limit, 1
// otherwise, 77 no JACK server to be had.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "JackServer.h"
#include "SimProcess.h"
#include "SoakRun.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "platform/midi/MidiSystem.h"
#include "platform/midi/ServiceDriver.h"

namespace {

constexpr int kSkip = 77;

// Stopped at exit after the MIDI system's clients have closed: static
// objects go in the reverse order of their making, and this is made first.
JackServer* server = nullptr;

void StopServer() {
  delete server;
  server = nullptr;
}

int Find(const std::vector<std::string>& names, const std::string& name) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<int>(i);
  }
  return -1;
}

bool Parse(int argc, char** argv, SoakRun::Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (option == "--rounds") {
      options.rounds = std::atoi(value);
    } else if (option == "--seed") {
      options.seed = static_cast<uint32_t>(std::strtoul(value, nullptr, 0));
    } else if (option == "--max-rss-growth") {
      options.maxGrowthKiB = std::atol(value);
    } else {
      return false;
    }
  }
  return options.rounds > 0;
}

int Soak(const SoakRun::Options& options, const std::filesystem::path& folder) {
  SimProcess sim(SIMULATOR, "Soak " + std::to_string(getpid()) + " Sim", folder);
  if (!sim.Start({"--memory", (folder / "memory.txt").string()})) {
    std::fprintf(stderr, "e2e_soak: the simulator did not start:\n%s", sim.Output().c_str());
    return 1;
  }
  setenv("RAVLIN_MIDI_API", "jack", 1);
  MidiSystem& midi = MidiSystem::Instance();
  const int in = Find(midi.InputNames(), sim.OutputPort());
  const int out = Find(midi.OutputNames(), sim.InputPort());
  if (in < 0 || out < 0) {
    std::fprintf(stderr, "e2e_soak: the service (%s) does not list the simulator's ports\n",
                 midi.ApiName().c_str());
    return 1;
  }

  std::printf("e2e_soak: %d rounds, seed %u, JACK server %s\n", options.rounds, options.seed,
              JackServer::Name().c_str());
  std::fflush(stdout);
  SoakRun::Outcome outcome;
  try {
    outcome = SoakRun(options, in, out).Run();
  } catch (...) {
    std::fprintf(stderr, "e2e_soak: the keyboard could not be listed\n");
    QnKbdDrv::Destroy();
    return 1;
  }
  QnKbdDrv::Destroy();

  const long growth = outcome.rssEndKiB - outcome.rssStartKiB;
  std::printf(
      "e2e_soak: %d rounds, %d failed, %llu bytes each way, %.1f s\n"
      "e2e_soak: resident memory after warm-up %ld KiB, at the end %ld KiB (%+ld KiB), "
      "peak %ld KiB\n",
      outcome.rounds, outcome.failures, static_cast<unsigned long long>(outcome.bytes),
      outcome.seconds, outcome.rssStartKiB, outcome.rssEndKiB, growth, outcome.rssPeakKiB);
  bool passed = outcome.failures == 0 && outcome.rounds == options.rounds;
  if (options.maxGrowthKiB >= 0 && growth > options.maxGrowthKiB) {
    std::printf("e2e_soak: the resident memory grew by more than %ld KiB\n", options.maxGrowthKiB);
    passed = false;
  }
  std::printf("%d passed, %d failed\n", outcome.rounds - outcome.failures, outcome.failures);
  return passed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  SoakRun::Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr, "usage: e2e_soak [--rounds N] [--seed S] [--max-rss-growth KIB]\n");
    return 2;
  }
  MidiDev::UseDriver(&ServiceDriver::ForMidiSystem());
  server = new JackServer;
  std::atexit(StopServer);
  switch (server->Ensure()) {
    case JackServer::State::Ready:
      break;
    case JackServer::State::Missing:
      std::printf("e2e_soak: skipped: %s\n", server->Why().c_str());
      return kSkip;
    case JackServer::State::Failed:
      std::fprintf(stderr, "e2e_soak: %s\n", server->Why().c_str());
      return 1;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "ravlin-soak-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  const int status = Soak(options, pattern);
  std::error_code ignored;
  std::filesystem::remove_all(pattern, ignored);
  return status;
}
