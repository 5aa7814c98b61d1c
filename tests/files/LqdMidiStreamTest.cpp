#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "files/FileError.h"
#include "jobs/KeyboardBackup.h"
#include "files/LqdFileStream.h"
#include "files/LqdMidiStream.h"
#include "files/PBarObserver.h"
#include "files/ProgressBar.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"
#include "keyboard/QnKbdDrv.h"
#include "keyboard/RequestLog.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"
#include "protocol/QnSysExObserver.h"
#include "support/BuiltInKeyboard.h"
#include "support/PipeRescuer.h"

namespace {

using Kind = sim::Trv408::Kind;
using Steps = std::vector<std::string>;

RequestLog* currentLog = nullptr;

// Marks the device's pauses in the current log.
class PauseMarks : public MidiMessageObserver {
 public:
  void Sent(MidiClock::TimePoint, const uint8_t*, size_t) override {}
  void Received(MidiClock::TimePoint, const uint8_t*, size_t) override {}
  void Failed(MidiClock::TimePoint, int32_t, uint32_t) override {}
  void Paused(MidiClock::TimePoint, std::chrono::milliseconds time) override {
    currentLog->Mark("sleep " + std::to_string(time.count()));
  }
};
PauseMarks pauseMarks;

// A bar as the window's behaves: the position stays inside the range.
class TestBar : public ProgressBar {
 public:
  int Position() const override { return position_; }
  void SetPosition(int position) override {
    position_ = std::max(minimum_, std::min(maximum_, position));
  }
  void SetRange(int minimum, int maximum) override {
    minimum_ = minimum;
    maximum_ = maximum;
  }
  void Repaint() override { painted.push_back(position_); }

  std::vector<int> painted;

 private:
  int position_ = 0;
  int minimum_ = 0;
  int maximum_ = 100;
};

std::unique_ptr<QnDataFile> MakeFile(uint16_t type, uint32_t size, const std::string& name,
                                     uint8_t seed = 1) {
  auto file = std::make_unique<QnDataFile>(type);
  file->SetSize(size);
  uint8_t* data = file->Data();
  for (uint32_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(seed + i * 7);
  file->StoreDataName(name);
  file->LoadDataName();  // blank-padded, as a file read from disk
  return file;
}

// The file's data as the keyboard keeps it: words high byte first.
std::vector<uint8_t> FileOrder(QnDataFile& file) {
  std::vector<uint8_t> bytes(file.Data(), file.Data() + file.Size());
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
  return bytes;
}

std::vector<uint8_t> Bytes(QnDataFile& file) {
  return std::vector<uint8_t>(file.Data(), file.Data() + file.Size());
}

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QnKbdDrv::Destroy();
    BuiltInKeyboard::Reset();
    drv_ = QnKbdDrv::Instance();
    drv_->AttachObserver(&log_);
    RunToEnd(drv_->Connect(BuiltInKeyboard::Input(), BuiltInKeyboard::Output()));
    log_.Clear();
    currentLog = &log_;
    MidiDev::UseObserver(&pauseMarks);
  }
  void TearDown() override {
    MidiDev::UseObserver(nullptr);
    currentLog = nullptr;
    QnKbdDrv::Destroy();
  }

  static sim::Trv408& Sim() { return BuiltInKeyboard::Keyboard(); }

  // The keyboard path of slot `index` of a folder, as the window builds it
  // from the folder's node path and the slot's caption.
  std::string PathOf(const std::string& folder, size_t index) const {
    QnDataDrive* drive = drv_->GetDrive(folder.substr(0, folder.find(':') + 1));
    return folder + drv_->FindByPath(folder, drive)->Child(index)->Name();
  }

  std::unique_ptr<LqdMidiStream> Job(const std::string& path) {
    return std::make_unique<LqdMidiStream>(path, BuiltInKeyboard::Input(),
                                           BuiltInKeyboard::Output());
  }
  std::unique_ptr<LqdMidiStream> Job(QnData* slot, int32_t in, int32_t out) {
    return std::make_unique<LqdMidiStream>(slot, in, out);
  }

  int32_t SendCode(const std::string& path, QnDataFile& file) {
    try {
      RunToEnd(Job(path)->Send(file));
    } catch (const LqdStreamException& e) {
      return e.Code();
    }
    return -1;
  }

  RequestLog log_;
  QnKbdDrv* drv_ = nullptr;
};

