// Parameter reads and writes through the real MIDI device and the built-in
// keyboard, including what the keyboard's faults make of them.
#include <gtest/gtest.h>

#include "ProtocolLink.h"
#include "midi/QnException.h"
#include "platform/midi/MidiInQueue.h"
#include "platform/midi/MidiOutBuffer.h"
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

TEST_F(ParameterTransactionTest, ForeignMessageTakenAsTheAnswerIsTooShort) {
  Keyboard().SetFault(sim::Fault::ForeignFirst);
  ExpectThrow<QnSysExException>([this] { FreeBytes(); },
                                [](const QnSysExException& e) { EXPECT_EQ(e.Code(), 3); });
  EXPECT_EQ(Device().Reply()[1], 0x43);
  ExpectCleanNextTransaction();
}

// A far end that hands the input buffer back empty for the first `empties`
// requests (the one answer a port can give that does not begin with 0xF0)
// and then answers a read with the value 1234.
class EmptyAnswerService : public MidiService {
 public:
  int empties = 0;
  int requests = 0;

  std::vector<std::string> InputNames() override { return {"empty"}; }
  std::vector<std::string> OutputNames() override { return {"empty"}; }
  MidiResult OpenIn(unsigned, MidiEvent& event, std::unique_ptr<MidiInPort>& port) override {
    auto in = std::make_unique<In>(event);
    in_ = in.get();
    port = std::move(in);
    return midi_result::kOk;
  }
  MidiResult OpenOut(unsigned, MidiEvent& event, std::unique_ptr<MidiOutPort>& port) override {
    port = std::make_unique<Out>(event, *this);
    return midi_result::kOk;
  }

 private:
  struct In : MidiInQueue {
    using MidiInQueue::Deliver;
    using MidiInQueue::MidiInQueue;
  };
  struct Out : MidiOutBuffer {
    Out(MidiEvent& event, EmptyAnswerService& far) : MidiOutBuffer(event), far_(far) {}
    MidiResult LongMsg(MidiHeader& header) override {
      if (const MidiResult result = Sendable(header); result != midi_result::kOk) return result;
      const Bytes sent(header.data, header.data + header.bufferLength);
      event_.Post([&] { header.flags |= MidiHeader::kDone; });
      far_.Answer(sent);
      return midi_result::kOk;
    }
    MidiResult Reset() override { return midi_result::kOk; }
    EmptyAnswerService& far_;
  };

  void Answer(const Bytes& request) {
    if (++requests <= empties) {
      in_->Reset();  // hands the buffer back done, nothing recorded
      return;
    }
    Bytes answer(request.begin(), request.end() - 1);
    for (uint32_t value = 1234, i = 0; i < 5; ++i, value >>= 7)
      answer.push_back(static_cast<uint8_t>(value & 0x7F));
    answer.push_back(0xF7);
    in_->Deliver(answer.data(), answer.size());
  }

  In* in_ = nullptr;
};

TEST(ParameterReadAttempts, FiveAnswersThatAreNoMessageEndTheReadWithCodeOne) {
  EmptyAnswerService far;
  MidiDev::UseService(&far);
  QnSysEx* protocol = QnSysEx::Instance();
  Recorder recorder(*protocol);
  struct Cleanup {
    QnSysEx* protocol;
    ~Cleanup() {
      delete protocol;
      MidiDev::UseService(nullptr);
    }
  } cleanup{protocol};
  protocol->Attach(&recorder);
  SysExAddress address;
  SysExParam param;
  param.number = 0x22;
  param.width = 32;
  auto read = [&] {
    protocol->OpenIn(0);
    protocol->OpenOut(0);
    protocol->SetCommand(QnSysEx::kRead);
    protocol->SetAddress(&address);
    param.value = 99;
    protocol->SetParameter(&param);
    protocol->Transact();
  };

  far.empties = QnSysEx::kReadAttempts - 1;
  read();
  EXPECT_EQ(far.requests, QnSysEx::kReadAttempts);
  EXPECT_EQ(param.value, 1234u);
  EXPECT_EQ(recorder.bytesInBlock, std::vector<int>{2});

  far.requests = 0;
  far.empties = QnSysEx::kReadAttempts;
  ExpectThrow<QnSysExException>(read, [](const QnSysExException& e) { EXPECT_EQ(e.Code(), 1); });
  EXPECT_EQ(far.requests, QnSysEx::kReadAttempts);
  EXPECT_EQ(param.value, 99u);  // no value is passed off as the keyboard's
  EXPECT_EQ(recorder.bytesInBlock, std::vector<int>{2});

  // The next read runs as if nothing had happened.
  far.requests = 0;
  far.empties = 0;
  read();
  EXPECT_EQ(param.value, 1234u);
  EXPECT_EQ(far.requests, 1);
}

}  // namespace
