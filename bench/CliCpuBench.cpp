// Figure 4: processor time against wall time of `ravlin-cli import` of a song
// that fills the whole song and rhythm memory, from trv408-sim --cable over
// JACK. The processor time is the child's own, user and system, from wait4.
// Beside it, for the same time, a process that only holds one JACK client
// with an input and an output (connected to the same keyboard, as the tool
// has them): what JACK itself costs any program that talks MIDI through it.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchProcess.h"
#include "BenchResults.h"
#include "platform/midi/JackSysExClient.h"
#include "sim/Memory.h"
#include "sim/Trv408.h"

namespace {

constexpr char kKeyboardName[] = "Bench Keyboard";
constexpr char kSongName[] = "BENCHSNG";

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

double ProcessorSeconds(const rusage& usage) {
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// The child that measures JACK's own cost.
int HoldPorts(double seconds) {
  const auto client = JackSysExClient::Open("Bench Idle");
  if (!client) throw std::runtime_error("no JACK server");
  const std::string keyboard = kKeyboardName;
  if (client->OpenInput(keyboard + ":out", [](const uint8_t*, size_t, auto) {}) < 0 ||
      client->OpenOutput(keyboard + ":in") < 0)
    throw std::runtime_error("cannot connect to the JACK ports of " + keyboard);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  return 0;
}

// A keyboard whose song 0 takes the whole song and rhythm memory.
void WriteMemory(const std::string& path) {
  sim::Trv408 keyboard;
  for (int s = 0; s < sim::Memory::kSongs; ++s) keyboard.Clear({sim::SlotKind::Song, 0, s});
  for (int r = 0; r < sim::Memory::kRhythms; ++r) keyboard.Clear({sim::SlotKind::Rhythm, 0, r});
  std::vector<uint8_t> song(sim::Trv408::kSongRhythmMemory);
  uint32_t x = 4711;
  for (auto& b : song) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  const size_t name = *sim::Memory::NameOffset(sim::SlotKind::Song);
  for (size_t i = 0; i < 8; ++i) song[name + i] = static_cast<uint8_t>(kSongName[i]);
  keyboard.SetItem({sim::SlotKind::Song, 0, 0}, song);
  if (!keyboard.Save(path)) throw std::runtime_error("cannot write " + path);
}

struct Usage {
  double wall = 0;
  double processor = 0;
};

// Runs this program as the idle child for `seconds`; false when it failed.
bool Idle(const std::string& self, double seconds, const std::filesystem::path& out, Usage& usage) {
  BenchProcess idle({self, "--hold-ports", std::to_string(seconds)});
  idle.Start(out.string());
  const BenchProcess::Ended ended = idle.Wait();
  if (ended.status != 0) {
    std::fprintf(stderr, "cli_cpu_bench: the idle JACK client failed:\n%s", idle.Output().c_str());
    return false;
  }
  usage.wall = std::chrono::duration<double>(ended.at - idle.Started()).count();
  usage.processor = ProcessorSeconds(ended.usage);
  std::printf("idle JACK client with an input and an output for as long\n");
  std::printf("  wall %.3f s, processor %.3f s, processor/wall %.4f\n", usage.wall, usage.processor,
              usage.processor / usage.wall);
  return true;
}

// One import into an empty folder; false when it failed.
bool Import(const std::string& cli, const std::filesystem::path& work, Usage& usage) {
  std::filesystem::remove_all(work / "import");
  std::filesystem::create_directories(work / "import");
  BenchProcess import({cli, "--in", std::string(kKeyboardName) + ":out", "--out",
                       std::string(kKeyboardName) + ":in", "import", "song/0",
                       (work / "import").string()});
  import.SetEnvironment("RAVLIN_MIDI_API", "jack");
  import.SetEnvironment("XDG_CONFIG_HOME", (work / "config").string());
  import.Start((work / "cli.out").string());
  const BenchProcess::Ended ended = import.Wait();

  // The one file the import wrote: a 64-byte header and the song.
  uintmax_t size = 0;
  for (const auto& entry : std::filesystem::directory_iterator(work / "import"))
    size += entry.file_size();
  if (ended.status != 0 || size != 64 + sim::Trv408::kSongRhythmMemory) {
    std::fprintf(stderr, "cli_cpu_bench: the import failed (exit %d):\n%s", ended.status,
                 import.Output().c_str());
    return false;
  }
  usage.wall = std::chrono::duration<double>(ended.at - import.Started()).count();
  usage.processor = ProcessorSeconds(ended.usage);
  std::printf("ravlin-cli import song/0 (%u bytes) over JACK from trv408-sim --cable\n",
              sim::Trv408::kSongRhythmMemory);
  std::printf("  wall %.3f s, user %.3f s, system %.3f s, processor/wall %.4f, peak RSS %ld KiB\n",
              usage.wall, Seconds(ended.usage.ru_utime), Seconds(ended.usage.ru_stime),
              usage.processor / usage.wall, ended.usage.ru_maxrss);
  return true;
}

int Run(const std::string& self, const std::string& cli, const std::string& simulator) {
  const char* tmp = std::getenv("TMPDIR");
  const std::filesystem::path work = std::filesystem::path(tmp != nullptr ? tmp : "/tmp") /
                                     ("ravlin-cli-bench-" + std::to_string(getpid()));
  std::filesystem::remove_all(work);
  std::filesystem::create_directories(work / "config");
  const std::string memory = (work / "memory.txt").string();
  WriteMemory(memory);

  BenchProcess keyboard(
      {simulator, "--api", "jack", "--name", kKeyboardName, "--cable", "--memory", memory});
  keyboard.Start((work / "sim.out").string());
  if (!keyboard.WaitForOutput("\nready\n", std::chrono::seconds(30))) {
    std::fprintf(stderr, "cli_cpu_bench: trv408-sim did not start:\n%s", keyboard.Output().c_str());
    return 1;
  }

  // Import, idle, idle, import: a load that rises or falls during the run
  // weighs on both alike.
  Usage imports[2];
  Usage idles[2];
  const bool measured =
      Import(cli, work, imports[0]) && Idle(self, imports[0].wall, work / "idle.out", idles[0]) &&
      Idle(self, imports[0].wall, work / "idle.out", idles[1]) && Import(cli, work, imports[1]);
  keyboard.Signal(SIGTERM);
  keyboard.Wait();
  std::filesystem::remove_all(work);
  if (!measured) return 1;

  BenchResults::Put("fig4.wall_s", imports[0].wall + imports[1].wall);
  BenchResults::Put("fig4.cpu_s", imports[0].processor + imports[1].processor);
  BenchResults::Put("fig4.idle_wall_s", idles[0].wall + idles[1].wall);
  BenchResults::Put("fig4.idle_cpu_s", idles[0].processor + idles[1].processor);
  BenchResults::Put("fig4.imports", 2);
  return 0;
}

}  // namespace

// Arguments: the paths of ravlin-cli and trv408-sim. A JACK server must run.
int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string(argv[1]) == "--hold-ports") return HoldPorts(std::stod(argv[2]));
    if (argc != 3) {
      std::fprintf(stderr, "usage: cli_cpu_bench RAVLIN_CLI TRV408_SIM\n");
      return 2;
    }
    return Run("/proc/self/exe", argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cli_cpu_bench: %s\n", e.what());
    return 1;
  }
}
