// Figures 1, 2 and 8: a full song sent and received (also with the MIDI
// monitor open), the Get/Update List and a whole-keyboard backup, through the
// real MidiDev to the built-in keyboard on 31250-baud cable timing, against
// the time their bytes take on the wire.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchResults.h"
#include "WireTally.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "files/SlotAddress.h"
#include "jobs/KeyboardBackup.h"
#include "jobs/TransferJob.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"
#include "platform/midi/ServiceDriver.h"
#include "protocol/QnSysEx.h"
#include "protocol/SysExAddress.h"
#include "support/BuiltInKeyboard.h"

#ifdef RAVLIN_BENCH_MONITOR
#include <QApplication>
#include <QEventLoop>
#include <thread>

#include "dialogs/TMidiMonitorForm.h"
#include "protocol/MsgStr.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr sim::Timing kCable{true, std::chrono::milliseconds(1)};
constexpr uint32_t kSongBytes = sim::Trv408::kSongRhythmMemory;
constexpr uint8_t kSongCategory = 10;
const sim::SlotId kSong0{sim::SlotKind::Song, 0, 0};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::vector<uint8_t> SongData() {
  std::vector<uint8_t> data(kSongBytes);
  uint32_t x = 12345;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return data;
}

// Item data in file order (high byte first) as the words a transfer works on.
std::vector<uint16_t> ToWords(const std::vector<uint8_t>& data) {
  std::vector<uint16_t> words(data.size() / 2);
  for (size_t i = 0; i < words.size(); ++i)
    words[i] = static_cast<uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
  return words;
}

std::vector<uint8_t> ToBytes(const std::vector<uint16_t>& words) {
  std::vector<uint8_t> data;
  for (uint16_t w : words) {
    data.push_back(static_cast<uint8_t>(w >> 8));
    data.push_back(static_cast<uint8_t>(w & 0xFF));
  }
  return data;
}

void EmptySongMemory() {
  for (int s = 0; s < 2; ++s) BuiltInKeyboard::Keyboard().Clear({sim::SlotKind::Song, 0, s});
  for (int r = 0; r < 4; ++r) BuiltInKeyboard::Keyboard().Clear({sim::SlotKind::Rhythm, 0, r});
}

// The wire bound and the measured time of each iteration of one benchmark.
// Other programs on a busy machine stretch some iterations; the one with the
// median ratio is the figure, the spread is reported beside it.
class Figure {
 public:
  explicit Figure(std::string key) : key_(std::move(key)) {}

  void Add(const WireTally::Bound& bound, Clock::duration measured) {
    runs_.push_back({std::chrono::duration<double>(bound.time).count(), Seconds(measured)});
    last_ = bound;
  }

  void Report(benchmark::State& state) const {
    std::vector<Run> runs = runs_;
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return a.Ratio() < b.Ratio(); });
    const Run& median = runs[runs.size() / 2];
    state.counters["bound_s"] = median.bound;
    state.counters["measured_s"] = median.measured;
    state.counters["ratio"] = median.Ratio();
    state.counters["ratio_min"] = runs.front().Ratio();
    state.counters["ratio_max"] = runs.back().Ratio();
    BenchResults::Put(key_ + ".bound_s", median.bound);
    BenchResults::Put(key_ + ".measured_s", median.measured);
    BenchResults::Put(key_ + ".ratio_min", runs.front().Ratio());
    BenchResults::Put(key_ + ".ratio_max", runs.back().Ratio());
    BenchResults::Put(key_ + ".iterations", static_cast<double>(runs.size()));
    BenchResults::Put(key_ + ".requests", last_.requests);
    BenchResults::Put(key_ + ".request_bytes", static_cast<double>(last_.requestBytes));
    BenchResults::Put(key_ + ".answers", last_.answers);
    BenchResults::Put(key_ + ".answer_bytes", static_cast<double>(last_.answerBytes));
    BenchResults::Put(key_ + ".answered", last_.answered);
    BenchResults::Put(key_ + ".reply_delay_ms",
                      std::chrono::duration<double, std::milli>(kCable.replyDelay).count());
  }

 private:
  struct Run {
    double bound;
    double measured;
    double Ratio() const { return bound / measured; }
  };

  std::string key_;
  std::vector<Run> runs_;
  WireTally::Bound last_;
};

