// The keyboard parameter requests against the built-in keyboard.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ProtocolLink.h"
#include "midi/QnException.h"
#include "protocol/QnKbd.h"
#include "protocol/QnSysExObserver.h"
#include "support/TestClock.h"

namespace {

using sim::SlotKind;

class CountingObserver : public QnSysExObserver {
 public:
  void Attach(QnSysEx* protocol) override {
    subject_ = protocol;
    protocol->Attach(this);
  }
  void Update() override { ++updates; }
  int updates = 0;
};

class QnKbdTest : public ::testing::Test {
 protected:
  void SetUp() override { kbd_.emplace(); }
  void TearDown() override { kbd_.reset(); }

  void Open() {
    RunToEnd(kbd_->Open(static_cast<int32_t>(BuiltInKeyboard::Input()),
               static_cast<int32_t>(BuiltInKeyboard::Output())));
  }
  sim::Trv408& Keyboard() { return BuiltInKeyboard::Keyboard(); }
  const Bytes& Sent() { return MidiDev::Instance()->Request(); }

  // Puts an 8-character name into an item's data where the keyboard keeps it.
  void Name(sim::SlotId slot, size_t offset, const std::string& name) {
    Bytes data = Keyboard().Item(slot);
    std::copy(name.begin(), name.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
    Keyboard().SetItem(slot, data);
  }

  BuiltInKeyboard builtIn_;
  std::optional<QnKbd> kbd_;
};

TEST_F(QnKbdTest, ReadsTheWholeListAndMovesASongThatFillsTheMemory) {
  Open();
  EXPECT_EQ(RunToEnd(kbd_->KeyboardType()), 0);
  EXPECT_EQ(RunToEnd(kbd_->FreeBytes()), 21504u - 716u - 412u - 284u);

  const char* tones[] = {"Piano 1 ", "E.Piano ", "Strings ", "BrassSec", "Organ 2 ",
                         "SynthLd ", "Flute   ", "Nylon Gt", "FretBass", "WarmPad "};
  const char* dsps[] = {"Hall 1  ", "Room    ", "Stage   ", "Plate   ", "Chorus  ",
                        "Flanger ", "Delay   ", "Rotary  ", "Distort ", "Echo    "};
  for (uint8_t n = 0; n < 10; ++n) {
    EXPECT_EQ(RunToEnd(kbd_->ToneName(n)), tones[n]);
    EXPECT_EQ(RunToEnd(kbd_->DspName(n)), dsps[n]);
  }
  EXPECT_EQ(RunToEnd(kbd_->SongSize(0)), 716u);
  EXPECT_EQ(RunToEnd(kbd_->SongName(0)), "DemoSong");
  EXPECT_EQ(RunToEnd(kbd_->SongSize(1)), 0u);
  EXPECT_EQ(RunToEnd(kbd_->RhythmSize(0)), 412u);
  EXPECT_EQ(RunToEnd(kbd_->RhythmName(0)), "Bossa 2 ");
  EXPECT_EQ(RunToEnd(kbd_->RhythmSize(1)), 284u);
  EXPECT_EQ(RunToEnd(kbd_->RhythmName(1)), "Funk Grv");
  for (uint8_t r = 2; r < 4; ++r) EXPECT_EQ(RunToEnd(kbd_->RhythmSize(r)), 0u);

  RunToEnd(kbd_->DeleteSong(0));
  RunToEnd(kbd_->DeleteRhythm(0));
  RunToEnd(kbd_->DeleteRhythm(1));
  ASSERT_EQ(RunToEnd(kbd_->FreeBytes()), 21504u);

  const Bytes song = Pattern(21504, 9);
  std::vector<uint16_t> words = ToWords(song);
  SysExAddress address;
  address.category = 10;
  address.itemNumber = 1;
  address.bytesRemaining = static_cast<uint32_t>(song.size());
  address.words = words.data();
  address.wordCount = static_cast<uint32_t>(words.size());
  QnSysEx* protocol = QnSysEx::Instance();
  protocol->SetCommand(QnSysEx::kSendBlocks);
  protocol->SetAddress(&address);
  RunToEnd(protocol->Transact());
  EXPECT_EQ(RunToEnd(kbd_->FreeBytes()), 0u);
  EXPECT_EQ(RunToEnd(kbd_->SongSize(1)), 21504u);
  EXPECT_EQ(Keyboard().Item({SlotKind::Song, 0, 1}), song);

  std::vector<uint16_t> back(words.size());
  address.words = back.data();
  protocol->SetCommand(QnSysEx::kReceiveBlocks);
  protocol->SetAddress(&address);
  RunToEnd(protocol->Transact());
  EXPECT_EQ(ToBytes(back), song);
}

TEST_F(QnKbdTest, NamesAreTwoFourCharacterParts) {
  Open();
  Name({SlotKind::Tone, 0, 3}, 36, "ORGAN   ");
  EXPECT_EQ(RunToEnd(kbd_->ToneName(3)), "ORGAN   ");
  EXPECT_EQ(Sent()[6], 0x61);  // the second part
  EXPECT_EQ(Sent()[8], 0x03);  // item 387
  EXPECT_EQ(Sent()[9], 0x03);

  // A part ends before its first zero byte counted from the end.
  Name({SlotKind::Dsp, 0, 2}, 0, std::string("Bass\0\0\0\0", 8));
  EXPECT_EQ(RunToEnd(kbd_->DspName(2)), "Bass");
  Name({SlotKind::Dsp, 0, 2}, 0, std::string("Ab\0\0Cd\0x", 8));
  EXPECT_EQ(RunToEnd(kbd_->DspName(2)), "x");

  RunToEnd(kbd_->ToneName(0));
  EXPECT_EQ(Sent(),
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x12, 0x61, 0x1F, 0x00, 0x03, 0x00, 0xF7}));
  RunToEnd(kbd_->DspName(0));
  EXPECT_EQ(Sent(),
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x19, 0x31, 0x1F, 0x64, 0x00, 0x00, 0xF7}));
  RunToEnd(kbd_->SongName(1));
  EXPECT_EQ(Sent(),
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x28, 0x1F, 0x00, 0x00, 0x01, 0xF7}));
  RunToEnd(kbd_->RhythmName(3));
  EXPECT_EQ(Sent(),
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x25, 0x1F, 0x00, 0x00, 0x03, 0xF7}));
}

