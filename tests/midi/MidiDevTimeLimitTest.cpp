#include <chrono>
#include <optional>
#include <string>

#include "MidiDevTestBase.h"
#include "platform/midi/ServiceDriver.h"
#include "sim/Fault.h"

using std::chrono::milliseconds;

TEST_F(MidiDevTest, MissingReplyTimesOutAfter1001Milliseconds) {
  Open();
  kbd.Keyboard().SetFault(sim::Fault::NoAnswer);
  clock.ExpireWhenQuiet(kbd.QuietProbe());
  const auto before = clock.Now();
  auto failure = FailedTransaction();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->Code(), MidiDev::kReplyTimeout);
  EXPECT_EQ(dev->ErrorCode(), MidiDev::kReplyTimeout);
  EXPECT_EQ(clock.Now() - before, milliseconds(1001));

  clock.RunNormally();
  EXPECT_EQ(TypeOf(Transact(kReadType)), 0);
}

TEST_F(MidiDevTest, KeyboardThatStaysSilentFailsEveryTransaction) {
  Open();
  kbd.Keyboard().SetFault(sim::Fault::NoAnswer, 0);
  clock.ExpireWhenQuiet(kbd.QuietProbe());
  for (int i = 0; i < 3; ++i) {
    auto failure = FailedTransaction();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code(), MidiDev::kReplyTimeout);
  }
  kbd.Keyboard().SetFault(sim::Fault::None);
  clock.RunNormally();
  EXPECT_EQ(TypeOf(Transact(kReadType)), 0);
}

// A cancel that wakes the driver gives up the waiting exchange at once, but
// not inside an item that holds the cancel off: that one waits it out.
TEST_F(MidiDevTest, WokenCancelGivesUpTheWaitingExchangeUnlessAnItemHoldsItOff) {
  Open();
  kbd.Keyboard().SetFault(sim::Fault::NoAnswer, 0);
  clock.ExpireWhenQuiet(kbd.QuietProbe());
  for (const bool held : {false, true}) {
    SCOPED_TRACE(held);
    std::optional<MidiDev::CancelHold> hold;
    if (held) hold.emplace(*dev);
    dev->RequestCancel();
    ServiceDriver::ForMidiSystem().Wake();
    const auto before = clock.Now();
    auto failure = FailedTransaction();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code(), held ? MidiDev::kReplyTimeout : MidiDev::kAbandoned);
    EXPECT_EQ(clock.Now() - before, milliseconds(held ? 1001 : 0));
    dev->ClearCancel();
  }
}

TEST_F(MidiDevTest, OutputThatNeverCompletesTimesOutAndFreesTheBuffer) {
  Open();
  kbd.Keyboard().SetFault(sim::Fault::StallOutput);
  clock.ExpireWhenQuiet(kbd.QuietProbe());
  const auto before = clock.Now();
  auto failure = FailedTransaction();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->Code(), MidiDev::kOutputTimeout);
  EXPECT_EQ(clock.Now() - before, milliseconds(1001));
  EXPECT_EQ(clock.Waits(), 1);

  clock.RunNormally();
  EXPECT_EQ(TypeOf(Transact(kReadType)), 0);
}

TEST_F(MidiDevTest, TimeOutKeepsTheErrorSubCodeOfTheLastSystemFailure) {
  EXPECT_TRUE(Raised([&] { dev->OpenIn(-1); }));
  const uint32_t subCode = dev->ErrorSubCode();
  Open();
  kbd.Keyboard().SetFault(sim::Fault::NoAnswer);
  clock.ExpireWhenQuiet(kbd.QuietProbe());
  auto failure = FailedTransaction();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->SubCode(), subCode);
}

// When the output and the reply are seen, in clock time after the request
// started out, and what the exchange makes of it.
struct Boundary {
  milliseconds output;
  milliseconds reply;
  int32_t code;  // -1: the exchange succeeds
};

class MidiDevBoundaryTest : public MidiDevTest, public ::testing::WithParamInterface<Boundary> {};

TEST_P(MidiDevBoundaryTest, OneLimitForOutputAndReplyTogether) {
  const Boundary& b = GetParam();
  Open();
  clock.Script({b.output, b.reply});
  if (b.code < 0) {
    EXPECT_EQ(TypeOf(Transact(kReadType)), 0);
  } else {
    auto failure = FailedTransaction();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code(), b.code);
  }
  clock.RunNormally();
  EXPECT_EQ(TypeOf(Transact(kReadType)), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, MidiDevBoundaryTest,
    ::testing::Values(Boundary{milliseconds(0), milliseconds(1000), -1},
                      Boundary{milliseconds(0), milliseconds(1001), MidiDev::kReplyTimeout},
                      Boundary{milliseconds(1000), milliseconds(0), -1},
                      Boundary{milliseconds(1001), milliseconds(0), MidiDev::kOutputTimeout},
                      Boundary{milliseconds(600), milliseconds(400), -1},
                      Boundary{milliseconds(600), milliseconds(401), MidiDev::kReplyTimeout}),
    [](const ::testing::TestParamInfo<Boundary>& info) {
      const Boundary& b = info.param;
      return "Output" + std::to_string(b.output.count()) + "Reply" +
             std::to_string(b.reply.count()) + (b.code < 0 ? "Pass" : "Fails");
    });
