// Figure 6: from the start of the `ravlin` process to its first painted main
// window (offscreen), and its peak resident memory, beside the same for a
// minimal Qt Widgets window in the same run. The programs run unchanged; the
// paint probe style plugin reports the moment of the first frame and ends
// them. Settings as a user who has used the program has them: a MIDI device
// with its port name and a default folder of a few files.
#include <QByteArray>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "BenchResults.h"
#include "platform/SettingsStore.h"

namespace {

constexpr int kRuns = 7;
constexpr char kBuiltInName[] = "TRV-408 Simulator (built-in)";

std::map<std::string, double> ReadProbe(const std::filesystem::path& path) {
  std::map<std::string, double> values;
  QFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::ReadOnly)) return values;
  for (const QByteArray& line : file.readAll().split('\n')) {
    const QList<QByteArray> words = line.split(' ');
    bool ok = false;
    if (words.size() == 2) {
      const double value = words[1].toDouble(&ok);
      if (ok) values[words[0].toStdString()] = value;
    }
  }
  return values;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Prepare(const std::filesystem::path& work) {
  std::filesystem::remove_all(work);
  const auto data = work / "data";
  std::filesystem::create_directories(data);
  std::filesystem::create_directories(work / "runtime");
  std::filesystem::permissions(work / "runtime", std::filesystem::perms::owner_all);
  for (int i = 0; i < 30; ++i) {
    QFile file(QString::fromStdString((data / ("SONG" + std::to_string(i) + ".lqd")).string()));
    if (file.open(QIODevice::WriteOnly)) file.write(QByteArray(1088, '\0'));
  }
  SettingsStore store(QString::fromStdString((work / "config/Vardo/Ravlin.ini").string()));
  const auto ports = [] { return std::vector<std::string>{kBuiltInName}; };
  store.SetDeviceLists(ports, ports);
  store.Save({0, 0, QString::fromStdString(data.string())});
}

struct Runs {
  std::vector<double> startup;
  std::vector<double> peak;
  std::map<std::string, std::vector<double>> memory;
};

// Runs `program` kRuns times after one run that only brings its files into
// the page cache; false when a run did not paint.
bool Measure(const std::string& program, const std::filesystem::path& work, Runs& runs) {
  for (int run = 0; run <= kRuns; ++run) {
    const auto probe = work / "paint.txt";
    std::filesystem::remove(probe);
    BenchProcess process({program, "-style", "paintprobe"});
    process.SetEnvironment("QT_QPA_PLATFORM", "offscreen");
    process.SetEnvironment("QT_PLUGIN_PATH", RAVLIN_BENCH_PLUGINS);
    process.SetEnvironment("XDG_CONFIG_HOME", (work / "config").string());
    process.SetEnvironment("XDG_RUNTIME_DIR", (work / "runtime").string());
    process.SetEnvironment("RAVLIN_BENCH_PAINT_FILE", probe.string());
    process.Start((work / "program.out").string());
    bool killed = false;
    const BenchProcess::Ended ended = process.Wait(std::chrono::seconds(60), killed);
    const auto values = ReadProbe(probe);
    if (killed || ended.status != 0 || values.count("painted_ns") == 0) {
      std::fprintf(stderr, "startup_bench: %s painted no window (exit %d%s):\n%s", program.c_str(),
                   ended.status, killed ? ", killed after 60 s" : "", process.Output().c_str());
      return false;
    }
    if (run == 0) continue;
    const auto started =
        std::chrono::duration_cast<std::chrono::nanoseconds>(process.Started().time_since_epoch());
    runs.startup.push_back((values.at("painted_ns") - static_cast<double>(started.count())) / 1e9);
    runs.peak.push_back(static_cast<double>(ended.usage.ru_maxrss));
    for (const char* name : {"VmHWM", "RssAnon", "RssFile", "RssShmem", "Pss"})
      if (values.count(name) != 0) runs.memory[name].push_back(values.at(name));
  }
  return true;
}

void Report(const std::string& what, const std::string& key, const Runs& runs) {
  const auto [low, high] = std::minmax_element(runs.startup.begin(), runs.startup.end());
  std::printf("%s: start to first painted main window, %d runs: median %.3f s (%.3f to %.3f)\n",
              what.c_str(), kRuns, Median(runs.startup), *low, *high);
  std::printf("  peak resident memory: median %.0f KiB\n", Median(runs.peak));
  BenchResults::Put(key + ".startup_s", Median(runs.startup));
  BenchResults::Put(key + ".startup_min_s", *low);
  BenchResults::Put(key + ".startup_max_s", *high);
  BenchResults::Put(key + ".maxrss_kib", Median(runs.peak));
  BenchResults::Put(key + ".runs", kRuns);
  for (const auto& [name, values] : runs.memory) {
    std::printf("  at the first paint: %s %.0f KiB\n", name.c_str(), Median(values));
    BenchResults::Put(key + "." + name + "_kib", Median(values));
  }
}

}  // namespace

// Arguments: the paths of ravlin and of the minimal window.
int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: startup_bench RAVLIN QT_WINDOW_PEER\n");
    return 2;
  }
  const char* tmp = std::getenv("TMPDIR");
  const std::filesystem::path work = std::filesystem::path(tmp != nullptr ? tmp : "/tmp") /
                                     ("ravlin-startup-bench-" + std::to_string(getpid()));
  Prepare(work);
  Runs ravlin;
  Runs peer;
  const bool measured = Measure(argv[1], work, ravlin) && Measure(argv[2], work, peer);
  std::filesystem::remove_all(work);
  if (!measured) return 1;
  Report("ravlin", "fig6", ravlin);
  Report("minimal Qt window", "fig6peer", peer);
  return 0;
}