// The protocol object on the built-in keyboard, cable timing on; the ports
// are opened before anything is timed.
class CableLink {
 public:
  CableLink() {
    BuiltInKeyboard::Reset();
    BuiltInKeyboard::Link().SetTiming(kCable);
    tally_ = std::make_unique<WireTally>(BuiltInKeyboard::Keyboard(), kCable);
    protocol_->OpenIn(static_cast<int>(BuiltInKeyboard::Input()));
    protocol_->OpenOut(static_cast<int>(BuiltInKeyboard::Output()));
  }
  ~CableLink() {
    tally_.reset();
    BuiltInKeyboard::Reset();
  }

  // Once the keyboard has handled everything sent: a transfer ends when its
  // last message has gone out, which may be before the keyboard has taken it.
  WireTally& Tally() {
    BuiltInKeyboard::Settle();
    return *tally_;
  }

  void Transfer(uint8_t command, std::vector<uint16_t>& words, uint32_t bytes) {
    protocol_->SetModel(QnSysEx::kModelCode);
    protocol_->SetDevice(QnSysEx::kDeviceNumber);
    protocol_->SetCommand(command);
    address_ = SysExAddress{};
    address_.category = kSongCategory;
    address_.itemNumber = 0;
    address_.bytesRemaining = bytes;
    address_.words = words.data();
    address_.wordCount = static_cast<uint32_t>(words.size());
    protocol_->SetAddress(&address_);
    RunToEnd(protocol_->Transact());
  }

 private:
  QnSysEx* protocol_ = QnSysEx::Instance();
  std::unique_ptr<WireTally> tally_;
  SysExAddress address_;
};

void BM_SongSend(benchmark::State& state) {
  CableLink link;
  const std::vector<uint8_t> data = SongData();
  std::vector<uint16_t> words = ToWords(data);
  Figure figure("fig1.send");
  for (auto _ : state) {
    EmptySongMemory();
    link.Tally().Begin();
    const auto start = Clock::now();
    link.Transfer(QnSysEx::kSendBlocks, words, kSongBytes);
    const auto measured = Clock::now() - start;
    state.SetIterationTime(Seconds(measured));
    figure.Add(link.Tally().End(), measured);
    if (BuiltInKeyboard::Keyboard().Item(kSong0) != data) {
      state.SkipWithError("the keyboard holds other data than was sent");
      return;
    }
  }
  figure.Report(state);
}

void BM_SongReceive(benchmark::State& state) {
  CableLink link;
  const std::vector<uint8_t> data = SongData();
  Figure figure("fig1.receive");
  for (auto _ : state) {
    EmptySongMemory();
    BuiltInKeyboard::Keyboard().SetItem(kSong0, data);
    std::vector<uint16_t> words(kSongBytes / 2);
    link.Tally().Begin();
    const auto start = Clock::now();
    link.Transfer(QnSysEx::kReceiveBlocks, words, 0);
    const auto measured = Clock::now() - start;
    state.SetIterationTime(Seconds(measured));
    figure.Add(link.Tally().End(), measured);
    if (ToBytes(words) != data) {
      state.SkipWithError("the song came back changed");
      return;
    }
  }
  figure.Report(state);
}

