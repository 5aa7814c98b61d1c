// Every use case of the job layer on the simulated clock, as each front end
// starts it: what it tells as it goes, what it refuses before the first
// message, where it stops on a failure or a cancel, and how it ends.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/LqdFileStream.h"
#include "files/LqdMidiStream.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "files/SlotAddress.h"
#include "history/HistoryException.h"
#include "history/HistoryStore.h"
#include "jobs/DataFile.h"
#include "jobs/EntryView.h"
#include "jobs/KeyboardBackup.h"
#include "jobs/KeyboardJobs.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"
#include "protocol/MsgStr.h"
#include "protocol/QnSysEx.h"
#include "support/SimDriver.h"

namespace {

namespace fs = std::filesystem;
using sim::SlotKind;
using Job = std::function<Task<void>()>;
using Names = std::vector<std::string>;

constexpr KeyboardJobs::Ports kPorts{SimDriver::kPort, SimDriver::kPort};

// Every event as a word, in order; a run of progress is one "p".
class Recorder : public JobEvents {
 public:
  void Status(const std::string& text) override { Add("'" + text + "'"); }
  void Progressed(const Progress&) override {
    if (!log.ends_with("p")) Add("p");
  }
  void Starting(const Item& item) override {
    Add("<" + std::to_string(item.index));
    name = item.name;
    if (starting) starting(item);
  }
  void Ended(const Item&) override { Add(">"); }
  void Done(const Item&, Kind kind, const std::string&) override {
    Add(std::string(1, "isdwrR"[static_cast<int>(kind)]));
  }
  void Skipped(const Item& item) override { Add("-" + item.address->ToString()); }
  void Failed(const Item&) override { Add("!"); }
  void ListChanged() override { Add("L"); }
  void Finished(const std::string& note) override { Add("E'" + note + "'"); }
  void Noted(const std::string& text) override { Add("N'" + text + "'"); }

  std::string log;
  std::string name;  // of the last item begun
  std::function<void(const Item&)> starting;

 private:
  void Add(const std::string& word) { log += (log.empty() ? "" : " ") + word; }
};

class KeyboardJobsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QnKbdDrv::Destroy();
    MidiDev::UseDriver(&driver_);
    keyboard_ = QnKbdDrv::Instance();
    jobs_ = std::make_unique<KeyboardJobs>(*keyboard_, messages_, events_);
    jobs_->UsePorts(kPorts);
    driver_.OnSend([this](const std::vector<uint8_t>&) {
      ++wire_;
      if (onSend_) onSend_();
    });
    folder_ = fs::temp_directory_path() /
              (std::string("ravlin-jobs-") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "backup");
    ASSERT_TRUE(Sim().Save(In("memory")));
    previousSync_ = LqdFileStream::SetSync([](const fs::path&, bool) { return 0; });
  }
  void TearDown() override {
    LqdFileStream::SetSync(previousSync_);
    QnKbdDrv::Destroy();
    jobs_.reset();
    MidiDev::UseDriver(nullptr);
    fs::remove_all(folder_);
  }

  sim::Trv408& Sim() { return driver_.Keyboard(); }
  std::string In(const std::string& name) const { return (folder_ / name).string(); }
  // Slots by address, drives by name.
  std::vector<QnData*> Slots(const Names& names) const {
    std::vector<QnData*> slots;
    for (const std::string& name : names) {
      slots.push_back(name.ends_with(':') ? static_cast<QnData*>(keyboard_->GetDrive(name))
                                          : SlotAddress::Parse(name)->Find(*keyboard_->Root()));
    }
    return slots;
  }
  // The slots that hold data, in the keyboard's order.
  Names Present() const {
    Names present;
    for (const SlotAddress& address : SlotAddress::All()) {
      if (address.Find(*keyboard_->Root())->IsPresent()) present.push_back(address.ToString());
    }
    return present;
  }
  // A data file of what the keyboard holds in `slot` before the test.
  std::string File(SlotKind kind, int slot) {
    const std::vector<uint8_t> item = Sim().Item({kind, 0, slot});
    QnDataFile file(kind == SlotKind::Tone ? QnData::kTypeTone : QnData::kTypeSong);
    file.SetSize(static_cast<uint32_t>(item.size()));
    std::copy(item.begin(), item.end(), file.Data());
    const std::string path = In(std::to_string(static_cast<int>(kind)) + std::to_string(slot));
    DataFile::Write(path, file);
    return path;
  }

  Job Import(Names slots, KeyboardJobs::EmptySlot empty = KeyboardJobs::EmptySlot::Skip,
             std::optional<std::string> folder = "") {
    return [=, this] {
      return jobs_->Import({Slots(slots), folder ? std::optional(In(*folder)) : folder, empty});
    };
  }
  Job Send(Names files, Names slots) {
    return [=, this] { return jobs_->Send({files, Slots(slots)}); };
  }
  Job Delete(Names slots) {
    return [=, this] { return jobs_->Delete({Slots(slots)}); };
  }

  // The keyboard as before the test, its list read.
  void Reset() {
    Sim().SetFault(sim::Fault::None);
    ASSERT_TRUE(Sim().Load(In("memory")));
    Run([this] { return jobs_->List(kPorts); });
  }
  // Runs the job to its end and shows it; the events and messages are its own.
  KeyboardJobs::Ending Run(const Job& job) {
    events_.log.clear();
    wire_ = 0;
    std::exception_ptr error;
    try {
      RunToEnd(job());
    } catch (...) {
      error = std::current_exception();
    }
    return jobs_->End(error);
  }

  SimDriver driver_{sim::Timing{true, std::chrono::milliseconds(1)}};
  MsgStr messages_{MsgStr::Language::English};
  Recorder events_;
  QnKbdDrv* keyboard_ = nullptr;
  std::unique_ptr<KeyboardJobs> jobs_;
  fs::path folder_;
  int wire_ = 0;
  std::function<void()> onSend_;
  LqdFileStream::Sync previousSync_ = nullptr;
  const Job backup_ = [this] { return jobs_->Backup(In("backup")); };
  const Job restore_ = [this] { return jobs_->Restore(In("backup")); };
};

