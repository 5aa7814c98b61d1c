#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <utility>

#include "ProgramSide.h"
#include "sim/Scheduler.h"
#include "sim/SimLink.h"

using namespace std::chrono_literals;
using program::Bytes;
using sim::Fault;
using sim::SimLink;
using sim::Timing;
using sim::Trv408;

namespace {

// A simulated clock that runs the link's events in time order, at once.
class StepScheduler : public sim::Scheduler {
 public:
  Clock::time_point Now() override { return now_; }
  void At(Clock::time_point when, std::function<void()> action) override {
    events_.emplace(std::pair{std::max(when, now_), posted_++}, std::move(action));
  }
  void RunAll() {
    while (!events_.empty()) {
      auto first = events_.begin();
      now_ = first->first.first;
      std::function<void()> action = std::move(first->second);
      events_.erase(first);
      action();
    }
  }
  size_t Pending() const { return events_.size(); }

 private:
  Clock::time_point now_{};
  uint64_t posted_ = 0;
  std::map<std::pair<Clock::time_point, uint64_t>, std::function<void()>> events_;
};

// What reaches the program's end of the link, with the moment it came.
struct Event {
  std::string what;
  Bytes message;
  sim::Scheduler::Clock::time_point at;
};

struct Fixture {
  explicit Fixture(Timing timing) : link(keyboard, timing, clock) {
    link.SetSink([this](const Bytes& m, auto at) { events.push_back({"answer", m, at}); });
  }
  std::function<void()> Sent() {
    return [this] { events.push_back({"sent", {}, clock.Now()}); };
  }

  Trv408 keyboard;
  StepScheduler clock;
  SimLink link;
  std::vector<Event> events;
};

TEST(SimLink, AnswersComeAfterTheMessageWentOut) {
  Fixture f(Timing{});
  f.keyboard.SetFault(Fault::ForeignFirst);
  f.link.Send(program::Read(0, 0, 0x22, 32, 0), f.Sent());
  f.clock.RunAll();
  ASSERT_EQ(f.events.size(), 3u);
  EXPECT_EQ(f.events[0].what, "sent");
  EXPECT_EQ(f.events[1].what, "answer");
  EXPECT_NE(f.events[1].message[1], 0x44);  // the foreign message first
  EXPECT_EQ(f.events[2].what, "answer");
  EXPECT_EQ(program::Value(f.events[2].message, 32), f.keyboard.FreeBytes());
}

TEST(SimLink, MessagesAreHandledInTheOrderSent) {
  Fixture f(Timing{true, 0us});
  for (int p : {0x26, 0x23, 0x22}) f.link.Send(program::Read(0, 0, p, 32, 0), nullptr);
  f.clock.RunAll();
  ASSERT_EQ(f.events.size(), 3u);
  EXPECT_EQ(f.events[0].message[6], 0x26);
  EXPECT_EQ(f.events[1].message[6], 0x23);
  EXPECT_EQ(f.events[2].message[6], 0x22);
}

// On the simulated clock the times are exact: each direction takes its
// bytes' wire time, the answer the keyboard's delay on top, and a second
// message waits for the wire to be free.
TEST(SimLink, CableTimingDelaysEachDirectionByItsWireTime) {
  const auto replyDelay = 3ms;
  Fixture f(Timing{true, replyDelay});
  const Bytes request = program::Read(0, 0, 0x22, 32, 0);
  const auto start = f.clock.Now();
  f.link.Send(request, f.Sent());
  f.link.Send(request, f.Sent());
  EXPECT_EQ(f.link.KeyboardFreeAt() - start, 2 * SimLink::kByteTime * request.size());
  f.clock.RunAll();
  ASSERT_EQ(f.events.size(), 4u);
  const auto wire = SimLink::kByteTime * request.size();
  const auto answerWire = SimLink::kByteTime * f.events[2].message.size();
  EXPECT_EQ(f.events[0].what, "sent");
  EXPECT_EQ(f.events[0].at - start, wire);
  EXPECT_EQ(f.events[1].what, "sent");
  EXPECT_EQ(f.events[1].at - start, 2 * wire);
  EXPECT_EQ(f.events[2].what, "answer");
  EXPECT_EQ(f.events[2].at - start, wire + replyDelay + answerWire);
  // The second answer is ready before the first is through, and waits.
  EXPECT_EQ(f.events[3].at - f.events[2].at, answerWire);
  EXPECT_EQ(f.link.ProgramFreeAt(), f.events[3].at);
}

TEST(SimLink, StalledOutputNeverCompletes) {
  Fixture f(Timing{});
  f.keyboard.SetFault(Fault::StallOutput);
  f.link.Send(program::Read(0, 0, 0x22, 32, 0), f.Sent());
  EXPECT_EQ(f.keyboard.CurrentFault(), Fault::None);
  f.link.Send(program::Read(0, 0, 0x00, 14, 0), f.Sent());
  f.clock.RunAll();
  ASSERT_EQ(f.events.size(), 2u);
  EXPECT_EQ(f.events[1].message[6], 0x00);  // only the second message was heard
}

TEST(SimLink, ClearedSinkIsNotCalled) {
  Fixture f(Timing{});
  f.link.SetSink(nullptr);
  f.link.Send(program::Read(0, 0, 0x22, 32, 0), f.Sent());
  f.clock.RunAll();
  ASSERT_EQ(f.events.size(), 1u);
  EXPECT_EQ(f.events[0].what, "sent");
}

TEST(SimLink, SinkMaySendFromAnEvent) {
  Fixture f(Timing{});
  // A download driven from the sink, as a device driver's callback would.
  f.link.SetSink([&](const Bytes& m, auto at) {
    f.events.push_back({"answer", m, at});
    if (program::HandshakeCode(m) == 0) return;
    f.link.Send(program::Handshake(10, 0, 1), nullptr);
  });
  f.link.Send(program::RequestData(10, 0), nullptr);
  f.clock.RunAll();
  const size_t blocks = (f.keyboard.Item({Trv408::Kind::Song, 0, 0}).size() / 2 + 63) / 64;
  ASSERT_EQ(f.events.size(), blocks + 1);
  EXPECT_EQ(program::HandshakeCode(f.events.back().message), 0);
}

}  // namespace
