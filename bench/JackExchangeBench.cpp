// Figure 3: the cost of one exchange through MidiDev over JACK against a bare
// ping-pong of one libjack client on the same JACK server, both with the same request to the
// same trv408-sim process. Each round times a batch of each, in alternating
// order, so that both see the same machine.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "BenchResults.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"
#include "platform/midi/JackSysExClient.h"
#include "platform/midi/MidiSystem.h"
#include "platform/midi/ServiceDriver.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kPeerName[] = "Bench Peer";
// Read parameter 0 of the keyboard itself, the first request of every
// Get/Update List; the answer is 13 bytes.
const std::vector<uint8_t> kRequest{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10,
                                    0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7};
constexpr int kBatch = 100;
constexpr auto kAnswerLimit = std::chrono::seconds(1);

std::string PeerIn() { return std::string(kPeerName) + ":in"; }
std::string PeerOut() { return std::string(kPeerName) + ":out"; }

int IndexOf(const std::vector<std::string>& names, const std::string& wanted) {
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == wanted) return static_cast<int>(i);
  throw std::runtime_error("no MIDI port " + wanted);
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The least a program can do with one JACK client holding both ports, as the
// program holds them: send through the client, wake on its input's callback.
// The two peers' connections then form the same loop in JACK's graph as the
// program's do, and JACK carries one edge of a loop a period late; a bare
// round trip through two clients of its own would not pay that period.
class BarePingPong {
 public:
  BarePingPong() : client_(JackSysExClient::Open("Bench Bare")) {
    if (!client_) throw std::runtime_error("no JACK client");
    in_ = client_->OpenInput(PeerOut(), [this](const uint8_t* message, size_t size, auto) {
      if (size == 0 || message[0] != 0xF0) return;
      {
        std::lock_guard lock(mutex_);
        answered_ = true;
      }
      answer_.notify_all();
    });
    out_ = client_->OpenOutput(PeerIn());
    if (in_ < 0 || out_ < 0) throw std::runtime_error("the bare client cannot reach the peer");
  }
  ~BarePingPong() {
    client_->CloseInput(in_);
    client_->CloseOutput(out_);
  }

  // False when no answer came within the limit.
  bool Exchange(const std::vector<uint8_t>& request) {
    {
      std::lock_guard lock(mutex_);
      answered_ = false;
    }
    client_->Send(out_, request.data(), request.size());
    std::unique_lock lock(mutex_);
    return answer_.wait_for(lock, kAnswerLimit, [this] { return answered_; });
  }

 private:
  std::unique_ptr<JackSysExClient> client_;
  int in_ = -1;
  int out_ = -1;
  std::mutex mutex_;
  std::condition_variable answer_;
  bool answered_ = false;
};

// The program's way: MidiDev on the system's MIDI service, each exchange
// awaited by a coroutine that the service's driver runs to its end.
class DevicePingPong {
 public:
  DevicePingPong() : device_(*MidiDev::Instance()) {
    MidiSystem& midi = MidiSystem::Instance();
    device_.OpenIn(IndexOf(midi.InputNames(), PeerOut()));
    device_.OpenOut(IndexOf(midi.OutputNames(), PeerIn()));
    device_.SetWaitReply(1);
  }
  ~DevicePingPong() { delete &device_; }

  bool Exchange(const std::vector<uint8_t>& request) {
    device_.Request() = request;
    try {
      RunToEnd(One(device_));
    } catch (const MidiDevException&) {
      return false;
    }
    return device_.Reply().size() > 10;
  }

 private:
  static Task<void> One(MidiDev& device) {
    MidiDev::Exchanging exchanging = device.Exchange();
    co_await exchanging;
  }

  MidiDev& device_;
};

// Times one batch; a negative time when an answer was lost.
template <class PingPong>
double Batch(PingPong& pingPong) {
  const auto start = Clock::now();
  for (int i = 0; i < kBatch; ++i)
    if (!pingPong.Exchange(kRequest)) return -1;
  return Seconds(Clock::now() - start);
}

void BM_ExchangeOverJack(benchmark::State& state) {
  BarePingPong bare;
  DevicePingPong ours;
  Batch(bare);  // first use: JACK connections and threads settle
  Batch(ours);

  // Each round's ratio pairs two batches run next to each other; the median
  // round is the figure, so that a stall caused by another program in one
  // batch does not decide it.
  std::vector<double> ratios;
  double bareTime = 0;
  double oursTime = 0;
  int lost = 0;
  for (auto _ : state) {
    const bool bareFirst = ratios.size() % 2 == 0;
    double b = bareFirst ? Batch(bare) : 0;
    const double o = Batch(ours);
    if (!bareFirst) b = Batch(bare);
    if (b < 0 || o < 0) {
      ++lost;
      state.SetIterationTime(1e-9);
      continue;
    }
    bareTime += b;
    oursTime += o;
    ratios.push_back(o / b);
    state.SetIterationTime(o);
  }
  if (ratios.empty()) {
    state.SkipWithError("every round lost an answer");
    return;
  }
  std::sort(ratios.begin(), ratios.end());
  const double exchanges = static_cast<double>(ratios.size()) * kBatch;
  state.counters["bare_us"] = bareTime / exchanges * 1e6;
  state.counters["ours_us"] = oursTime / exchanges * 1e6;
  state.counters["cost"] = ratios[ratios.size() / 2];
  state.counters["lost_rounds"] = lost;
  BenchResults::Put("fig3.bare_s", bareTime);
  BenchResults::Put("fig3.ours_s", oursTime);
  BenchResults::Put("fig3.exchanges", exchanges);
  BenchResults::Put("fig3.rounds", static_cast<double>(ratios.size()));
  BenchResults::Put("fig3.cost_median", ratios[ratios.size() / 2]);
  BenchResults::Put("fig3.cost_min", ratios.front());
  BenchResults::Put("fig3.cost_max", ratios.back());
  BenchResults::Put("fig3.lost_rounds", lost);
  BenchResults::Put("fig3.request_bytes", static_cast<double>(kRequest.size()));
}

}  // namespace

BENCHMARK(BM_ExchangeOverJack)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

// trv408-sim --api jack is started as the peer; its path is the first
// argument (default: trv408-sim from PATH).
int main(int argc, char** argv) {
  std::string simulator = "trv408-sim";
  std::vector<char*> args(argv, argv + argc);
  if (args.size() > 1 && args[1][0] != '-') {
    simulator = args[1];
    args.erase(args.begin() + 1);
  }
  argc = static_cast<int>(args.size());
  argv = args.data();
  setenv("RAVLIN_MIDI_API", "jack", 1);
  MidiDev::UseDriver(&ServiceDriver::ForMidiSystem());
  const char* tmp = std::getenv("TMPDIR");
  const std::string peerOut = std::string(tmp != nullptr ? tmp : "/tmp") + "/ravlin-bench-peer.out";
  BenchProcess peer({simulator, "--api", "jack", "--name", kPeerName});
  peer.Start(peerOut);
  if (!peer.WaitForOutput("\nready\n", std::chrono::seconds(30))) {
    std::fprintf(stderr, "jack_exchange_bench: the peer did not start:\n%s", peer.Output().c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  peer.Signal(SIGTERM);
  peer.Wait();
  std::remove(peerOut.c_str());
  return 0;
}