// The words of the first `shown` of `count` items: the status line that
// counts them, the item's transfer, and `done` after it.
std::string Items(const std::string& status, size_t count, const std::string& done,
                  size_t shown = SIZE_MAX) {
  std::string words;
  for (size_t i = 0; i < std::min(count, shown); ++i) {
    words += " '" + status + " " + std::to_string(i + 1) + " of " + std::to_string(count) + "' <" +
             std::to_string(i) + " p >" + done;
  }
  return words;
}

// Each use case, with its events in the order every front end relies on and
// the note that closes it; a cancel at the first message of an item stops a
// receive at once, and lets a send, a delete or a restore finish the item,
// the status line saying so as it waits.
TEST_F(KeyboardJobsTest, EachUseCaseTellsItsEventsInOrderAlsoWhenCancelled) {
  const std::string tone0 = File(SlotKind::Tone, 0), tone1 = File(SlotKind::Tone, 1);
  Reset();
  const Names present = Present();
  const size_t all = present.size();
  std::string written;
  for (size_t i = 0; i < all; ++i) written += " w";
  // A restore deletes the songs and rhythms it replaces as the first of them
  // is due.
  std::string restored = Items("Sending a data...", all, " R");
  const auto fixed = std::find(present.begin(), present.end(), "song/0") - present.begin();
  restored.insert(restored.find(" 'Sending a data... " + std::to_string(fixed + 1) + " of"), " p");
  const std::string stopping = "'Stopping after this item...'";
  const std::string after = "'Cancelled after the item under way was finished'";
  struct Case {
    Job job;
    std::string events;
    int cancelAt = -1;  // the cancel comes with the item's first message
  };
  const std::vector<Case> cases{
      {[&] { return jobs_->List(kPorts); }, "'Get list...' p L p E''"},
      {Import({"tone/0", "song/1", "tone/1"}), "'Receiving a data...' p -song/1 p" +
                                                   Items("Receiving a data...", 2, " i") +
                                                   " p E'Skipped 1 empty slot(s)'"},
      {Import({"song/1", "rhythm/2"}),
       "'Receiving a data...' p -song/1 -rhythm/2 p E'Skipped 2 empty slot(s)'"},
      {Send({tone0, tone1}, {"tone/3"}),
       "'Sending a data...' p" + Items("Sending a data...", 2, " s") + " L p E''"},
      {Send({tone0}, {"tone/4"}), "'Sending a data...' p 'Sending a data...' <0 p > s L p E''"},
      {Delete({"song/0", "rhythm/0"}),
       "'Deleting a data...' p" + Items("Deleting a data...", 2, " d") + " L p E''"},
      {[&] { return jobs_->FreeSpace("Song Rhythm:"); }, "'Get list...' p L p E''"},
      {backup_,
       "'Receiving a data...' p L" + Items("Receiving a data...", all, "") + written + " p E''"},
      {restore_, "'Sending a data...' p L" + restored + " L p E''"},
      {Import({"tone/0", "tone/1"}),
       "'Receiving a data...' p" + Items("Receiving a data...", 2, " i", 1) +
           " 'Receiving a data... 2 of 2' <1 > p E'Cancelled'",
       1},
      {backup_,
       "'Receiving a data...' p L 'Receiving a data... 1 of " + std::to_string(all) +
           "' <0 p > p E'Cancelled'",
       0},
      {Send({tone0, tone1}, {"tone/3"}),
       "'Sending a data...' p 'Sending a data... 1 of 2' <0 " + stopping + " p > s L p E" + after,
       0},
      {Send({tone0, tone1}, {"tone/3"}),
       "'Sending a data...' p" + Items("Sending a data...", 2, " s", 1) +
           " 'Sending a data... 2 of 2' <1 " + stopping + " p > s L p E" + after,
       1},
      {Delete({"song/0", "rhythm/0"}),
       "'Deleting a data...' p 'Deleting a data... 1 of 2' <0 " + stopping + " p > d L p E" + after,
       0},
      {restore_,
       "'Sending a data...' p L 'Sending a data... 1 of " + std::to_string(all) + "' <0 p " +
           stopping + " p > R L p E" + after,
       0},
  };
  for (const Case& c : cases) {
    Reset();
    bool armed = false;
    events_.starting = [&](const JobEvents::Item& item) {
      armed = static_cast<int>(item.index) == c.cancelAt;
    };
    onSend_ = [&] {
      if (std::exchange(armed, false)) jobs_->Cancel();
    };
    const KeyboardJobs::Ending ending = Run(c.job);
    events_.starting = nullptr;
    onSend_ = nullptr;
    EXPECT_FALSE(ending.failure);
    EXPECT_EQ(ending.cancelled, c.cancelAt >= 0);
    EXPECT_EQ(events_.log, c.events);
  }
}