#ifdef RAVLIN_BENCH_MONITOR
// The receive again with the MIDI monitor window open: the transfer runs on a
// thread of its own while the window's event loop shows each message, as in
// the program, where the window keeps its loop running during an exchange.
void BM_SongReceiveMonitored(benchmark::State& state) {
  const MsgStr messages;
  TMidiMonitorForm monitor(messages);
  monitor.show();

  CableLink link;
  const std::vector<uint8_t> data = SongData();
  Figure figure("fig1.monitored");
  for (auto _ : state) {
    EmptySongMemory();
    BuiltInKeyboard::Keyboard().SetItem(kSong0, data);
    std::vector<uint16_t> words(kSongBytes / 2);
    link.Tally().Begin();
    QEventLoop loop;
    const auto start = Clock::now();
    std::thread transfer([&] {
      link.Transfer(QnSysEx::kReceiveBlocks, words, 0);
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    transfer.join();
    const auto measured = Clock::now() - start;
    state.SetIterationTime(Seconds(measured));
    figure.Add(link.Tally().End(), measured);
    monitor.Refresh();
    if (ToBytes(words) != data) {
      state.SkipWithError("the song came back changed");
      return;
    }
  }
  BenchResults::Put("fig1.monitored.rows", monitor.Model().rowCount());
  figure.Report(state);
}
#endif

void BM_GetList(benchmark::State& state) {
  CableLink link;
  QnKbdDrv* keyboard = QnKbdDrv::Instance();
  const auto in = static_cast<int32_t>(BuiltInKeyboard::Input());
  const auto out = static_cast<int32_t>(BuiltInKeyboard::Output());
  Figure figure("fig2.getlist");
  for (auto _ : state) {
    link.Tally().Begin();
    const auto start = Clock::now();
    RunToEnd(keyboard->Connect(in, out));
    const auto measured = Clock::now() - start;
    state.SetIterationTime(Seconds(measured));
    figure.Add(link.Tally().End(), measured);
    if (!keyboard->IsConnected()) {
      state.SkipWithError("the list was not read");
      return;
    }
  }
  figure.Report(state);
  QnKbdDrv::Destroy();
}

// The list read and every item of the demo memory written into a folder, as
// the window's and the tool's backup do; the files are synced to the disk as
// any file the program writes.
void BM_Backup(benchmark::State& state) {
  CableLink link;
  QnKbdDrv* keyboard = QnKbdDrv::Instance();
  const auto in = static_cast<int32_t>(BuiltInKeyboard::Input());
  const auto out = static_cast<int32_t>(BuiltInKeyboard::Output());
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("ravlin-backup-bench-" + std::to_string(::getpid()));
  Figure figure("fig8.backup");
  size_t files = 0;
  for (auto _ : state) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    KeyboardBackup backup;
    link.Tally().Begin();
    const auto start = Clock::now();
    RunToEnd(keyboard->Connect(in, out));
    RunToEnd(backup.Backup(*keyboard, {in, out, nullptr}, folder.string()));
    const auto measured = Clock::now() - start;
    state.SetIterationTime(Seconds(measured));
    figure.Add(link.Tally().End(), measured);
    files = static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
    if (files == 0) {
      state.SkipWithError("the backup wrote no files");
      break;
    }
  }
  std::filesystem::remove_all(folder);
  BenchResults::Put("fig8.backup.files", static_cast<double>(files));
  figure.Report(state);
  QnKbdDrv::Destroy();
}

// A cancel asked for by another thread (as a click or a signal asks) while a
// job runs on the cable: from the request to the end of the job. An import
// stops before its next block; a batch of two sends finishes the item it is
// in and then ends at once.
class CancelLater {
 public:
  explicit CancelLater(std::chrono::milliseconds after)
      : thread_([this, after] {
          std::this_thread::sleep_for(after);
          asked_ = Clock::now();
          MidiDev::Instance()->RequestCancel();
        }) {}
  ~CancelLater() {
    if (thread_.joinable()) thread_.join();
  }
  Clock::time_point Asked() {
    if (thread_.joinable()) thread_.join();
    return asked_;
  }

 private:
  Clock::time_point asked_{};
  std::thread thread_;
};

// When the job last finished an item.
class ItemEnds : public JobEvents {
 public:
  void Done(const Item&, Kind kind, const std::string&) override {
    if (kind == Kind::Sent || kind == Kind::Imported) last = Clock::now();
  }
  Clock::time_point last{};
};

void BM_CancelImport(benchmark::State& state) {
  CableLink link;
  QnKbdDrv* keyboard = QnKbdDrv::Instance();
  const auto in = static_cast<int32_t>(BuiltInKeyboard::Input());
  const auto out = static_cast<int32_t>(BuiltInKeyboard::Output());
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("ravlin-cancel-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::vector<double> latencies;
  for (auto _ : state) {
    EmptySongMemory();
    BuiltInKeyboard::Keyboard().SetItem(kSong0, SongData());
    RunToEnd(keyboard->Connect(in, out));
    MidiDev::Instance()->ClearCancel();
    TransferJob job(*keyboard, {in, out, nullptr});
    QnData* song = SlotAddress::Parse("song/0")->Find(*keyboard->Root());
    Clock::time_point ended;
    {
      CancelLater cancel(std::chrono::milliseconds(500));
      try {
        RunToEnd(job.Import({song}, folder.string() + "/"));
      } catch (const QnSysExException&) {
      }
      ended = Clock::now();
      const double latency = Seconds(ended - cancel.Asked());
      latencies.push_back(latency);
      state.SetIterationTime(latency);
    }
    MidiDev::Instance()->ClearCancel();
  }
  std::filesystem::remove_all(folder);
  std::sort(latencies.begin(), latencies.end());
  state.counters["latency_s"] = latencies[latencies.size() / 2];
  BenchResults::Put("fig9.import.latency_s", latencies[latencies.size() / 2]);
  BenchResults::Put("fig9.import.latency_max_s", latencies.back());
  QnKbdDrv::Destroy();
}

void BM_CancelSend(benchmark::State& state) {
  CableLink link;
  QnKbdDrv* keyboard = QnKbdDrv::Instance();
  const auto in = static_cast<int32_t>(BuiltInKeyboard::Input());
  const auto out = static_cast<int32_t>(BuiltInKeyboard::Output());
  const std::vector<uint8_t> data = SongData();
  auto file = std::make_unique<QnDataFile>(QnData::kTypeSong);
  file->SetSize(kSongBytes / 2);
  std::copy(data.begin(), data.begin() + kSongBytes / 2, file->Data());
  std::vector<double> afterItem;
  std::vector<double> latencies;
  for (auto _ : state) {
    EmptySongMemory();
    RunToEnd(keyboard->Connect(in, out));
    MidiDev::Instance()->ClearCancel();
    ItemEnds ends;
    TransferJob job(*keyboard, {in, out, nullptr}, &ends);
    QnData* first = SlotAddress::Parse("song/0")->Find(*keyboard->Root());
    QnData* second = SlotAddress::Parse("song/1")->Find(*keyboard->Root());
    {
      CancelLater cancel(std::chrono::milliseconds(500));
      try {
        RunToEnd(job.Send({{first, file.get(), "song-0.lqd"}, {second, file.get(), "song-1.lqd"}},
                       true));
      } catch (const QnSysExException&) {
      }
      const auto ended = Clock::now();
      latencies.push_back(Seconds(ended - cancel.Asked()));
      afterItem.push_back(Seconds(ended - ends.last));
      state.SetIterationTime(latencies.back());
    }
    MidiDev::Instance()->ClearCancel();
  }
  std::sort(latencies.begin(), latencies.end());
  std::sort(afterItem.begin(), afterItem.end());
  state.counters["latency_s"] = latencies[latencies.size() / 2];
  state.counters["after_item_s"] = afterItem[afterItem.size() / 2];
  BenchResults::Put("fig9.send.latency_s", latencies[latencies.size() / 2]);
  BenchResults::Put("fig9.send.after_item_s", afterItem[afterItem.size() / 2]);
  BenchResults::Put("fig9.send.after_item_max_s", afterItem.back());
  QnKbdDrv::Destroy();
}

}  // namespace

BENCHMARK(BM_SongSend)->Iterations(9)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_SongReceive)->Iterations(9)->UseManualTime()->Unit(benchmark::kSecond);
#ifdef RAVLIN_BENCH_MONITOR
BENCHMARK(BM_SongReceiveMonitored)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);
#endif
BENCHMARK(BM_GetList)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Backup)->Iterations(9)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_CancelImport)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CancelSend)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
#ifdef RAVLIN_BENCH_MONITOR
  // The monitor's window needs the application, which must end before the
  // program's static objects do: Qt's own input devices are among them.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
#endif
  MidiDev::UseDriver(&ServiceDriver::ForMidiSystem());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
