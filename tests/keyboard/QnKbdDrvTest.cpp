#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/QnData.h"
#include "files/QnDataDrive.h"
#include "keyboard/QnKbdDrv.h"
#include "keyboard/RequestLog.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"
#include "support/BuiltInKeyboard.h"
#include "support/TestClock.h"

namespace {

using Kind = sim::Trv408::Kind;
using Message = RequestLog::Message;

Message Read(int category, int item, int parameter, int width, int index) {
  Message m = {0xF0, 0x44, 0x11, 0x01, 0x7F};
  for (int byte : {0x10 | category, parameter, width - 1, item & 0x7F, item >> 7, index, 0xF7}) {
    m.push_back(static_cast<uint8_t>(byte));
  }
  return m;
}

Message ReadGeneral(int parameter, int index = 0) {
  return Read(0, 0, parameter, parameter == 0x00 ? 14 : 32, index);
}

std::string NameIn(const std::vector<uint8_t>& data, size_t offset) {
  return std::string(data.begin() + offset, data.begin() + offset + 8);
}

std::vector<uint8_t> Renamed(std::vector<uint8_t> data, size_t offset, const std::string& name) {
  std::copy(name.begin(), name.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
  return data;
}

// Silences the keyboard for good once the protocol object has completed
// `steps` requests; from then on the clock lets waits expire at once.
class SilenceAfter : public QnSysExObserver {
 public:
  SilenceAfter(int steps, TestClock& clock) : steps_(steps), clock_(clock) {}
  void Attach(QnSysEx* protocol) override {
    subject_ = protocol;
    protocol->Attach(this);
  }
  void Update() override {
    if (++seen_ != steps_) return;
    BuiltInKeyboard::Keyboard().SetFault(sim::Fault::NoAnswer, 0);
    clock_.ExpireWhenQuiet(BuiltInKeyboard::QuietProbe());
  }

 private:
  int steps_;
  TestClock& clock_;
  int seen_ = 0;
};

// The code of the MidiDevException `call` throws, or -1.
template <class Call>
int MidiFailure(Call call) {
  try {
    call();
  } catch (const MidiDevException& e) {
    return e.Code();
  }
  return -1;
}

class KbdDrvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QnKbdDrv::Destroy();
    BuiltInKeyboard::Reset();
    drv_ = QnKbdDrv::Instance();
    drv_->AttachObserver(&log_);
  }
  void TearDown() override { QnKbdDrv::Destroy(); }

  void Connect() { RunToEnd(drv_->Connect(BuiltInKeyboard::Input(), BuiltInKeyboard::Output())); }
  static sim::Trv408& Sim() { return BuiltInKeyboard::Keyboard(); }

  QnDataDrive* Folder(const std::string& path) const {
    QnDataDrive* drive = drv_->GetDrive(path.substr(0, path.find(':') + 1));
    return drv_->FindByPath(path, drive);
  }
  QnData* Slot(const std::string& folder, size_t index) const {
    return Folder(folder)->Child(index);
  }

  // The display names of the folder's children that match the mask.
  std::vector<std::string> Enumerate(const std::string& path, uint8_t mask) {
    std::vector<std::string> names;
    QnData* entry = nullptr;
    if (drv_->FindFirst(path, mask, entry)) {
      do names.push_back(entry->Name());
      while (drv_->FindNext(entry));
      drv_->FindClose();
    }
    return names;
  }

  // Every slot of the tree with its folder path.
  std::vector<std::pair<std::string, QnData*>> AllSlots() {
    std::vector<std::pair<std::string, QnData*>> slots;
    for (int i = 0; i < drv_->GetDriveCount(); ++i) {
      const std::string drivePath = drv_->GetDriveName(i) + "\\";
      QnData* entry = nullptr;
      if (!drv_->FindFirst(drivePath, 13, entry)) continue;
      do {
        if (entry->Kind() & QnData::kKindDirectory) {
          const std::string folderPath = drivePath + entry->Name() + "\\";
          QnData* slot = nullptr;
          if (drv_->FindFirst(folderPath, 13, slot)) {
            do slots.push_back({folderPath, slot});
            while (drv_->FindNext(slot));
            drv_->FindClose();
          }
        } else {
          slots.push_back({drivePath, entry});
        }
      } while (drv_->FindNext(entry));
      drv_->FindClose();
    }
    return slots;
  }

