// The engine on the simulated clock: every job runs on SimDriver, with no
// thread and no waiting, so these tests also run where nothing may block.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "files/LqdFileStream.h"
#include "files/LqdMidiStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "files/SlotAddress.h"
#include "jobs/JobEvents.h"
#include "jobs/KeyboardBackup.h"
#include "jobs/TransferJob.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"
#include "protocol/QnSysEx.h"
#include "support/SimDriver.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using sim::SlotId;
using sim::SlotKind;

const Bytes kForeign{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

SlotId IdOf(const SlotAddress& address) {
  switch (address.Type()) {
    case QnData::kTypeTone:
      return {SlotKind::Tone, 0, address.Slot()};
    case QnData::kTypeDsp:
      return {SlotKind::Dsp, 0, address.Slot()};
    case QnData::kTypeRegistration:
      return {SlotKind::Registration, static_cast<int>(address.Bank()), address.Slot()};
    case QnData::kTypeSong:
      return {SlotKind::Song, 0, address.Slot()};
    default:
      return {SlotKind::Rhythm, 0, address.Slot()};
  }
}

// Counts what the device drops and remembers the last answer it took.
class Watch : public MidiMessageObserver {
 public:
  void Sent(MidiClock::TimePoint, const uint8_t*, size_t) override { ++sent; }
  void Received(MidiClock::TimePoint, const uint8_t* bytes, size_t size) override {
    lastAnswer.assign(bytes, bytes + size);
  }
  void Stray(MidiClock::TimePoint, const uint8_t*, size_t) override { ++strays; }
  void Failed(MidiClock::TimePoint, int32_t, uint32_t) override {}

  int sent = 0;
  int strays = 0;
  Bytes lastAnswer;
};

// What a backup or a restore reports as it goes.
class Report : public JobEvents {
 public:
  void Done(const Item& item, Kind kind, const std::string& path) override {
    if (kind == Kind::Written) written.insert(path);
    if (kind == Kind::Restored) restored.insert(item.address->ToString());
  }
  std::set<std::string> written;
  std::set<std::string> restored;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QnKbdDrv::Destroy();
    MidiDev::UseDriver(&driver_);
    MidiDev::UseObserver(&watch_);
    keyboard_ = QnKbdDrv::Instance();
    GetList();
    // Tests of this program may run side by side in separate processes.
    folder_ = fs::temp_directory_path() /
              (std::string("ravlin-engine-") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    // The sweeps write thousands of files; putting each on the disk is the
    // file stream's own concern and tested there.
    previousSync_ = LqdFileStream::SetSync([](const fs::path&, bool) { return 0; });
  }
  void TearDown() override {
    LqdFileStream::SetSync(previousSync_);
    QnKbdDrv::Destroy();
    MidiDev::UseObserver(nullptr);
    MidiDev::UseDriver(nullptr);
    fs::remove_all(folder_);
  }

  void GetList() { RunToEnd(keyboard_->Connect(SimDriver::kPort, SimDriver::kPort)); }
  MidiDev& Device() { return *MidiDev::Instance(); }
  sim::Trv408& Sim() { return driver_.Keyboard(); }
  QnData& Slot(const std::string& address) {
    return *SlotAddress::Parse(address)->Find(*keyboard_->Root());
  }
  static TransferJob::Link Link() { return {SimDriver::kPort, SimDriver::kPort, nullptr}; }
  std::unique_ptr<LqdMidiStream> Job(const std::string& address) {
    return std::make_unique<LqdMidiStream>(&Slot(address), SimDriver::kPort, SimDriver::kPort);
  }
  static std::unique_ptr<QnDataFile> File(uint16_t type, uint32_t size, uint8_t seed) {
    auto file = std::make_unique<QnDataFile>(type);
    file->SetSize(size);
    for (uint32_t i = 0; i < size; ++i) file->Data()[i] = static_cast<uint8_t>(seed + 3 * i);
    file->StoreDataName("Seed" + std::to_string(seed));
    file->LoadDataName();
    return file;
  }
  // The keyboard's memory, slot by slot.
  std::map<std::string, Bytes> Memory() {
    std::map<std::string, Bytes> memory;
    for (const SlotAddress& address : SlotAddress::All()) {
      memory[address.ToString()] = Sim().Item(IdOf(address));
    }
    return memory;
  }
  // The list as it stands, without reading it again, agrees with the keyboard.
  void ExpectListIsTheKeyboards() {
    for (const SlotAddress& address : SlotAddress::All()) {
      const QnData& slot = *address.Find(*keyboard_->Root());
      const Bytes item = Sim().Item(IdOf(address));
      EXPECT_EQ(slot.IsPresent(), !item.empty()) << address.ToString();
      if (slot.IsPresent()) {
        EXPECT_EQ(slot.Size(), item.size()) << address.ToString();
      }
    }
    EXPECT_EQ(keyboard_->GetDrive("Song Rhythm:")->FreeBytes(), Sim().FreeBytes());
  }

  // Runs `work` with a cancel asked for as the k-th message goes out;
  // returns whether the work stopped with the cancel error. Any other
  // failure fails the test.
  bool CancelAt(int k, const std::function<Task<void>()>& work) {
    int sent = 0;
    Device().ClearCancel();
    driver_.OnSend([&](const Bytes&) {
      if (++sent == k) Device().RequestCancel();
    });
    bool cancelled = false;
    try {
      RunToEnd(work());
    } catch (const QnSysExException& e) {
      EXPECT_EQ(e.Code(), QnSysEx::kCancelled);
      cancelled = true;
    }
    driver_.OnSend(nullptr);
    messages_ = sent;
    Device().ClearCancel();
    return cancelled;
  }

  SimDriver driver_{sim::Timing{true, std::chrono::milliseconds(1)}};
  Watch watch_;
  QnKbdDrv* keyboard_ = nullptr;
  fs::path folder_;
  int messages_ = 0;  // sent by the last CancelAt
  LqdFileStream::Sync previousSync_ = nullptr;
};

// What a job of several items reports as it goes.
class Items : public JobEvents {
 public:
  void Done(const Item& item, Kind kind, const std::string& path) override {
    if (kind == Kind::Imported) {
      imported.push_back(item.index);
      files.insert(path);
    }
    if (kind == Kind::Sent) sent.push_back(item.index);
    if (kind == Kind::Deleted) deleted.push_back(item.index);
  }
  std::vector<size_t> imported, sent, deleted;
  std::set<std::string> files;
};

// A receive stops between two blocks, sending nothing more, and writes
// nothing, even when the cancel comes with its last message. The job reports
// each file it wrote, and only those are there.
TEST_F(EngineTest, CancelAtEveryMessageOfAnImport) {
  const std::vector<QnData*> items{&Slot("song/0"), &Slot("rhythm/0")};
  const auto files = [this] {
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder_)) found.insert(entry.path().string());
    return found;
  };
  Items whole;
  TransferJob first(*keyboard_, Link(), &whole);
  ASSERT_FALSE(CancelAt(0, [&] { return first.Import(items, folder_.string() + "/"); }));
  const int total = messages_;
  ASSERT_EQ(files().size(), 2u);
  for (int k = 1; k <= total; ++k) {
    SCOPED_TRACE(k);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    Items report;
    TransferJob job(*keyboard_, Link(), &report);
    const bool cancelled = CancelAt(k, [&] { return job.Import(items, folder_.string() + "/"); });
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(messages_, k);
    EXPECT_EQ(files(), report.files);
    EXPECT_EQ(report.imported.size(), job.Current());
    ExpectListIsTheKeyboards();
  }
}

