// Parameter reads and writes through the real MIDI device and the built-in
// keyboard, including what the keyboard's faults make of them.
#include <gtest/gtest.h>

#include "ProtocolLink.h"
#include "midi/QnException.h"
#include "support/TestClock.h"

namespace {

class ParameterTransactionTest : public ProtocolLink {
 protected:
  void SetUp() override {
    ProtocolLink::SetUp();
    Device().SetClock(clock_);
  }

  uint32_t FreeBytes() { return Read(kGeneral, 0, 0x22, 32); }

  // After a failure the next transaction runs as if nothing had happened.
  void ExpectCleanNextTransaction() {
    clock_.RunNormally();
    // A late answer of the failed transaction must not be taken for this one.
    BuiltInKeyboard::Settle();
    const uint32_t expected = Keyboard().FreeBytes();
    EXPECT_EQ(FreeBytes(), expected);
    EXPECT_EQ(Read(kTone, 384, 0x60, 32), 0x5069616Eu);  // "Pian"
  }

  TestClock clock_;
};

TEST_F(ParameterTransactionTest, ReadsSendTheDocumentedBytesAndDecodeTheAnswer) {
  EXPECT_EQ(FreeBytes(), Keyboard().FreeBytes());
  EXPECT_EQ(Sent(),
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x22, 0x1F, 0x00, 0x00, 0x00, 0xF7}));

  Keyboard().SetKeyboardType(300);  // needs both groups of a 14-bit value
  EXPECT_EQ(Read(kGeneral, 0, 0x00, 14), 300u);
  EXPECT_EQ(Sent(),
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7}));

  EXPECT_EQ(Read(kGeneral, 0, 0x23, 32, 1), 284u);  // size of rhythm 1
  EXPECT_EQ(Sent()[10], 1);
}

TEST_F(ParameterTransactionTest, WriteSendsOneMessageWithItsValueGroups) {
  struct Case {
    uint8_t width;
    uint32_t value;
    Bytes groups;
  };
  const Case cases[] = {
      {7, 0x7F, {0x7F}},
      {8, 0xFF, {0x7F, 0x01}},
      {14, 0x3FFF, {0x7F, 0x7F}},
      {15, 0x7FFF, {0x7F, 0x7F, 0x01}},
      {21, 0x1FFFFF, {0x7F, 0x7F, 0x7F}},
      {22, 0x3FFFFF, {0x7F, 0x7F, 0x7F, 0x01}},
      {28, 0xFFFFFFF, {0x7F, 0x7F, 0x7F, 0x7F}},
      {29, 0x1FFFFFFF, {0x7F, 0x7F, 0x7F, 0x7F, 0x01}},
      {32, 0xFFFFFFFF, {0x7F, 0x7F, 0x7F, 0x7F, 0x0F}},
  };
  for (const auto& c : cases) {
    Write(0x7E, c.width, c.value);  // a parameter the keyboard ignores
    Bytes expected{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x00, 0x7E, static_cast<uint8_t>(c.width - 1),
                   0x00, 0x00, 0x00};
    expected.insert(expected.end(), c.groups.begin(), c.groups.end());
    expected.push_back(0xF7);
    EXPECT_EQ(Sent(), expected) << int{c.width};
  }

  const uint32_t before = Keyboard().FreeBytes();
  Write(0x20, 8, 0);  // delete song 0
  EXPECT_EQ(Sent(), (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x00, 0x20, 0x07, 0x00, 0x00, 0x00, 0x00,
                           0x00, 0xF7}));
  EXPECT_TRUE(Keyboard().Item({sim::SlotKind::Song, 0, 0}).empty());
  EXPECT_EQ(FreeBytes(), before + 716);
}

TEST_F(ParameterTransactionTest, ObserverIsToldOnceWithTwoBytesAfterEachTransaction) {
  Recorder recorder(*protocol_);
  protocol_->Attach(&recorder);
  protocol_->Attach(&recorder);
  FreeBytes();
  Write(0x7E, 8, 1);
  EXPECT_EQ(recorder.bytesInBlock, (std::vector<int>{2, 2}));
}

TEST_F(ParameterTransactionTest, SilentKeyboardIsAReplyTimeout) {
  Recorder recorder(*protocol_);
  protocol_->Attach(&recorder);
  clock_.ExpireWhenQuiet(BuiltInKeyboard::QuietProbe());
  Keyboard().SetFault(sim::Fault::NoAnswer);
  ExpectThrow<MidiDevException>([this] { FreeBytes(); },
                                [](const MidiDevException& e) { EXPECT_EQ(e.Code(), 5); });
  EXPECT_TRUE(recorder.bytesInBlock.empty());
  ExpectCleanNextTransaction();
}

TEST_F(ParameterTransactionTest, StalledOutputIsAnOutputTimeout) {
  clock_.ExpireWhenQuiet(BuiltInKeyboard::QuietProbe());
  Keyboard().SetFault(sim::Fault::StallOutput);
  ExpectThrow<MidiDevException>([this] { FreeBytes(); },
                                [](const MidiDevException& e) { EXPECT_EQ(e.Code(), 6); });
  ExpectCleanNextTransaction();
}

TEST_F(ParameterTransactionTest, AnswerCutAtTheBufferEndIsStillRead) {
  Keyboard().SetFault(sim::Fault::LongAnswer);
  EXPECT_EQ(FreeBytes(), Keyboard().FreeBytes());
  EXPECT_EQ(Device().Reply().size(), MidiDev::kBufferSize);
  ExpectCleanNextTransaction();
}

// Another maker's SysEx before the answer answers nothing: it is shown as a
// stray and the read goes on to the keyboard's own answer.
TEST_F(ParameterTransactionTest, ForeignMessageBeforeTheAnswerIsAStray) {
  Keyboard().SetFault(sim::Fault::ForeignFirst);
  EXPECT_EQ(FreeBytes(), Keyboard().FreeBytes());
  EXPECT_EQ(Device().Reply()[1], 0x44);
  ExpectCleanNextTransaction();
}

}  // namespace