  RequestLog log_;
  QnKbdDrv* drv_ = nullptr;
};

TEST_F(KbdDrvTest, InstanceIsOneObjectForTheFirstModel) {
  EXPECT_EQ(QnKbdDrv::Instance(), drv_);
  EXPECT_EQ(QnKbdDrv::Instance("TRV-999"), drv_);
  EXPECT_EQ(drv_->Root()->Name(), "TRV-408");
  EXPECT_FALSE(drv_->IsConnected());
}

TEST_F(KbdDrvTest, AnotherModelGetsNoDrives) {
  QnKbdDrv::Destroy();
  QnKbdDrv* other = QnKbdDrv::Instance("TRV-409");
  EXPECT_EQ(other->Root()->Name(), "TRV-409");
  EXPECT_EQ(other->GetDriveCount(), 0);
  EXPECT_EQ(other->Root()->ChildCount(), 0u);
  QnData* entry = nullptr;
  EXPECT_FALSE(other->FindFirst("Tone:\\", 13, entry));
}

TEST_F(KbdDrvTest, FreshMapHasTheModelsDrivesFoldersAndSlots) {
  QnDataDrive* root = drv_->Root();
  EXPECT_EQ(root->Type(), QnData::kTypeKeyboard);
  ASSERT_EQ(drv_->GetDriveCount(), 4);
  ASSERT_EQ(root->ChildCount(), 4u);
  const struct {
    const char* name;
    uint16_t type;
    uint32_t capacity, free;
  } drives[] = {{"Tone:", 2, 600, 0},
                {"DSP:", 9, 360, 0},
                {"Registration:", 12, 2816, 0},
                {"Song Rhythm:", 10, 21504, 21504}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(drives[i].name);
    EXPECT_EQ(drv_->GetDriveName(i), drives[i].name);
    QnDataDrive* drive = drv_->GetDrive(drives[i].name);
    ASSERT_EQ(drive, root->Child(i));
    EXPECT_EQ(drive->Kind(), 3);
    EXPECT_EQ(drive->Type(), drives[i].type);
    EXPECT_EQ(drive->Capacity(), drives[i].capacity);
    EXPECT_EQ(drive->FreeBytes(), drives[i].free);
  }
  EXPECT_EQ(drv_->GetDrive("Tone:")->UsedBytes(), 600u);

  EXPECT_EQ(Enumerate("Registration:\\", 4),
            (std::vector<std::string>{"Bank0", "Bank1", "Bank2", "Bank3"}));
  EXPECT_EQ(Enumerate("Song Rhythm:\\", 4), (std::vector<std::string>{"Song", "Rhythm"}));
  EXPECT_EQ(Folder("Song Rhythm:\\Rhythm\\")->Type(), QnData::kTypeRhythm);
  EXPECT_EQ(Folder("Registration:\\Bank1\\")->Kind(), 5);

  const auto slots = AllSlots();
  ASSERT_EQ(slots.size(), 42u);
  int perType[16] = {};
  for (const auto& [folder, slot] : slots) {
    SCOPED_TRACE(folder + slot->Name());
    ++perType[slot->Type()];
    EXPECT_EQ(slot->Kind(), QnData::kKindEntry);
    EXPECT_FALSE(slot->IsPresent());
    EXPECT_EQ(slot->Size(), 0u);
    EXPECT_EQ(slot->ModelCode(), 0x1101);
    const char digit = static_cast<char>('0' + slot->SlotNumber());
    const std::string prefix = slot->Type() == QnData::kTypeSong ? "Song " : "User ";
    EXPECT_EQ(slot->Name(), prefix + digit);
    if (slot->Type() == QnData::kTypeRegistration) {
      EXPECT_EQ(folder, "Registration:\\Bank" + std::to_string(slot->BankNumber()) + "\\");
    } else {
      EXPECT_EQ(slot->BankNumber(), 0u);
    }
  }
  EXPECT_EQ(perType[QnData::kTypeTone], 10);
  EXPECT_EQ(perType[QnData::kTypeDsp], 10);
  EXPECT_EQ(perType[QnData::kTypeRegistration], 16);
  EXPECT_EQ(perType[QnData::kTypeSong], 2);
  EXPECT_EQ(perType[QnData::kTypeRhythm], 4);
}