// A request a job refuses says why before the first message, and names the
// slot or file it refuses for.
TEST_F(KeyboardJobsTest, RefusalsSendNothing) {
  const std::string tone = File(SlotKind::Tone, 0), song = File(SlotKind::Song, 0);
  const std::string missing = In("missing.lqd");
  const auto operate = [this](int32_t code) { return messages_.OperateText(code); };
  const std::string listFirst = operate(OperateException::kListFirst);
  const std::string notAcceptable = operate(OperateException::kNotAcceptable);
  struct Case {
    Job job;
    bool listed;
    std::string text;
    std::string where;
  };
  const std::vector<Case> cases{
      {Import({"tone/0"}), false, listFirst, ""},
      {Send({tone}, {"tone/0"}), false, listFirst, ""},
      {Delete({"song/0"}), false, listFirst, ""},
      {[&] { return jobs_->FreeSpace("Song Rhythm:"); }, false, listFirst, ""},
      {Delete({}), false, operate(OperateException::kNoData), ""},
      {Import({}), true, operate(OperateException::kNoImportSource), ""},
      {Import({"Tone:"}), true, operate(OperateException::kNoImportSource), ""},
      {Import({"tone/0"}, KeyboardJobs::EmptySlot::Skip, std::nullopt), true,
       operate(OperateException::kNoImportTarget), ""},
      {Import({"tone/0", "song/1"}, KeyboardJobs::EmptySlot::Refuse), true,
       messages_.WordText(MsgStr::kWordCliSlotEmpty), "song/1"},
      {Send({}, {"tone/0"}), true, operate(OperateException::kNoSendSource), ""},
      {Send({tone}, {}), true, operate(OperateException::kNoSendTarget), ""},
      {Send({tone}, {"Tone:"}), true, notAcceptable, ""},
      {Send({song, song}, {"rhythm/3"}), true, notAcceptable, ""},
      {Send({tone, missing}, {"tone/0"}), true, messages_.FileText(false, missing), missing},
      {Send({tone, song}, {"tone/0"}), true, messages_.StreamText(LqdMidiStream::kTypeDiffers),
       song + " -> tone/1"},
      {Delete({"song/0", "tone/0"}), true, notAcceptable, "tone/0"},
      {restore_, true, messages_.StreamText(KeyboardBackup::kNoBackupFiles), In("backup")},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    if (cases[i].listed && !keyboard_->IsConnected()) Reset();
    const KeyboardJobs::Ending ending = Run(cases[i].job);
    ASSERT_TRUE(ending.failure);
    EXPECT_EQ(ending.failure->Text(), cases[i].text);
    EXPECT_EQ(jobs_->Where(), cases[i].where);
    EXPECT_EQ(wire_, 0);
    EXPECT_EQ(events_.log.find('<'), std::string::npos) << events_.log;
  }
}

