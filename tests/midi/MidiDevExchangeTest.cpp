#include <stdexcept>

#include "MidiDevTestBase.h"
#include "midi/MidiResult.h"
#include "sim/Fault.h"

TEST_F(MidiDevTest, ExchangeReturnsTheKeyboardsWholeAnswer) {
  Open();
  const Bytes reply = Transact(kReadType);
  ASSERT_EQ(reply.size(), 14u);
  EXPECT_EQ(reply.front(), 0xF0);
  EXPECT_EQ(reply.back(), 0xF7);
  EXPECT_EQ(TypeOf(reply), 0);
  EXPECT_EQ(clock.Waits(), 2);

  kbd.Keyboard().SetKeyboardType(300);
  EXPECT_EQ(TypeOf(Transact(kReadType)), 300);
}

// Several exchanges inside one transaction, as a block transfer runs them:
// each one's input buffer is queued again for the next.
TEST_F(MidiDevTest, SeveralExchangesShareOneArming) {
  Open();
  dev->Request() = kReadType;
  dev->SetWaitReply(1);
  for (int type : {1, 2, 3}) {
    kbd.Keyboard().SetKeyboardType(type);
    Exchange();
    EXPECT_EQ(TypeOf(dev->Reply()), type);
  }
}

// A second message after an answer (here the keyboard sends its answer
// twice) fills the buffer queued for the next exchange before that one
// starts: the next exchange must still wait for, and return, its own answer.
TEST_F(MidiDevTest, StrayMessageAfterAnAnswerIsNotTheNextAnswer) {
  Open();
  // On the cable the copy comes some milliseconds after the answer, once the
  // input buffer has been queued again.
  kbd.Link().SetTiming({true, {}});
  kbd.Keyboard().SetFault(sim::Fault::DuplicateAnswer);
  dev->Request() = kReadType;
  dev->SetWaitReply(1);
  Exchange();
  EXPECT_EQ(TypeOf(dev->Reply()), 0);
  kbd.Settle();  // the copy is in the input buffer now
  kbd.Keyboard().SetKeyboardType(7);
  Exchange();
  EXPECT_EQ(TypeOf(dev->Reply()), 7);
}

TEST_F(MidiDevTest, ExchangeWithoutWaitingReturnsOnceTheOutputIsDone) {
  Open();
  kbd.Keyboard().SetFault(sim::Fault::NoAnswer);
  EXPECT_TRUE(Transact(kReadType, 0).empty());
  EXPECT_EQ(clock.Waits(), 1);
  EXPECT_EQ(TypeOf(Transact(kReadType)), 0);
}

TEST_F(MidiDevTest, ReplyLongerThanTheBufferIsCutAt256Bytes) {
  Open();
  kbd.Keyboard().SetFault(sim::Fault::LongAnswer);
  const Bytes reply = Transact(kReadType);
  ASSERT_EQ(reply.size(), MidiDev::kBufferSize);
  EXPECT_EQ(reply.front(), 0xF0);
  // Nothing of the long message is left over for the next transaction.
  const Bytes next = Transact(kReadType);
  EXPECT_EQ(next.size(), 14u);
  EXPECT_EQ(TypeOf(next), 0);
}

// Another maker's message is no reply: the exchange goes on waiting for the
// keyboard's, and a reply is that one message, nothing appended.
TEST_F(MidiDevTest, ReplyIsTheKeyboardsFirstMessageOnly) {
  Open();
  kbd.Keyboard().SetFault(sim::Fault::ForeignFirst);
  const Bytes reply = Transact(kReadType);
  ASSERT_EQ(reply.size(), 14u);
  EXPECT_EQ(reply[1], 0x44);
  EXPECT_EQ(TypeOf(reply), 0);
}

TEST_F(MidiDevTest, RequestLongerThanTheBufferIsRefusedBeforeSending) {
  Open();
  Bytes tooLong(MidiDev::kBufferSize + 1, 0x00);
  tooLong.front() = 0xF0;
  tooLong.back() = 0xF7;
  auto failure = FailedTransaction(tooLong);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->Code(), MidiDev::kOutputFailed);
  EXPECT_EQ(failure->SubCode(), midi_result::kInvalidParam);
  EXPECT_EQ(clock.Waits(), 0);
  EXPECT_EQ(TypeOf(Transact(kReadType)), 0);
}

namespace {

// A clock that breaks: stands for anything other than a device failure
// going wrong inside an exchange.
class BrokenClock : public TestClock {
 public:
  TimePoint Now() override { throw std::runtime_error("broken"); }
};

}  // namespace

TEST_F(MidiDevTest, OtherFailureInsideTheExchangeIsABufferFailure) {
  Open();
  BrokenClock broken;
  dev->SetClock(broken);
  auto failure = FailedTransaction();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->Code(), MidiDev::kNoBuffer);
  dev->SetClock(clock);
  EXPECT_EQ(TypeOf(Transact(kReadType)), 0);
}