TEST_F(KbdDrvTest, ItemNumbersAddressTheSlots) {
  EXPECT_EQ(QnKbdDrv::ItemNumber(*Slot("Tone:\\", 7)), 391u);
  EXPECT_EQ(QnKbdDrv::ItemNumber(*Slot("DSP:\\", 7)), 107u);
  EXPECT_EQ(QnKbdDrv::ItemNumber(*Slot("Song Rhythm:\\Rhythm\\", 3)), 103u);
  EXPECT_EQ(QnKbdDrv::ItemNumber(*Slot("Song Rhythm:\\Song\\", 1)), 1u);
  QnData* bank2user3 = Slot("Registration:\\Bank2\\", 3);
  EXPECT_EQ(bank2user3->BankNumber(), 2u);
  EXPECT_EQ(bank2user3->SlotNumber(), 3);
  EXPECT_EQ(QnKbdDrv::ItemNumber(*bank2user3), 30u);
}

TEST_F(KbdDrvTest, PathsResolveToTheDeepestFolderTheySpell) {
  QnDataDrive* songRhythm = drv_->GetDrive("Song Rhythm:");
  QnDataDrive* song = Folder("Song Rhythm:\\Song\\");
  ASSERT_NE(song, songRhythm);
  EXPECT_EQ(song->Name(), "Song");
  EXPECT_EQ(drv_->FindByPath("Song Rhythm:\\Song\\Song 0", songRhythm), song);
  EXPECT_EQ(drv_->FindByPath("Song Rhythm:/Song/Song 0", songRhythm), song);
  EXPECT_EQ(drv_->FindByPath("Song Rhythm:|Song|", songRhythm), song);
  EXPECT_EQ(drv_->FindByPath("Song Rhythm:\\Nothing\\", songRhythm), songRhythm);
  EXPECT_EQ(drv_->FindByPath("Tone:\\", songRhythm), nullptr);
  EXPECT_EQ(drv_->FindByPath("Tone:\\", nullptr), nullptr);

  EXPECT_EQ(Enumerate("Registration:/Bank3/", 13),
            (std::vector<std::string>{"User 0", "User 1", "User 2", "User 3"}));

  EXPECT_FALSE(drv_->HasSubDirectory("Tone:"));
  EXPECT_TRUE(drv_->HasSubDirectory("Registration:"));
  EXPECT_TRUE(drv_->HasSubDirectory("Song Rhythm:\\"));
  EXPECT_FALSE(drv_->HasSubDirectory("Song Rhythm:\\Song"));
  EXPECT_FALSE(drv_->HasSubDirectory("Piano:\\"));

  EXPECT_EQ(drv_->GetDrive("Piano:"), nullptr);
  EXPECT_EQ(drv_->GetDrive("tone:"), nullptr);
  RunToEnd(drv_->UpdateFreeSpace("Piano:"));
  EXPECT_TRUE(log_.Messages().empty());
}