TEST_F(TransferTest, EveryTypeGoesToTheKeyboardAndComesBackUnchanged) {
  const struct {
    const char* folder;
    size_t index;
    uint16_t type;
    uint32_t size;
    sim::Trv408::SlotId slot;
  } cases[] = {
      {"Tone:\\", 3, QnData::kTypeTone, 60, {Kind::Tone, 0, 3}},
      {"DSP:\\", 9, QnData::kTypeDsp, 36, {Kind::Dsp, 0, 9}},
      {"Registration:\\Bank2\\", 3, QnData::kTypeRegistration, 176, {Kind::Registration, 2, 3}},
      {"Song Rhythm:\\Song\\", 1, QnData::kTypeSong, 1000, {Kind::Song, 0, 1}},
      {"Song Rhythm:\\Rhythm\\", 0, QnData::kTypeRhythm, 258, {Kind::Rhythm, 0, 0}},
      // An odd last byte travels as the low byte of a word of its own.
      {"Song Rhythm:\\Rhythm\\", 3, QnData::kTypeRhythm, 129, {Kind::Rhythm, 0, 3}},
  };
  uint8_t seed = 3;
  for (const auto& c : cases) {
    const std::string path = PathOf(c.folder, c.index);
    SCOPED_TRACE(path);
    auto file = MakeFile(c.type, c.size, "Sent " + std::to_string(seed), seed);
    ++seed;
    RunToEnd(Job(path)->Send(*file));
    std::vector<uint8_t> stored = FileOrder(*file);
    if (c.size % 2 != 0) stored.insert(stored.end() - 1, 0);
    EXPECT_EQ(Sim().Item(c.slot), stored);

    QnData* target = Job(c.folder + file->Name())->Target();
    ASSERT_NE(target, nullptr);
    EXPECT_TRUE(target->IsPresent());
    EXPECT_EQ(target->Size(), c.size);
    EXPECT_EQ(file->SlotNumber(), static_cast<int32_t>(c.index));

    QnDataFile received;
    auto job = Job(c.folder + file->Name());
    received.SetSize(job->TargetSize());
    RunToEnd(job->Receive(received));
    EXPECT_EQ(received.Type(), c.type);
    EXPECT_EQ(received.Size(), c.size);
    EXPECT_EQ(Bytes(received), Bytes(*file));
    EXPECT_EQ(received.HeaderBytes()[0], 'V');
    if (c.type == QnData::kTypeRegistration) {
      // The keyboard keeps no registration names.
      EXPECT_EQ(received.Name(), std::string(8, '\0'));
      EXPECT_EQ(file->BankNumber(), 2u);
    } else {
      EXPECT_EQ(received.Name(), file->Name());
    }
  }
}

TEST_F(TransferTest, ReceivingAFreshFileTakesTheSlotsSizeAndName) {
  const std::vector<uint8_t> song = Sim().Item({Kind::Song, 0, 0});
  QnDataFile file;
  RunToEnd(Job(PathOf("Song Rhythm:\\Song\\", 0))->Receive(file));
  EXPECT_EQ(file.Type(), QnData::kTypeSong);
  ASSERT_EQ(file.Size(), song.size());
  EXPECT_EQ(FileOrder(file), song);
  EXPECT_EQ(file.Name(), std::string(song.begin() + 4, song.begin() + 12));
}

// Fault::HugeSize: the keyboard reports a song larger than the whole memory.
// The list shows it as reported; the import refuses it before it allocates
// anything or asks the keyboard for data.
TEST_F(TransferTest, SizeBeyondTheMemoryIsListedButNeverReceived) {
  const std::vector<uint8_t> song = Sim().Item({Kind::Song, 0, 0});
  Sim().SetFault(sim::Fault::HugeSize);  // the list's first size read: song 0
  RunToEnd(drv_->Connect(BuiltInKeyboard::Input(), BuiltInKeyboard::Output()));
  auto job = Job(PathOf("Song Rhythm:\\Song\\", 0));
  ASSERT_NE(job->Target(), nullptr);
  EXPECT_TRUE(job->Target()->IsPresent());
  EXPECT_GT(job->TargetSize(), drv_->GetDrive("Song Rhythm:")->Capacity());
  EXPECT_EQ(job->Target()->Name(), std::string(song.begin() + 4, song.begin() + 12));

  auto refused = [this](LqdMidiStream& stream) {
    log_.Clear();
    QnDataFile file;
    try {
      RunToEnd(stream.Receive(file));
      ADD_FAILURE() << "received " << file.Size() << " bytes";
    } catch (const QnSysExException& e) {
      EXPECT_EQ(e.Code(), QnSysEx::kSizeBeyondMemory);
    }
    EXPECT_FALSE(file.HasData());
    EXPECT_TRUE(log_.Messages().empty());
  };
  refused(*job);
  // Any slot that claims more than its drive holds, up to the largest size.
  QnData* tone = Job(PathOf("Tone:\\", 2))->Target();
  for (uint32_t size : {601u, 0xFFFFFFFFu}) {
    tone->SetSize(size);
    refused(*Job(tone, BuiltInKeyboard::Input(), BuiltInKeyboard::Output()));
  }

  RunToEnd(drv_->Connect(BuiltInKeyboard::Input(), BuiltInKeyboard::Output()));
  QnDataFile file;
  RunToEnd(Job(PathOf("Song Rhythm:\\Song\\", 0))->Receive(file));
  EXPECT_EQ(FileOrder(file), song);
}

