#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptedDriver.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"
#include "support/TestClock.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Timing = Script::Timing;

const Bytes kRequest = {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7};
const Bytes kAnswer = {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00,
                       0x0D, 0x00, 0x00, 0x00, 0x05, 0xF7};
// From the keyboard too: taken for the answer if it came after the request.
const Bytes kOther = {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x20, 0x01, 0xF7};
const Bytes kForeign = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0xF7};

// What the device shows its observer, in order.
class Log : public MidiMessageObserver {
 public:
  void Sent(MidiClock::TimePoint, const uint8_t*, size_t) override { events.push_back("sent"); }
  void Received(MidiClock::TimePoint, const uint8_t* bytes, size_t size) override {
    events.push_back(Bytes(bytes, bytes + size) == kAnswer ? "answer" : "received");
  }
  void Stray(MidiClock::TimePoint, const uint8_t*, size_t) override { events.push_back("stray"); }
  void Failed(MidiClock::TimePoint, int32_t code, uint32_t) override {
    events.push_back("failed " + std::to_string(code));
  }
  std::vector<std::string> events;
};

class ScriptedDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device.SetObserver(&log);
    device.OpenIn(0);
    device.OpenOut(0);
  }

  static Task<void> Exchanges(MidiDev& device, int count) {
    for (int i = 0; i < count; ++i) {
      MidiDev::Exchanging exchanging = device.Exchange();
      co_await exchanging;
    }
  }
  // Runs `count` exchanges of kRequest; the code of the failure that ended
  // them, -1 for none.
  int Run(int count = 1, uint8_t waitReply = 1) {
    device.Request() = kRequest;
    device.SetWaitReply(waitReply);
    Task<void> task = Exchanges(device, count);
    driver.Start(device, task, nullptr);
    try {
      task.Result();
    } catch (const MidiDevException& e) {
      return e.Code();
    }
    return -1;
  }

  ScriptedDriver driver;
  TestClock clock;
  MidiDev device{driver, clock};
  Log log;
};

TEST_F(ScriptedDriverTest, PlaysEachTimingAsTheDeviceSeesIt) {
  struct Case {
    const char* name;
    std::vector<Script::Record> script;
    int code;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {"answer", {{Timing::kAnswer, kAnswer}}, -1, {"sent", "answer"}},
      {"early and between come before the request",
       {{Timing::kEarly, kOther}, {Timing::kBetween, kAnswer}, {Timing::kAnswer, kAnswer}},
       -1,
       {"stray", "stray", "sent", "answer"}},
      {"an early answer leaves the request unanswered",
       {{Timing::kEarly, kAnswer}},
       MidiDev::kReplyTimeout,
       {"stray", "sent", "failed 5"}},
      {"silence", {}, MidiDev::kReplyTimeout, {"sent", "failed 5"}},
      {"another maker's message is no answer",
       {{Timing::kAnswer, kForeign}},
       MidiDev::kReplyTimeout,
       {"sent", "stray", "failed 5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log.events.clear();
    std::vector<uint8_t> input;
    for (const auto& record : c.script) Script::Append(input, record.timing, record.message);
    driver.Play(input.data(), input.size());
    EXPECT_EQ(Run(), c.code);
    EXPECT_EQ(log.events, c.events);
  }
}

// The listener hears each request before its answer is taken and may
// queue that answer, as the seed writer's simulated keyboard does.
TEST_F(ScriptedDriverTest, ListenerMayAnswerWhatItHears) {
  std::vector<Bytes> heard;
  driver.Listen([&](const Bytes& sent) {
    heard.push_back(sent);
    driver.Queue(Timing::kAnswer, kAnswer);
  });
  EXPECT_EQ(Run(2), -1);
  EXPECT_EQ(heard, (std::vector<Bytes>{kRequest, kRequest}));
  EXPECT_EQ(device.Reply(), kAnswer);
}

// A request that waits for no answer ends when it has gone out; what
// answers it all the same is a stray, before the next request or after the
// work.
TEST_F(ScriptedDriverTest, AnswerToARequestThatWaitsForNoneIsAStray) {
  std::vector<uint8_t> input;
  Script::Append(input, Timing::kAnswer, kAnswer);
  Script::Append(input, Timing::kAnswer, kAnswer);
  driver.Play(input.data(), input.size());
  EXPECT_EQ(Run(2, 0), -1);
  EXPECT_EQ(log.events, (std::vector<std::string>{"sent", "stray", "sent", "stray"}));
}

}  // namespace