// A send finishes the item it has begun, and a delete its free-space read,
// whatever message the cancel comes with; a job of two items stops between
// them and reports the one it finished.
TEST_F(EngineTest, CancelAtEveryMessageOfASendFinishesTheItem) {
  const auto first = File(QnData::kTypeSong, 400, 1);
  const auto second = File(QnData::kTypeSong, 300, 2);
  const Bytes rhythm0 = Sim().Item({SlotKind::Rhythm, 0, 0});
  const Bytes rhythm1 = Sim().Item({SlotKind::Rhythm, 0, 1});
  for (int k = 1;; ++k) {
    SCOPED_TRACE(k);
    Sim().SetItem({SlotKind::Rhythm, 0, 0}, rhythm0);
    Sim().SetItem({SlotKind::Rhythm, 0, 1}, rhythm1);
    GetList();
    Items report;
    TransferJob job(*keyboard_, Link(), &report);
    const bool cancelled = CancelAt(k, [&] {
      return job.Delete({&Slot("rhythm/0"), &Slot("rhythm/1")});
    });
    ExpectListIsTheKeyboards();
    EXPECT_TRUE(Sim().Item({SlotKind::Rhythm, 0, 0}).empty());
    EXPECT_EQ(Sim().Item({SlotKind::Rhythm, 0, 1}).empty(), !cancelled);
    EXPECT_EQ(report.deleted.size(), cancelled ? 1u : 2u);
    if (!cancelled) break;
  }
  int total = 0;
  for (int k = 1;; ++k) {
    SCOPED_TRACE(k);
    Sim().Clear({SlotKind::Song, 0, 0});
    Sim().Clear({SlotKind::Song, 0, 1});
    GetList();
    Items report;
    TransferJob job(*keyboard_, Link(), &report);
    const bool cancelled = CancelAt(k, [&] {
      return job.Send(
          {{&Slot("song/0"), first.get(), "first"}, {&Slot("song/1"), second.get(), "second"}},
          true);
    });
    const bool firstIn = !Sim().Item({SlotKind::Song, 0, 0}).empty();
    const bool secondIn = !Sim().Item({SlotKind::Song, 0, 1}).empty();
    ExpectListIsTheKeyboards();
    EXPECT_EQ(report.sent.size(), static_cast<size_t>(firstIn) + static_cast<size_t>(secondIn));
    if (!cancelled) {
      EXPECT_TRUE(firstIn && secondIn);
      if (total == 0) total = messages_;
      if (k > total) break;
      continue;
    }
    // Stopped before or after the first item, never inside one.
    EXPECT_FALSE(secondIn);
  }
}