// The keyboard's song has become shorter since the list was read: the
// receive ends early, and the rest of the buffer is no part of the song.
TEST_F(TransferTest, ItemThatEndsEarlyIsNoCopy) {
  const std::vector<uint8_t> song = Sim().Item({Kind::Song, 0, 0});
  ASSERT_GT(song.size(), 200u);
  Sim().SetItem({Kind::Song, 0, 0}, std::vector<uint8_t>(song.begin(), song.begin() + 200));
  QnDataFile file;
  try {
    RunToEnd(Job(PathOf("Song Rhythm:\\Song\\", 0))->Receive(file));
    ADD_FAILURE() << "a zero-padded copy of " << file.Size() << " bytes";
  } catch (const QnSysExException& e) {
    EXPECT_EQ(e.Code(), QnSysEx::kCommunication);
  }
}

// Counts the protocol object's steps and, when armed, asks to cancel once
// that many more have completed. The protocol object keeps its observers,
// so one lives as long as the test.
class CancelAfter : public QnSysExObserver {
 public:
  void Attach(QnSysEx* protocol) override {
    subject_ = protocol;
    protocol->Attach(this);
  }
  void Update() override {
    ++steps;
    if (left_ > 0 && --left_ == 0) MidiDev::Instance()->RequestCancel();
  }
  void Arm(int steps) { left_ = steps; }

  int steps = 0;

 private:
  int left_ = 0;
};

namespace fs = std::filesystem;

// Everything under a folder, hidden entries too: each file's bytes, and a
// folder as "/".
std::map<std::string, std::string> FolderFiles(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).string();
    if (entry.is_directory()) {
      files[name] = "/";
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    files[name] = {std::istreambuf_iterator<char>(in), {}};
  }
  return files;
}

// A sync that fails once it has been asked `failAt` times, and one that
// fails for one folder.
int syncCalls = 0;
int failAt = -1;
fs::path failingFolder;
int FailNthSync(const fs::path& /*path*/, bool /*folder*/) {
  return syncCalls++ == failAt ? EIO : 0;
}
int FailFolderSync(const fs::path& path, bool folder) {
  return folder && path == failingFolder ? EIO : 0;
}

class BackupTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    base_ = fs::temp_directory_path() / ("ravlin-backup-" + std::to_string(::getpid()));
    fs::remove_all(base_);
    fs::create_directories(base_);
  }
  void TearDown() override {
    LqdFileStream::SetSync(nullptr);
    MidiDev::Instance()->ClearCancel();
    fs::remove_all(base_);
    TransferTest::TearDown();
  }

  KeyboardBackup::Link Link() {
    return {static_cast<int32_t>(BuiltInKeyboard::Input()),
            static_cast<int32_t>(BuiltInKeyboard::Output()), &cancel_};
  }
  void Arm(int steps) {
    cancel_.steps = 0;
    cancel_.Arm(steps);
    if (steps == 0) MidiDev::Instance()->RequestCancel();
  }
  // The cancel code, or -1 when the work ran to its end.
  int32_t Stopped(const std::function<void()>& work) {
    int32_t code = -1;
    try {
      work();
    } catch (const QnSysExException& e) {
      code = e.Code();
    }
    MidiDev::Instance()->ClearCancel();
    return code;
  }
  int32_t Backup(const fs::path& folder, int steps = -1) {
    Arm(steps);
    return Stopped([&] { RunToEnd(KeyboardBackup().Backup(*drv_, Link(), folder.string())); });
  }
  int32_t LoadCode(const fs::path& folder) {
    try {
      KeyboardBackup().Load(folder.string());
    } catch (const LqdStreamException& e) {
      return e.Code();
    }
    return -1;
  }
  fs::path Copy(const fs::path& from, const std::string& name) {
    fs::copy(from, base_ / name, fs::copy_options::recursive);
    return base_ / name;
  }
  void Relist() { RunToEnd(drv_->Connect(BuiltInKeyboard::Input(), BuiltInKeyboard::Output())); }

  fs::path base_;
  CancelAfter cancel_;
};