TEST_F(KbdDrvTest, EnumerationsFilterByKindAndNest) {
  EXPECT_EQ(Enumerate("Song Rhythm:\\Song\\", 13), (std::vector<std::string>{"Song 0", "Song 1"}));
  EXPECT_TRUE(Enumerate("Tone:\\", 4).empty());
  EXPECT_TRUE(Enumerate("Piano:\\", 13).empty());
  EXPECT_EQ(Enumerate("Song Rhythm:\\Rhythm\\", 9).size(), 4u);

  // An enumeration that finds nothing or names no drive leaves the running
  // one where it was.
  QnData* outer = nullptr;
  ASSERT_TRUE(drv_->FindFirst("Song Rhythm:\\", 13, outer));
  EXPECT_EQ(outer->Name(), "Song");
  EXPECT_EQ(Enumerate("Registration:\\", 4).size(), 4u);
  QnData* none = nullptr;
  EXPECT_FALSE(drv_->FindFirst("Tone:\\", 4, none));
  EXPECT_FALSE(drv_->FindFirst("Piano:\\", 13, none));
  {
    QnData* inner = nullptr;
    ASSERT_TRUE(drv_->FindFirst("Registration:\\Bank1\\", 13, inner));
    ASSERT_TRUE(drv_->FindNext(inner));
    EXPECT_EQ(inner->Name(), "User 1");
    // One level deeper still.
    EXPECT_EQ(Enumerate("DSP:\\", 13).size(), 10u);
    ASSERT_TRUE(drv_->FindNext(inner));
    EXPECT_EQ(inner->Name(), "User 2");
    drv_->FindClose();
  }
  ASSERT_TRUE(drv_->FindNext(outer));
  EXPECT_EQ(outer->Name(), "Rhythm");
  EXPECT_FALSE(drv_->FindNext(outer));
  drv_->FindClose();
}

TEST_F(KbdDrvTest, ConnectAsksInTheOrderOfTheMemoryMap) {
  std::vector<Message> received;
  Sim().SetMonitor([&received](const Message& m) { received.push_back(m); });
  Connect();
  Sim().SetMonitor(nullptr);
  std::vector<Message> expected = {ReadGeneral(0x00), ReadGeneral(0x00)};
  for (int n = 0; n < 10; ++n) {
    expected.push_back(Read(2, 384 + n, 0x60, 32, 0));
    expected.push_back(Read(2, 384 + n, 0x61, 32, 0));
  }
  for (int n = 0; n < 10; ++n) {
    expected.push_back(Read(9, 100 + n, 0x30, 32, 0));
    expected.push_back(Read(9, 100 + n, 0x31, 32, 0));
  }
  // The demo memory: song 0 and rhythms 0 and 1 hold data, the rest is empty.
  expected.push_back(ReadGeneral(0x22));
  for (Message m : {ReadGeneral(0x26, 0), ReadGeneral(0x27, 0), ReadGeneral(0x28, 0),
                    ReadGeneral(0x26, 1), ReadGeneral(0x22)}) {
    expected.push_back(m);
  }
  for (int n = 0; n < 2; ++n) {
    expected.push_back(ReadGeneral(0x23, n));
    expected.push_back(ReadGeneral(0x24, n));
    expected.push_back(ReadGeneral(0x25, n));
  }
  expected.push_back(ReadGeneral(0x23, 2));
  expected.push_back(ReadGeneral(0x23, 3));
  expected.push_back(ReadGeneral(0x22));

  // What the program sent, step by step, and what reached the keyboard.
  const std::vector<const std::vector<Message>*> sides = {&log_.Messages(), &received};
  for (const std::vector<Message>* seen : sides) {
    ASSERT_EQ(seen->size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ((*seen)[i], expected[i])
          << "request " << i << ": " << RequestLog::Describe((*seen)[i]) << ", expected "
          << RequestLog::Describe(expected[i]);
    }
  }
  EXPECT_TRUE(drv_->IsConnected());
}