// A backup that stops leaves the folder as it was; one that ends has every
// file it reports, and only those.
TEST_F(EngineTest, CancelAtEveryMessageOfABackup) {
  for (int k = 1;; ++k) {
    SCOPED_TRACE(k);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    Report report;
    KeyboardBackup backup(&report);
    const KeyboardBackup::Link link{SimDriver::kPort, SimDriver::kPort, nullptr};
    const bool cancelled =
        CancelAt(k, [&] { return backup.Backup(*keyboard_, link, folder_.string()); });
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      if (entry.path().extension() == ".lqd") files.insert(entry.path().string());
    }
    EXPECT_EQ(files, report.written);
    if (cancelled) {
      EXPECT_TRUE(fs::is_empty(folder_));
      continue;
    }
    EXPECT_FALSE(files.empty());
    break;
  }
}

// A restore that stops leaves each slot with its old data or the restored
// one, reports exactly the slots it restored, and keeps the list true.
TEST_F(EngineTest, CancelAtEveryMessageOfARestore) {
  {
    KeyboardBackup backup;
    RunToEnd(
        backup.Backup(*keyboard_, {SimDriver::kPort, SimDriver::kPort, nullptr}, folder_.string()));
  }
  const auto saved = Memory();
  const auto change = [this] {
    Sim().SetItem({SlotKind::Tone, 0, 0}, Bytes(60, 0x11));
    Sim().SetItem({SlotKind::Song, 0, 0}, Bytes(200, 0x22));
    Sim().SetItem({SlotKind::Song, 0, 1}, Bytes(100, 0x33));
    Sim().Clear({SlotKind::Rhythm, 0, 1});
    GetList();
  };
  change();
  const auto changed = Memory();
  int total = 0;
  for (int k = 1;; ++k) {
    SCOPED_TRACE(k);
    change();
    Report report;
    KeyboardBackup restore(&report);
    restore.Load(folder_.string());
    const bool cancelled = CancelAt(k, [&] {
      return restore.Restore(*keyboard_, {SimDriver::kPort, SimDriver::kPort, nullptr});
    });
    for (const auto& [address, item] : Memory()) {
      const bool old = item == changed.at(address);
      const bool restored = item == saved.at(address);
      EXPECT_TRUE(old || restored) << address;
      if (restored && !old) {
        EXPECT_EQ(report.restored.count(address), 1u) << address;
      }
      if (report.restored.count(address) != 0) {
        EXPECT_TRUE(restored) << address;
      }
    }
    ExpectListIsTheKeyboards();
    if (!cancelled) {
      // A whole restore brings back every slot the backup holds.
      for (const auto& [address, item] : Memory()) {
        if (!saved.at(address).empty()) {
          EXPECT_TRUE(item == saved.at(address)) << address;
        }
      }
      if (total == 0) total = messages_;
      if (k > total) break;
    }
  }
}