// A backup that stops, cancelled or failing, leaves the folder holding the
// earlier backup byte for byte, or, once its files have begun to move, marked
// unfinished; the user's own files stay whatever happens.
TEST_F(BackupTest, StoppedBackupLeavesTheEarlierBackupByteForByte) {
  const fs::path earlierFolder = base_ / "earlier";
  fs::create_directories(earlierFolder / "mine");
  std::ofstream(earlierFolder / "notes.txt") << "mine";
  std::ofstream(earlierFolder / "mine" / "tone-0.lqd") << "mine too";
  ASSERT_EQ(Backup(earlierFolder), -1);
  const auto earlier = FolderFiles(earlierFolder);

  // Another keyboard: a tone changed, a rhythm gone, a second song.
  Sim().SetItem({Kind::Tone, 0, 0}, std::vector<uint8_t>(60, 0x11));
  Sim().Clear({Kind::Rhythm, 0, 1});
  Sim().SetItem({Kind::Song, 0, 1}, std::vector<uint8_t>(300, 0x22));
  Relist();
  const fs::path laterFolder = Copy(earlierFolder, "later");
  ASSERT_EQ(Backup(laterFolder), -1);
  const int steps = cancel_.steps;
  const auto later = FolderFiles(laterFolder);
  ASSERT_NE(later.at("tone-0.lqd"), earlier.at("tone-0.lqd"));
  ASSERT_EQ(later.count("rhythm-1.lqd"), 0u);
  ASSERT_EQ(later.count("song-1.lqd"), 1u);
  ASSERT_EQ(later.at("notes.txt"), "mine");
  ASSERT_EQ(later.at("mine/tone-0.lqd"), "mine too");

  // At the start, on the first item, in the middle, after the last exchange.
  for (int at : {0, 1, steps / 2, steps}) {
    SCOPED_TRACE(at);
    const fs::path folder = Copy(earlierFolder, "cancel-" + std::to_string(at));
    EXPECT_EQ(Backup(folder, at), QnSysEx::kCancelled);
    EXPECT_TRUE(FolderFiles(folder) == earlier);
  }

  // A failure of each sync in turn (a full disk, a stick pulled out).
  syncCalls = 0;
  LqdFileStream::SetSync(FailNthSync);
  const int syncs = [&] {
    Backup(Copy(earlierFolder, "count"));
    return syncCalls;
  }();
  ASSERT_GT(syncs, 40);
  std::string outcomes;
  for (failAt = 0; failAt < syncs; ++failAt) {
    SCOPED_TRACE(failAt);
    syncCalls = 0;
    const fs::path folder = Copy(earlierFolder, "sync-" + std::to_string(failAt));
    EXPECT_THROW(Backup(folder), FileError);
    const auto files = FolderFiles(folder);
    for (const auto& [name, bytes] : files) {
      EXPECT_TRUE(earlier.count(name) + later.count(name) > 0) << name << " left behind";
    }
    outcomes += files == earlier                                  ? 'e'
                : files == later                                  ? 'l'
                : LoadCode(folder) == KeyboardBackup::kUnfinished ? 'u'
                                                                  : '?';
  }
  // Only a failure of the very last sync leaves the new backup, and as complete.
  EXPECT_TRUE(std::regex_match(outcomes, std::regex("e+u+l"))) << outcomes;
}