// A keyboard that falls silent at item k of n: the failure says which item of
// the batch it befell, named as the events name it, and what was done before
// it; Where() names its slot or file.
TEST_F(KeyboardJobsTest, AFailureAtEachItemNamesItAndWhatWasDone) {
  const Names tones{File(SlotKind::Tone, 0), File(SlotKind::Tone, 1), File(SlotKind::Tone, 2)};
  Reset();
  Run(backup_);
  const Names present = Present();
  Names files;
  for (const std::string& address : present)
    files.push_back(In("backup/" + SlotAddress::Parse(address)->BackupFileName()));
  const Names sequences{"song/0", "rhythm/0", "rhythm/1"};
  struct Case {
    Job job;
    Names where;
    bool keepsWhatCame;  // a backup writes nothing before every item has come
    std::string after;   // the events after the failed item's end
  };
  const std::vector<Case> cases{
      {Import({"tone/0", "tone/1", "tone/2"}), {"tone/0", "tone/1", "tone/2"}, false, ""},
      {Send(tones, {"tone/5"}), {"tone/5", "tone/6", "tone/7"}, false, "! L "},
      {Delete(sequences), sequences, false, "L "},
      {backup_, present, true, ""},
      {restore_, files, false, "L "},
  };
  for (const Case& c : cases) {
    const size_t count = c.where.size();
    for (size_t k = 0; k < count; ++k) {
      SCOPED_TRACE(c.where[k]);
      Reset();
      events_.starting = [&](const JobEvents::Item& item) {
        if (item.index == k) Sim().SetFault(sim::Fault::NoAnswer, 0);
      };
      const KeyboardJobs::Ending ending = Run(c.job);
      events_.starting = nullptr;
      ASSERT_TRUE(ending.failure);
      EXPECT_EQ(ending.failure->Text(), messages_.MidiDevText(MidiDev::kReplyTimeout, 0));
      const size_t done = c.keepsWhatCame ? 0 : k;
      EXPECT_EQ(ending.failure->Context(),
                std::to_string(k + 1) + " of " + std::to_string(count) + " (" + events_.name +
                    ") failed; " +
                    (done == 0 ? "nothing was done before it."
                               : "the " + std::to_string(done) + " before it were done."));
      EXPECT_EQ(jobs_->Where(), c.where[k]);
      const std::string last = events_.log.substr(events_.log.rfind('<'));
      EXPECT_TRUE(last.starts_with("<" + std::to_string(k) + " ") &&
                  last.ends_with("> " + c.after + "p E''"))
          << events_.log;
    }
  }
}

#ifdef RAVLIN_WITH_HISTORY
// A real store whose writes fail, once `failure` is set, as a read-only, full
// or busy one's do: the tests run as root, for whom no file is read-only, and
// a full disk cannot be had at will.
class FailingStore : public HistoryStore {
 public:
  using HistoryStore::HistoryStore;
  std::string PutItem(const std::vector<uint8_t>& bytes, uint16_t type,
                      const std::string& name) override {
    Fail();
    return HistoryStore::PutItem(bytes, type, name);
  }
  int64_t KeyboardFor(int32_t type, const std::string& in, const std::string& out) override {
    Fail();
    return HistoryStore::KeyboardFor(type, in, out);
  }

  std::optional<int32_t> failure;

 private:
  void Fail() const {
    if (failure) throw HistoryException(*failure);
  }
};

class KeyboardJobsHistoryTest : public KeyboardJobsTest {
 protected:
  void SetUp() override {
    KeyboardJobsTest::SetUp();
    store_ = std::make_unique<FailingStore>(In("history.sqlite"));
    jobs_->UseHistory({store_.get(), "in", "out", true});
  }

  size_t Count() { return store_->Snapshots().size(); }
  Snapshot Last() { return *store_->Get(store_->Snapshots().front().id); }
  // A kept item's data, as the keyboard holds it.
  std::vector<uint8_t> KeptData(const std::string& hash) {
    const std::vector<uint8_t> bytes = *store_->ItemBytes(hash);
    return {bytes.begin() + QnData::kHeaderSize, bytes.end()};
  }

  std::unique_ptr<FailingStore> store_;
};