TEST_F(KbdDrvTest, ConnectFillsEverySlotFromTheKeyboard) {
  Sim().SetItem({Kind::Rhythm, 0, 3}, std::vector<uint8_t>(40, 'r'));
  Connect();
  const uint32_t free = Sim().FreeBytes();
  EXPECT_EQ(drv_->GetDrive("Song Rhythm:")->FreeBytes(), free);
  EXPECT_EQ(drv_->GetDrive("Tone:")->FreeBytes(), 0u);
  for (const char* path : {"Song Rhythm:\\Song\\", "Song Rhythm:\\Rhythm\\"}) {
    EXPECT_EQ(Folder(path)->Size(), free);
    EXPECT_TRUE(Folder(path)->IsPresent());
  }
  EXPECT_TRUE(Folder("Registration:\\Bank3\\")->IsPresent());

  for (int n = 0; n < 10; ++n) {
    QnData* tone = Slot("Tone:\\", n);
    EXPECT_TRUE(tone->IsPresent());
    EXPECT_EQ(tone->Size(), 60u);
    EXPECT_EQ(tone->Name(), NameIn(Sim().Item({Kind::Tone, 0, n}), 36));
    QnData* dsp = Slot("DSP:\\", n);
    EXPECT_EQ(dsp->Size(), 36u);
    EXPECT_EQ(dsp->Name(), NameIn(Sim().Item({Kind::Dsp, 0, n}), 0));
  }
  QnData* preset = Slot("Registration:\\Bank1\\", 2);
  EXPECT_TRUE(preset->IsPresent());
  EXPECT_EQ(preset->Size(), 176u);
  EXPECT_EQ(preset->Name(), "Preset1-3");
  EXPECT_EQ(Slot("Registration:\\Bank3\\", 3)->Name(), "Preset3-4");

  QnData* song0 = Slot("Song Rhythm:\\Song\\", 0);
  EXPECT_TRUE(song0->IsPresent());
  EXPECT_EQ(song0->Size(), Sim().Item({Kind::Song, 0, 0}).size());
  EXPECT_EQ(song0->Name(), NameIn(Sim().Item({Kind::Song, 0, 0}), 4));
  QnData* song1 = Slot("Song Rhythm:\\Song\\", 1);
  EXPECT_FALSE(song1->IsPresent());
  EXPECT_EQ(song1->Size(), 0u);
  EXPECT_EQ(song1->Name(), "Song 1");
  QnData* rhythm3 = Slot("Song Rhythm:\\Rhythm\\", 3);
  EXPECT_TRUE(rhythm3->IsPresent());
  EXPECT_EQ(rhythm3->Name(), "rrrrrrrr");

  // Emptied on the keyboard: the next list clears the slot again.
  Sim().Clear({Kind::Rhythm, 0, 3});
  Connect();
  EXPECT_FALSE(rhythm3->IsPresent());
  EXPECT_EQ(rhythm3->Size(), 0u);
  EXPECT_EQ(rhythm3->Name(), "User 3");
}

TEST_F(KbdDrvTest, UnknownKeyboardTypeLeavesTheTreeAlone) {
  Sim().SetKeyboardType(1);
  try {
    Connect();
    FAIL() << "connected to a keyboard of type 1";
  } catch (const QnKbdDrvException& e) {
    EXPECT_EQ(e.Code(), 0);
  }
  EXPECT_FALSE(drv_->IsConnected());
  EXPECT_EQ(log_.Messages().size(), 2u);  // the two type reads, nothing else
  for (const auto& [folder, slot] : AllSlots()) EXPECT_FALSE(slot->IsPresent());

  // After a good list, a failed one keeps what the good one found.
  Sim().SetKeyboardType(0);
  Connect();
  const std::string toneName = Slot("Tone:\\", 0)->Name();
  Sim().SetKeyboardType(1);
  EXPECT_THROW(Connect(), QnKbdDrvException);
  EXPECT_TRUE(drv_->IsConnected());
  EXPECT_EQ(Slot("Tone:\\", 0)->Name(), toneName);
}

TEST_F(KbdDrvTest, LinkFailurePassesThroughAndKeepsTheState) {
  TestClock clock;
  MidiDev::Instance()->SetClock(clock);
  clock.ExpireWhenQuiet(BuiltInKeyboard::QuietProbe());
  Sim().SetFault(sim::Fault::NoAnswer);
  EXPECT_THROW(Connect(), MidiDevException);
  EXPECT_FALSE(drv_->IsConnected());

  clock.RunNormally();
  Connect();
  clock.ExpireWhenQuiet(BuiltInKeyboard::QuietProbe());
  Sim().SetFault(sim::Fault::NoAnswer);
  EXPECT_THROW(Connect(), MidiDevException);
  EXPECT_TRUE(drv_->IsConnected());
  MidiDev::Instance()->SetClock(MidiClock::Steady());
}