// A backup cut off once its files began to move is refused; one written
// before the marker existed is read as it is.
TEST_F(BackupTest, UnfinishedBackupIsRefusedAndOneWithoutMarkerIsRead) {
  const fs::path folder = base_ / "backup";
  fs::create_directories(folder);
  failingFolder = folder;
  LqdFileStream::SetSync(FailFolderSync);
  EXPECT_THROW(Backup(folder), FileError);
  LqdFileStream::SetSync(nullptr);
  EXPECT_EQ(LoadCode(folder), KeyboardBackup::kUnfinished);

  ASSERT_EQ(Backup(folder), -1);
  EXPECT_EQ(LoadCode(folder), -1);
  // A marker that cannot be read says nothing good either.
  std::ofstream(folder / KeyboardBackup::kMarker, std::ios::trunc).close();
  EXPECT_EQ(LoadCode(folder), KeyboardBackup::kUnfinished);
  fs::remove(folder / KeyboardBackup::kMarker);
  EXPECT_EQ(LoadCode(folder), -1);
}

// What a restore asks about: the items it sends, and when the newest of them
// was written; the marker and the user's own files do not count.
TEST_F(BackupTest, ALoadedBackupCountsItsItemsAndDatesItsNewestOne) {
  const fs::path folder = base_ / "dated";
  fs::create_directories(folder);
  ASSERT_EQ(Backup(folder), -1);
  const auto twoDaysAgo = std::chrono::hours(48);
  const std::time_t made =
      std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() - twoDaysAgo);
  const auto written = fs::file_time_type::clock::now() - twoDaysAgo;
  size_t items = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".lqd") continue;
    fs::last_write_time(entry.path(), written - std::chrono::minutes(items));
    ++items;
  }
  std::ofstream(folder / "notes.txt") << "mine";
  KeyboardBackup backup;
  backup.Load(folder.string());
  EXPECT_EQ(backup.Count(), items);
  EXPECT_NEAR(static_cast<double>(backup.Made()), static_cast<double>(made), 2.0);
}

