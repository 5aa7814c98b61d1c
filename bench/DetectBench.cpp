// Figure 7: `ravlin-cli detect` over JACK with eight outputs to probe, two of
// them keyboards and six silent (trv408-sim that never answers): the whole
// run of the tool, process start to exit, median of several runs.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "BenchResults.h"

namespace {

constexpr int kKeyboards = 2;
constexpr int kSilent = 6;
constexpr int kRuns = 7;

int Run(const std::string& cli, const std::string& simulator) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "ravlin-detect-bench";
  std::filesystem::create_directories(dir);
  std::vector<std::unique_ptr<BenchProcess>> peers;
  for (int i = 0; i < kKeyboards + kSilent; ++i) {
    std::vector<std::string> command{simulator, "--api", "jack", "--name",
                                     "Bench Peer " + std::to_string(i)};
    if (i >= kKeyboards) command.insert(command.end(), {"--fault", "no-answer:0"});
    peers.push_back(std::make_unique<BenchProcess>(command));
    peers.back()->Start((dir / ("peer" + std::to_string(i) + ".out")).string());
    if (!peers.back()->WaitForOutput("ready", std::chrono::seconds(10))) {
      throw std::runtime_error("trv408-sim did not get ready: " + peers.back()->Output());
    }
  }

  std::vector<double> seconds;
  for (int run = 0; run < kRuns; ++run) {
    BenchProcess detect({cli, "detect"});
    detect.SetEnvironment("RAVLIN_MIDI_API", "jack");
    detect.Start((dir / "detect.out").string());
    const BenchProcess::Ended ended = detect.Wait();
    const std::string output = detect.Output();
    if (ended.status != 0 || std::count(output.begin(), output.end(), '\n') != kKeyboards) {
      throw std::runtime_error("detect did not find the two keyboards: " + output);
    }
    seconds.push_back(std::chrono::duration<double>(ended.at - detect.Started()).count());
  }
  for (auto& peer : peers) peer->Signal(SIGTERM);
  for (auto& peer : peers) peer->Wait();

  std::sort(seconds.begin(), seconds.end());
  std::printf("detect: median %.3f s (%.3f-%.3f) over %d runs\n", seconds[seconds.size() / 2],
              seconds.front(), seconds.back(), kRuns);
  BenchResults::Put("fig7.detect_s", seconds[seconds.size() / 2]);
  BenchResults::Put("fig7.detect_min_s", seconds.front());
  BenchResults::Put("fig7.detect_max_s", seconds.back());
  BenchResults::Put("fig7.runs", kRuns);
  BenchResults::Put("fig7.outputs", kKeyboards + kSilent);
  BenchResults::Put("fig7.silent", kSilent);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc != 3) {
      std::fprintf(stderr, "usage: detect_bench RAVLIN_CLI TRV408_SIM\n");
      return 2;
    }
    return Run(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "detect_bench: %s\n", e.what());
    return 1;
  }
}