// A list that fails midway leaves the entries it has filled with
// their new values and the rest with their old ones.
TEST_F(KbdDrvTest, ListThatFailsMidwayKeepsOldAndNewEntries) {
  Connect();
  const std::string dsp5 = Slot("DSP:\\", 5)->Name();
  const std::string dsp9 = Slot("DSP:\\", 9)->Name();
  const uint32_t free = drv_->GetDrive("Song Rhythm:")->FreeBytes();
  Sim().SetItem({Kind::Tone, 0, 9}, Renamed(Sim().Item({Kind::Tone, 0, 9}), 36, "NewTone9"));
  Sim().SetItem({Kind::Dsp, 0, 4}, Renamed(Sim().Item({Kind::Dsp, 0, 4}), 0, "NewDsp 4"));
  Sim().SetItem({Kind::Dsp, 0, 5}, Renamed(Sim().Item({Kind::Dsp, 0, 5}), 0, "NewDsp 5"));
  Sim().SetItem({Kind::Dsp, 0, 9}, Renamed(Sim().Item({Kind::Dsp, 0, 9}), 0, "NewDsp 9"));
  Sim().SetItem({Kind::Rhythm, 0, 3}, std::vector<uint8_t>(40, 'r'));

  // Two type reads, ten tone names, four DSP names and the first half of
  // DSP 5's: its second half gets no answer.
  TestClock clock;
  MidiDev::Instance()->SetClock(clock);
  SilenceAfter silence(2 + 2 * 10 + 2 * 5 + 1, clock);
  drv_->AttachObserver(&silence);
  log_.Clear();
  EXPECT_EQ(MidiFailure([this] { Connect(); }), MidiDev::kReplyTimeout);
  EXPECT_EQ(log_.Messages().size(), 33u);

  EXPECT_EQ(Slot("Tone:\\", 9)->Name(), "NewTone9");
  EXPECT_EQ(Slot("DSP:\\", 4)->Name(), "NewDsp 4");
  EXPECT_EQ(Slot("DSP:\\", 5)->Name(), dsp5);  // half a name is no name
  EXPECT_EQ(Slot("DSP:\\", 9)->Name(), dsp9);
  QnData* rhythm3 = Slot("Song Rhythm:\\Rhythm\\", 3);
  EXPECT_FALSE(rhythm3->IsPresent());
  EXPECT_EQ(rhythm3->Name(), "User 3");
  EXPECT_EQ(drv_->GetDrive("Song Rhythm:")->FreeBytes(), free);
  EXPECT_TRUE(drv_->IsConnected());  // as the good list left it
  MidiDev::Instance()->SetClock(MidiClock::Steady());
}

// Whether the delete request or the free-space read after it
// fails, the slot stays as it was until the next list.
TEST_F(KbdDrvTest, FailedDeleteLeavesTheSlotAsItWas) {
  Connect();
  QnData* song0 = Slot("Song Rhythm:\\Song\\", 0);
  const std::string name = song0->Name();
  const uint32_t size = song0->Size();
  const uint32_t free = drv_->GetDrive("Song Rhythm:")->FreeBytes();
  const std::vector<uint8_t> data = Sim().Item({Kind::Song, 0, 0});
  auto unchanged = [&] {
    EXPECT_TRUE(song0->IsPresent());
    EXPECT_EQ(song0->Name(), name);
    EXPECT_EQ(song0->Size(), size);
    EXPECT_EQ(drv_->GetDrive("Song Rhythm:")->FreeBytes(), free);
  };
  TestClock clock;
  MidiDev::Instance()->SetClock(clock);
  clock.ExpireWhenQuiet(BuiltInKeyboard::QuietProbe());

  // The request never goes out: the keyboard keeps the song too.
  Sim().SetFault(sim::Fault::StallOutput);
  EXPECT_EQ(MidiFailure([&] { RunToEnd(drv_->DeleteData(song0)); }), MidiDev::kOutputTimeout);
  unchanged();
  EXPECT_EQ(Sim().Item({Kind::Song, 0, 0}), data);

  // The request goes out, the free-space read after it fails.
  Sim().SetFault(sim::Fault::NoAnswer);
  EXPECT_EQ(MidiFailure([&] { RunToEnd(drv_->DeleteData(song0)); }), MidiDev::kReplyTimeout);
  unchanged();
  EXPECT_TRUE(Sim().Item({Kind::Song, 0, 0}).empty());

  clock.RunNormally();
  Connect();
  EXPECT_FALSE(song0->IsPresent());
  EXPECT_EQ(song0->Size(), 0u);
  MidiDev::Instance()->SetClock(MidiClock::Steady());
}