TEST_F(QnKbdTest, DeletionsWriteTheSlotNumber) {
  Open();
  Keyboard().SetItem({SlotKind::Song, 0, 1}, Pattern(100));
  RunToEnd(kbd_->DeleteSong(1));
  EXPECT_EQ(Sent(), (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x00, 0x20, 0x07, 0x00, 0x00, 0x00, 0x01,
                           0x00, 0xF7}));
  EXPECT_TRUE(Keyboard().Item({SlotKind::Song, 0, 1}).empty());
  EXPECT_FALSE(Keyboard().Item({SlotKind::Song, 0, 0}).empty());

  RunToEnd(kbd_->DeleteRhythm(1));
  EXPECT_EQ(Sent()[6], 0x21);
  EXPECT_EQ(Sent()[11], 0x01);
  EXPECT_TRUE(Keyboard().Item({SlotKind::Rhythm, 0, 1}).empty());
  EXPECT_EQ(RunToEnd(kbd_->RhythmSize(0)), 412u);
}

TEST_F(QnKbdTest, FixedSizesAndRegistrationNamesFollowTheKeyboardType) {
  Open();
  EXPECT_EQ(kbd_->ToneSize(), 60u);
  EXPECT_EQ(kbd_->DspSize(), 36u);
  EXPECT_EQ(kbd_->RegistrationSize(), 176u);
  EXPECT_EQ(kbd_->RegistrationName(0, 0), "Preset0-1");
  EXPECT_EQ(kbd_->RegistrationName(3, 3), "Preset3-4");

  // Asking again does not change what Open found.
  Keyboard().SetKeyboardType(1);
  EXPECT_EQ(RunToEnd(kbd_->KeyboardType()), 1);
  EXPECT_EQ(kbd_->ToneSize(), 60u);

  Open();
  EXPECT_EQ(kbd_->ToneSize(), 0u);
  EXPECT_EQ(kbd_->DspSize(), 0u);
  EXPECT_EQ(kbd_->RegistrationSize(), 0u);
  EXPECT_EQ(kbd_->RegistrationName(0, 0), "");
}

TEST_F(QnKbdTest, FailuresPassThroughAndOpenKeepsTheNumbersGiven) {
  TestClock clock;
  MidiDev::Instance()->SetClock(clock);
  Open();
  clock.ExpireWhenQuiet(BuiltInKeyboard::QuietProbe());
  // The first part is read, the second gets no answer.
  Keyboard().SetFault(sim::Fault::NoAnswer, 1);
  ExpectThrow<MidiDevException>([this] { RunToEnd(kbd_->ToneName(0)); },
                                [](const MidiDevException& e) { EXPECT_EQ(e.Code(), 5); });
  clock.RunNormally();
  // Another maker's message first is a stray: the keyboard's answer is read.
  Keyboard().SetFault(sim::Fault::ForeignFirst);
  EXPECT_EQ(RunToEnd(kbd_->FreeBytes()), Keyboard().FreeBytes());
  EXPECT_EQ(RunToEnd(kbd_->ToneName(0)), "Piano 1 ");

  const int32_t missing = 200;
  ExpectThrow<MidiDevException>([&] { RunToEnd(kbd_->Open(missing, missing)); },
                                [](const MidiDevException& e) { EXPECT_EQ(e.Code(), 0); });
  EXPECT_EQ(kbd_->InputDevice(), missing);
  EXPECT_EQ(kbd_->OutputDevice(), missing);
}

TEST_F(QnKbdTest, ObserverAttachedThroughTheAccessorSeesEveryRequest) {
  CountingObserver observer;
  kbd_->AttachObserver(&observer);
  Open();
  RunToEnd(kbd_->FreeBytes());
  RunToEnd(kbd_->ToneName(1));
  EXPECT_EQ(observer.updates, 4);
}

TEST_F(QnKbdTest, ProtocolAndDeviceAreMadeAnewAfterTheAccessorIsGone) {
  Open();
  kbd_.reset();
  kbd_.emplace();
  Open();
  EXPECT_EQ(RunToEnd(kbd_->SongName(0)), "DemoSong");
}

}  // namespace