// What a send or a delete replaces is read and kept, in a snapshot of its
// own, before it is replaced; an empty slot keeps nothing; a keep that the
// store refuses stops the job with the store's reason, the slot untouched.
TEST_F(KeyboardJobsHistoryTest, KeepingComesBeforeASendOrADeleteAndAFailedKeepStopsIt) {
  const std::string tone1 = File(SlotKind::Tone, 1), song0 = File(SlotKind::Song, 0);
  struct Case {
    Job job;
    std::string slot;  // "" for none kept
    sim::SlotId id;
    SnapshotReason why;
    std::string keeping;
  };
  const std::vector<Case> cases{
      {Send({tone1}, {"tone/0"}),
       "tone/0",
       {SlotKind::Tone, 0, 0},
       SnapshotReason::BeforeSend,
       "Keeping the old tone before sending..."},
      {Send({song0}, {"song/1"}), "", {SlotKind::Song, 0, 1}, SnapshotReason::BeforeSend, ""},
      {Delete({"song/0"}),
       "song/0",
       {SlotKind::Song, 0, 0},
       SnapshotReason::BeforeDelete,
       "Keeping the old song before deleting..."},
  };
  for (const bool fails : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.slot + (fails ? " failing" : ""));
      Reset();
      const std::vector<uint8_t> before = Sim().Item(c.id);
      const size_t count = Count();
      if (fails) store_->failure = HistoryException::kReadOnly;
      const KeyboardJobs::Ending ending = Run(c.job);
      store_->failure.reset();
      if (fails && !c.slot.empty()) {
        ASSERT_TRUE(ending.failure);
        EXPECT_EQ(ending.failure->Text(), messages_.WordText(MsgStr::kWordHistoryReadOnly));
        EXPECT_EQ(jobs_->Where(), c.slot);
        EXPECT_EQ(Sim().Item(c.id), before);
        EXPECT_EQ(Count(), count);
        continue;
      }
      EXPECT_FALSE(ending.failure);
      EXPECT_NE(Sim().Item(c.id), before);
      if (c.slot.empty()) {
        EXPECT_EQ(Count(), count);
        continue;
      }
      const Snapshot kept = Last();
      EXPECT_EQ(kept.why, c.why);
      ASSERT_EQ(kept.slots.size(), 1u);
      EXPECT_EQ(kept.slots[0].address, c.slot);
      EXPECT_EQ(KeptData(kept.slots[0].hash), before);
      EXPECT_NE(events_.log.find("'" + c.keeping + "' <0 p > p '"), std::string::npos)
          << events_.log;
    }
  }
}

// A list is a light snapshot unless it shows what the last one did; a backup
// keeps its files' bytes, a restore what it replaced; a store that cannot
// take them says so once, and the lists and backups go on.
TEST_F(KeyboardJobsHistoryTest, ListsBackupsAndRestoresAreSnapshotsThatAFailingStoreNeverStops) {
  const Job list = [this] { return jobs_->List(kPorts); };
  Reset();
  const size_t listed = Count();
  Run(list);
  EXPECT_EQ(Count(), listed);
  const Snapshot light = Last();
  EXPECT_EQ(light.why, SnapshotReason::List);
  EXPECT_EQ(light.slots.size(), Present().size());
  for (const SnapshotSlot& slot : light.slots) EXPECT_EQ(slot.hash, "") << slot.address;

  EXPECT_FALSE(Run(backup_).failure);
  const Snapshot backup = Last();
  EXPECT_EQ(backup.why, SnapshotReason::Backup);
  ASSERT_EQ(backup.slots.size(), Present().size());
  for (const SnapshotSlot& slot : backup.slots) {
    std::ifstream file(In("backup/" + SlotAddress::Parse(slot.address)->BackupFileName()),
                       std::ios::binary);
    EXPECT_EQ(*store_->ItemBytes(slot.hash),
              std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {}))
        << slot.address;
  }
  EXPECT_FALSE(Run(restore_).failure);
  EXPECT_EQ(Last().why, SnapshotReason::Restore);
  EXPECT_EQ(Last().slots, backup.slots);

  store_->failure = HistoryException::kFull;
  std::string notes;
  for (const Job& job : {list, backup_}) {
    EXPECT_FALSE(Run(job).failure);
    notes += events_.log;
  }
  const std::string note =
      "N'The history was not recorded: " + messages_.WordText(MsgStr::kWordHistoryFull) + "'";
  EXPECT_NE(notes.find(note), std::string::npos) << notes;
  EXPECT_EQ(notes.find("N'", notes.find(note) + 1), std::string::npos) << notes;
}
#endif

}  // namespace
