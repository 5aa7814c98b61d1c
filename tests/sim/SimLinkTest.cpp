#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "ProgramSide.h"
#include "sim/SimLink.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using program::Bytes;
using sim::Fault;
using sim::SimLink;
using sim::Timing;
using sim::Trv408;

namespace {

// What reaches the program's end of the link, with the moment it came.
class Recorder {
 public:
  void Sent() { Record("sent", {}); }
  void Received(const Bytes& message) { Record("answer", message); }

  // Waits (generously: this is no timing check) until `count` events are in.
  bool WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, 10s, [&] { return events_.size() >= count; });
  }
  struct Event {
    std::string what;
    Bytes message;
    Clock::time_point at;
    std::thread::id thread;
  };
  std::vector<Event> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  void Record(const std::string& what, const Bytes& message) {
    // Notified under the lock: the waiting test may destroy the recorder
    // as soon as it sees the event.
    std::lock_guard lock(mutex_);
    events_.push_back({what, message, Clock::now(), std::this_thread::get_id()});
    cv_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Event> events_;
};

TEST(SimLink, AnswersComeAfterTheMessageWentOutOnTheLinkThread) {
  Trv408 keyboard;
  keyboard.SetFault(Fault::ForeignFirst);
  Recorder recorder;
  SimLink link(keyboard, Timing{});
  link.SetSink([&](const Bytes& m) { recorder.Received(m); });
  link.Send(program::Read(0, 0, 0x22, 32, 0), [&] { recorder.Sent(); });
  ASSERT_TRUE(recorder.WaitFor(3));
  const auto events = recorder.Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].what, "sent");
  EXPECT_EQ(events[1].what, "answer");
  EXPECT_NE(events[1].message[1], 0x44);  // the foreign message first
  EXPECT_EQ(events[2].what, "answer");
  EXPECT_EQ(program::Value(events[2].message, 32), keyboard.FreeBytes());
  EXPECT_NE(events[0].thread, std::this_thread::get_id());
  EXPECT_EQ(events[0].thread, events[2].thread);
}

TEST(SimLink, MessagesAreHandledInTheOrderSent) {
  Trv408 keyboard;
  Recorder recorder;
  SimLink link(keyboard, Timing{true, 0us});
  link.SetSink([&](const Bytes& m) { recorder.Received(m); });
  for (int p : {0x26, 0x23, 0x22}) link.Send(program::Read(0, 0, p, 32, 0), nullptr);
  ASSERT_TRUE(recorder.WaitFor(3));
  const auto events = recorder.Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].message[6], 0x26);
  EXPECT_EQ(events[1].message[6], 0x23);
  EXPECT_EQ(events[2].message[6], 0x22);
}

TEST(SimLink, CableTimingDelaysEachDirectionByItsWireTime) {
  Trv408 keyboard;
  const auto replyDelay = 3ms;
  Recorder recorder;
  SimLink link(keyboard, Timing{true, replyDelay});
  link.SetSink([&](const Bytes& m) { recorder.Received(m); });
  const Bytes request = program::Read(0, 0, 0x22, 32, 0);
  const auto start = Clock::now();
  link.Send(request, [&] { recorder.Sent(); });
  ASSERT_TRUE(recorder.WaitFor(2));
  const auto events = recorder.Events();
  ASSERT_EQ(events[0].what, "sent");
  ASSERT_EQ(events[1].what, "answer");
  // Lower bounds only: a busy machine may be later, never earlier.
  EXPECT_GE(events[0].at - start, SimLink::kByteTime * request.size());
  EXPECT_GE(events[1].at - start,
            SimLink::kByteTime * (request.size() + events[1].message.size()) + replyDelay);
}

TEST(SimLink, StalledOutputNeverCompletes) {
  Trv408 keyboard;
  keyboard.SetFault(Fault::StallOutput);
  Recorder recorder;
  SimLink link(keyboard, Timing{});
  link.SetSink([&](const Bytes& m) { recorder.Received(m); });
  link.Send(program::Read(0, 0, 0x22, 32, 0), [&] { recorder.Sent(); });
  EXPECT_EQ(keyboard.CurrentFault(), Fault::None);
  link.Send(program::Read(0, 0, 0x00, 14, 0), [&] { recorder.Sent(); });
  ASSERT_TRUE(recorder.WaitFor(2));
  const auto events = recorder.Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].message[6], 0x00);  // only the second message was heard
}

TEST(SimLink, ClearedSinkIsNotCalledAndDestructionDropsPendingMessages) {
  Trv408 keyboard;
  Recorder recorder;
  {
    SimLink link(keyboard, Timing{false, 0us});
    link.SetSink([&](const Bytes& m) { recorder.Received(m); });
    link.SetSink(nullptr);
    link.Send(program::Read(0, 0, 0x22, 32, 0), [&] { recorder.Sent(); });
    ASSERT_TRUE(recorder.WaitFor(1));
    link.SetTiming(Timing{true, 60s});
    link.SetSink([&](const Bytes& m) { recorder.Received(m); });
    link.Send(program::Read(0, 0, 0x22, 32, 0), [&] { recorder.Sent(); });
  }  // must not wait for the minute-long reply
  const auto events = recorder.Events();
  ASSERT_LE(events.size(), 2u);
  for (const auto& e : events) EXPECT_EQ(e.what, "sent");
}

TEST(SimLink, SinkMaySendFromTheLinkThread) {
  Trv408 keyboard;
  Recorder recorder;
  SimLink link(keyboard, Timing{});
  // A download driven from the sink, as a device driver's callback would.
  link.SetSink([&](const Bytes& m) {
    recorder.Received(m);
    if (program::HandshakeCode(m) == 0) {
      link.SetSink(nullptr);
      return;
    }
    link.Send(program::Handshake(10, 0, 1), nullptr);
  });
  link.Send(program::RequestData(10, 0), nullptr);
  const size_t blocks = (keyboard.Item({Trv408::Kind::Song, 0, 0}).size() / 2 + 63) / 64;
  ASSERT_TRUE(recorder.WaitFor(blocks + 1));
  const auto events = recorder.Events();
  EXPECT_EQ(program::HandshakeCode(events.back().message), 0);
}

}  // namespace