// Another maker's message before any request, or while one waits for its
// answer, and the keyboard's own late copy of an answer before the next
// request, are dropped as strays: the list, an import and a send come out
// as they do without them.
TEST_F(EngineTest, StraysAtEveryPointAreNeverAnswers) {
  const auto song = File(QnData::kTypeSong, 300, 5);
  auto imported = std::make_unique<QnDataFile>();
  std::unique_ptr<LqdMidiStream> job;
  const std::vector<std::pair<std::string, std::function<Task<void>()>>> jobs{
      {"list", [this] { return keyboard_->Connect(SimDriver::kPort, SimDriver::kPort); }},
      {"import",
       [&] {
         job = Job("song/0");
         return job->Receive(*imported);
       }},
      {"send",
       [&] {
         job = Job("song/1");
         return job->Send(*song);
       }},
  };
  const auto data = [&imported] {
    return Bytes(imported->Data(), imported->Data() + imported->Size());
  };
  for (const auto& [name, work] : jobs) {
    const auto before = Memory();
    watch_.sent = 0;
    RunToEnd(work());
    const int messages = watch_.sent;
    const auto after = Memory();
    const Bytes received = data();
    for (int k = 1; k <= messages; ++k) {
      for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(name + " " + std::to_string(k) + " kind " + std::to_string(kind));
        for (const auto& [address, item] : before) {
          Sim().SetItem(IdOf(*SlotAddress::Parse(address)), item);
        }
        GetList();
        int sent = 0;
        driver_.OnSend([&](const Bytes&) {
          if (++sent != k) return;
          if (kind == 0) driver_.Inject(kForeign, driver_.Now());
          if (kind == 1) driver_.Inject(watch_.lastAnswer, driver_.Now());
          if (kind == 2) driver_.Inject(kForeign, driver_.Now() + std::chrono::microseconds(500));
        });
        watch_.strays = 0;
        imported = std::make_unique<QnDataFile>();
        RunToEnd(work());
        driver_.OnSend(nullptr);
        EXPECT_TRUE(Memory() == after);
        if (name == "import") {
          EXPECT_TRUE(data() == received);
        }
        EXPECT_EQ(watch_.strays, 1);
        ExpectListIsTheKeyboards();
      }
    }
  }
}

// A keyboard that repeats the request's bytes 5-9 in its answers: once its
// type read has shown it, a copy of an earlier answer that comes while a
// read of another value waits is a stray, and the read takes its own answer.
TEST_F(EngineTest, AKeyboardThatRepeatsTheRequestHasCopiesOfOtherAnswersDropped) {
  int sent = 0;
  Bytes copy;
  driver_.OnSend([&](const Bytes& request) {
    ++sent;
    // The song's name is read after its size: the size's answer comes again
    // while the name's first part is asked for.
    if (request.size() > 6 && request[6] == 0x27 && copy.empty()) {
      copy = watch_.lastAnswer;
      driver_.Inject(copy, driver_.Now() + std::chrono::microseconds(100));
    }
  });
  watch_.strays = 0;
  GetList();
  driver_.OnSend(nullptr);
  ASSERT_FALSE(copy.empty());
  EXPECT_EQ(watch_.strays, 1);
  // The whole name, both of its parts read from their own answers.
  const Bytes item = Sim().Item({SlotKind::Song, 0, 0});
  EXPECT_EQ(Slot("song/0").Name(), std::string(item.begin() + 4, item.begin() + 12));
}

// Time-outs cost no time here: a keyboard that stops answering fails the
// exchange at its deadline, and the next job works at once.
TEST_F(EngineTest, ASilentKeyboardTimesOutOnTheSimulatedClock) {
  Sim().SetFault(sim::Fault::NoAnswer);
  const auto start = driver_.Now();
  try {
    GetList();
    ADD_FAILURE() << "no time-out";
  } catch (const MidiDevException& e) {
    EXPECT_EQ(e.Code(), MidiDev::kReplyTimeout);
  }
  EXPECT_GE(driver_.Now() - start, std::chrono::milliseconds(1001));
  GetList();
  ExpectListIsTheKeyboards();
}

}  // namespace