// Anything other than a regular file (or a link to one) in the place of the
// marker or of a slot's file refuses the folder, naming it, before any file
// is read: a pipe would keep the read waiting, the others would be skipped.
TEST_F(BackupTest, SomethingOtherThanAFileRefusesTheFolder) {
  const fs::path folder = base_ / "backup";
  fs::create_directories(folder);
  ASSERT_EQ(Backup(folder), -1);
  fs::rename(folder / "tone-0.lqd", folder / "tone-0.kept");
  fs::create_symlink("tone-0.kept", folder / "tone-0.lqd");
  ASSERT_EQ(LoadCode(folder), -1);
  std::string emptySlot;
  for (const SlotAddress& address : SlotAddress::All()) {
    if (!fs::exists(folder / address.BackupFileName())) emptySlot = address.BackupFileName();
  }
  ASSERT_FALSE(emptySlot.empty());

  for (const std::string& name : {std::string(KeyboardBackup::kMarker), std::string("dsp-0.lqd"),
                                  std::string("tone-0.lqd"), emptySlot}) {
    const fs::path path = folder / name;
    const fs::path aside = base_ / "aside";
    if (fs::exists(fs::symlink_status(path))) fs::rename(path, aside);
    const std::vector<std::pair<const char*, std::function<void()>>> kinds = {
        {"pipe", [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},
        {"folder", [&] { fs::create_directory(path); }},
        {"device", [&] { fs::create_symlink("/dev/zero", path); }},
        {"dangling link", [&] { fs::create_symlink("gone", path); }},
    };
    for (const auto& [kind, make] : kinds) {
      SCOPED_TRACE(name + " as " + kind);
      make();
      PipeRescuer rescuer(path.string());
      KeyboardBackup backup;
      try {
        backup.Load(folder.string());
        ADD_FAILURE() << "read";
      } catch (const LqdStreamException& e) {
        EXPECT_EQ(e.Code(), KeyboardBackup::kNotAFile);
        EXPECT_EQ(backup.Context(), path.string());
      }
      EXPECT_FALSE(rescuer.Stop()) << "waited on the pipe";
      fs::remove(path);
    }
    if (fs::exists(fs::symlink_status(aside))) fs::rename(aside, path);
    EXPECT_EQ(LoadCode(folder), -1);
  }
}

TEST_F(TransferTest, WrongTypeSendsNothing) {
  const std::vector<uint8_t> before = Sim().Item({Kind::Dsp, 0, 2});
  auto tone = MakeFile(QnData::kTypeTone, 60, "Piano");
  EXPECT_EQ(SendCode(PathOf("DSP:\\", 2), *tone), LqdMidiStream::kTypeDiffers);
  auto unknown = MakeFile(QnData::kTypeUnknown, 36, "");
  EXPECT_EQ(SendCode(PathOf("DSP:\\", 2), *unknown), LqdMidiStream::kTypeDiffers);
  EXPECT_TRUE(log_.Messages().empty());
  EXPECT_EQ(Sim().Item({Kind::Dsp, 0, 2}), before);
}

TEST_F(TransferTest, SongsMustFitTheFreeMemory) {
  const uint32_t free = Sim().FreeBytes();
  const std::vector<uint8_t> demo = Sim().Item({Kind::Song, 0, 0});
  const std::string path = PathOf("Song Rhythm:\\Song\\", 0);

  auto tooBig = MakeFile(QnData::kTypeSong, free + 1, "Big");
  EXPECT_EQ(SendCode(path, *tooBig), LqdMidiStream::kNoMemory);
  EXPECT_EQ(log_.Steps(), Steps{"read 22 c0 i0 x0"});
  EXPECT_EQ(Sim().Item({Kind::Song, 0, 0}), demo);
  QnData* target = Job(path)->Target();
  EXPECT_TRUE(target->IsPresent());
  EXPECT_EQ(target->Size(), demo.size());

  auto fits = MakeFile(QnData::kTypeSong, free, "Fits");
  RunToEnd(Job(path)->Send(*fits));
  EXPECT_EQ(Sim().Item({Kind::Song, 0, 0}), FileOrder(*fits));
  EXPECT_EQ(drv_->GetDrive("Song Rhythm:")->FreeBytes(), Sim().FreeBytes());
  EXPECT_EQ(Sim().FreeBytes(), static_cast<uint32_t>(demo.size()));

  log_.Clear();
  auto rhythm = MakeFile(QnData::kTypeRhythm, Sim().FreeBytes() + 1, "Big");
  EXPECT_EQ(SendCode(PathOf("Song Rhythm:\\Rhythm\\", 3), *rhythm), LqdMidiStream::kNoMemory);
  EXPECT_EQ(log_.Steps(), Steps{"read 22 c0 i0 x0"});
}

TEST_F(TransferTest, RhythmAndSongSendsMakeTheirTransactionsInOrder) {
  auto rhythm = MakeFile(QnData::kTypeRhythm, 300, "Samba");
  RunToEnd(Job(PathOf("Song Rhythm:\\Rhythm\\", 2))->Send(*rhythm));
  EXPECT_EQ(log_.Steps(),
            (Steps{"read 22 c0 i0 x0", "read 22 c0 i0 x0", "write 21 x0 v2", "read 22 c0 i0 x0",
                   "block 0 k64", "block 1 k64", "block 2 k22", "sleep 100", "read 22 c0 i0 x0"}));
  EXPECT_EQ(drv_->GetDrive("Song Rhythm:")->FreeBytes(), Sim().FreeBytes());

  log_.Clear();
  auto song = MakeFile(QnData::kTypeSong, 20, "Short");
  RunToEnd(Job(PathOf("Song Rhythm:\\Song\\", 1))->Send(*song));
  EXPECT_EQ(log_.Steps(), (Steps{"read 22 c0 i0 x0", "write 20 x0 v1", "read 22 c0 i0 x0",
                                 "block 0 k10", "sleep 100", "read 22 c0 i0 x0"}));

  // Fixed-size items are written over: no memory check, no deletion.
  log_.Clear();
  auto tone = MakeFile(QnData::kTypeTone, 60, "Bells");
  RunToEnd(Job(PathOf("Tone:\\", 0))->Send(*tone));
  EXPECT_EQ(log_.Steps(), (Steps{"block 0 k30", "sleep 100"}));
}

TEST_F(TransferTest, ProgressFollowsTheBlocksAndStaysInRange) {
  TestBar bar;
  bar.SetRange(0, 176);
  PBarObserver observer(&bar);
  auto registration = MakeFile(QnData::kTypeRegistration, 176, "");
  auto job = Job(PathOf("Registration:\\Bank0\\", 1));
  job->Attach(&observer);
  job->Attach(&observer);
  RunToEnd(job->Send(*registration));
  EXPECT_EQ(bar.painted, (std::vector<int>{128, 176}));
  EXPECT_EQ(registration->BankNumber(), 0u);
  EXPECT_EQ(registration->SlotNumber(), 1);

  // The other transactions of a job move the bar by 2; it stops at its end.
  bar.painted.clear();
  bar.SetPosition(0);
  bar.SetRange(0, 300);
  auto rhythm = MakeFile(QnData::kTypeRhythm, 300, "Samba");
  RunToEnd(Job(PathOf("Song Rhythm:\\Rhythm\\", 3))->Send(*rhythm));
  EXPECT_EQ(bar.painted, (std::vector<int>{2, 4, 6, 8, 136, 264, 300, 300}));

  TestBar idle;
  PBarObserver unattached(&idle);
  unattached.Update();
  PBarObserver withoutBar(nullptr);
  withoutBar.Attach(QnSysEx::Instance());
  withoutBar.Update();
  EXPECT_TRUE(idle.painted.empty());
}

TEST_F(TransferTest, PathsThatNameNoSlotAreRefused) {
  for (const char* path : {"Tone:\\Nobody", "Piano:\\User 0", "Song Rhythm:\\Song",
                           "Song Rhythm:\\Song\\", "Registration:\\Bank2", "Tone:", ""}) {
    SCOPED_TRACE(path);
    try {
      Job(path);
      ADD_FAILURE() << "a job without a slot";
    } catch (const LqdStreamException& e) {
      EXPECT_EQ(e.Code(), LqdMidiStream::kNoSlot);
    }
  }
  EXPECT_TRUE(log_.Messages().empty());
}

TEST_F(TransferTest, SlotsAreFoundWhateverTheirNamesHold) {
  auto song = MakeFile(QnData::kTypeSong, 100, "A:\\B");
  RunToEnd(Job(PathOf("Song Rhythm:\\Song\\", 1))->Send(*song));
  const std::string path = "Song Rhythm:\\Song\\A:\\B    ";
  auto job = Job(path);
  ASSERT_NE(job->Target(), nullptr);
  EXPECT_EQ(job->Target()->SlotNumber(), 1);
  QnDataFile back;
  RunToEnd(job->Receive(back));
  EXPECT_EQ(Bytes(back), Bytes(*song));

  // The deletion that precedes a song send finds the free space's drive
  // whichever separator the path uses.
  log_.Clear();
  RunToEnd(Job("Song Rhythm:/Song/A:\\B    ")->Send(*song));
  EXPECT_EQ(log_.Steps().back(), "read 22 c0 i0 x0");
  EXPECT_EQ(Job("Registration:/Bank2/Preset2-4")->Target()->SlotNumber(), 3);
}

TEST_F(TransferTest, EqualNamesNeedTheSlotItself) {
  // Imported registrations carry no name: eight NUL bytes, shown as nothing.
  auto first = MakeFile(QnData::kTypeRegistration, 176, "", 5);
  auto second = MakeFile(QnData::kTypeRegistration, 176, "", 9);
  first->HeaderBytes().fill(0);
  first->SetType(QnData::kTypeRegistration);
  first->SetSize(176);
  first->LoadDataName();
  ASSERT_EQ(first->Name(), std::string(8, '\0'));
  second->SetName(first->Name());

  RunToEnd(Job(PathOf("Registration:\\Bank1\\", 0))->Send(*first));
  QnData* user0 = Job("Registration:\\Bank1\\")->Target();
  EXPECT_EQ(user0->SlotNumber(), 0);

  QnData* user2 = Job(PathOf("Registration:\\Bank1\\", 2))->Target();
  RunToEnd(Job(user2, BuiltInKeyboard::Input(), BuiltInKeyboard::Output())->Send(*second));
  EXPECT_EQ(Sim().Item({Kind::Registration, 1, 2}), FileOrder(*second));
  EXPECT_EQ(Sim().Item({Kind::Registration, 1, 0}), FileOrder(*first));

  // Two slots now answer to the same name: the path is refused, not guessed.
  EXPECT_THROW(Job("Registration:\\Bank1\\"), LqdStreamException);
  QnDataFile back;
  RunToEnd(Job(user2, BuiltInKeyboard::Input(), BuiltInKeyboard::Output())->Receive(back));
  EXPECT_EQ(Bytes(back), Bytes(*second));

  QnDataFile loose(QnData::kTypeTone);
  for (QnData* notASlot : {static_cast<QnData*>(&loose),
                           static_cast<QnData*>(drv_->GetDrive("Song Rhythm:")->Child(0)),
                           static_cast<QnData*>(nullptr)}) {
    EXPECT_THROW(Job(notASlot, BuiltInKeyboard::Input(), BuiltInKeyboard::Output()),
                 LqdStreamException);
  }
}

}  // namespace