TEST_F(KbdDrvTest, DisconnectGivesBackTheInitialMap) {
  Connect();
  ASSERT_TRUE(Slot("Song Rhythm:\\Song\\", 0)->IsPresent());
  drv_->Disconnect();
  EXPECT_FALSE(drv_->IsConnected());
  ASSERT_EQ(drv_->GetDriveCount(), 4);
  EXPECT_EQ(drv_->GetDriveName(3), "Song Rhythm:");
  EXPECT_EQ(drv_->GetDrive("Song Rhythm:")->FreeBytes(), 21504u);
  const auto slots = AllSlots();
  ASSERT_EQ(slots.size(), 42u);
  for (const auto& [folder, slot] : slots) {
    EXPECT_FALSE(slot->IsPresent());
    EXPECT_EQ(slot->Size(), 0u);
  }
  EXPECT_EQ(Slot("Song Rhythm:\\Song\\", 0)->Name(), "Song 0");
  EXPECT_EQ(Slot("Song Rhythm:\\Song\\", 1)->Name(), "Song 1");
}

TEST_F(KbdDrvTest, DeleteResetsSongsAndRhythmsOnly) {
  Connect();
  log_.Clear();

  QnData* song0 = Slot("Song Rhythm:\\Song\\", 0);
  RunToEnd(drv_->DeleteData(song0));
  EXPECT_EQ(log_.Steps(), (std::vector<std::string>{"write 20 x0 v0", "read 22 c0 i0 x0"}));
  EXPECT_EQ(log_.Messages()[0], (Message{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x00, 0x20, 0x07, 0x00, 0x00,
                                         0x00, 0x00, 0x00, 0xF7}));
  EXPECT_TRUE(Sim().Item({Kind::Song, 0, 0}).empty());
  EXPECT_EQ(song0->Name(), "Song 0");
  EXPECT_EQ(song0->Size(), 0u);
  EXPECT_FALSE(song0->IsPresent());
  EXPECT_EQ(drv_->GetDrive("Song Rhythm:")->FreeBytes(), Sim().FreeBytes());

  log_.Clear();
  QnData* rhythm1 = Slot("Song Rhythm:\\Rhythm\\", 1);
  RunToEnd(drv_->DeleteData(rhythm1));
  EXPECT_EQ(log_.Steps(), (std::vector<std::string>{"write 21 x0 v1", "read 22 c0 i0 x0"}));
  EXPECT_EQ(rhythm1->Name(), "User 1");
  EXPECT_TRUE(Sim().Item({Kind::Rhythm, 0, 1}).empty());
  EXPECT_EQ(drv_->GetDrive("Song Rhythm:")->FreeBytes(), 21504u - 412u);

  // An empty slot still costs the request and the free-space read.
  log_.Clear();
  RunToEnd(drv_->DeleteData(Slot("Song Rhythm:\\Song\\", 1)));
  EXPECT_EQ(log_.Messages().size(), 2u);

  log_.Clear();
  QnData* tone = Slot("Tone:\\", 4);
  const std::string name = tone->Name();
  try {
    RunToEnd(drv_->DeleteData(tone));
    FAIL() << "deleted a tone";
  } catch (const QnKbdDrvException& e) {
    EXPECT_EQ(e.Code(), 0);
  }
  EXPECT_TRUE(log_.Messages().empty());
  EXPECT_EQ(tone->Name(), name);
  EXPECT_TRUE(tone->IsPresent());
  EXPECT_THROW(RunToEnd(drv_->DeleteData(Folder("Song Rhythm:\\Song\\"))), QnKbdDrvException);

  for (const char* drive : {"Tone:", "DSP:", "Registration:"}) RunToEnd(drv_->UpdateFreeSpace(drive));
  EXPECT_TRUE(log_.Messages().empty());
  EXPECT_EQ(drv_->GetDrive("DSP:")->FreeBytes(), 0u);
}

}  // namespace
