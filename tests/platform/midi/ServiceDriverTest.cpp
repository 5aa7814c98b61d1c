#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/MidiDev.h"
#include "midi/MidiMessageObserver.h"
#include "platform/midi/BuiltInMidiService.h"
#include "platform/midi/ServiceDriver.h"
#include "sim/Fault.h"
#include "sim/Trv408.h"
#ifdef RAVLIN_HAVE_JACK
#include "platform/midi/JackMidiService.h"
#include "platform/midi/JackSysExClient.h"
#endif

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kReadType = {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7};
const Bytes kReadFree = {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x22, 0x1F, 0x00, 0x00, 0x00, 0xF7};

// The service's reader thread held back as a busy machine holds it: after
// handing on the first message it waits until the program has sent its next
// request, and only then hands on what came with the first. (The built-in
// keyboard runs on that thread too: it takes the request once let go.)
class HeldBackService : public MidiService {
 public:
  explicit HeldBackService(MidiService& inner) : inner_(inner) {}

  std::vector<std::string> InputNames() override { return inner_.InputNames(); }
  std::vector<std::string> OutputNames() override { return inner_.OutputNames(); }

  MidiResult OpenIn(unsigned device, MidiReceiver receiver,
                    std::unique_ptr<MidiInPort>& port) override {
    return inner_.OpenIn(
        device,
        [this, receiver](const uint8_t* message, size_t size, MidiArrival arrived) {
          receiver(message, size, arrived);
          std::unique_lock<std::mutex> lock(mutex_);
          if (handed_++ == 0)
            changed_.wait_for(lock, std::chrono::seconds(5), [this] { return sent_ >= 2; });
        },
        port);
  }

  MidiResult OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) override {
    std::unique_ptr<MidiOutPort> inner;
    const MidiResult result = inner_.OpenOut(device, inner);
    if (inner) port = std::make_unique<CountingOut>(*this, std::move(inner));
    return result;
  }

 private:
  class CountingOut : public MidiOutPort {
   public:
    CountingOut(HeldBackService& service, std::unique_ptr<MidiOutPort> inner)
        : service_(service), inner_(std::move(inner)) {}
    MidiResult Send(const uint8_t* data, size_t size, std::function<void()> sent) override {
      {
        std::lock_guard<std::mutex> lock(service_.mutex_);
        ++service_.sent_;
      }
      service_.changed_.notify_all();
      return inner_->Send(data, size, std::move(sent));
    }

   private:
    HeldBackService& service_;
    std::unique_ptr<MidiOutPort> inner_;
  };

  MidiService& inner_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int handed_ = 0;
  int sent_ = 0;
};

class Strays : public MidiMessageObserver {
 public:
  void Sent(MidiClock::TimePoint, const uint8_t*, size_t) override {}
  void Received(MidiClock::TimePoint, const uint8_t*, size_t) override {}
  void Stray(MidiClock::TimePoint, const uint8_t* bytes, size_t size) override {
    strays.emplace_back(bytes, bytes + size);
  }
  void Failed(MidiClock::TimePoint, int32_t, uint32_t) override {}
  std::vector<Bytes> strays;
};

// A keyboard on a MIDI service, and the numbers of the ports that reach it.
struct Keyboard {
  virtual ~Keyboard() = default;
  virtual MidiService& Service() = 0;
  virtual sim::Trv408& Memory() = 0;
  unsigned in = 0;
  unsigned out = 0;
};

struct BuiltInKeyboard : Keyboard {
  MidiService& Service() override { return service; }
  sim::Trv408& Memory() override { return service.Keyboard(); }
  BuiltInMidiService service;
};

#ifdef RAVLIN_HAVE_JACK
// The simulated keyboard as a client of the JACK server beside the program's.
struct JackKeyboard : Keyboard {
  JackKeyboard() {
    peer = JackSysExClient::Open("ServiceDriverTest keyboard");
    if (!peer) return;
    service = std::make_unique<JackMidiService>("ServiceDriverTest");
    peerOut = peer->OpenOutput({});
    peer->OpenInput({}, [this](const uint8_t* message, size_t size, MidiArrival) {
      for (const sim::Message& answer : memory.Receive(Bytes(message, message + size)))
        peer->Send(peerOut, answer.data(), answer.size());
    });
    const auto find = [](const std::vector<std::string>& names, const std::string& name) {
      for (unsigned i = 0; i < names.size(); ++i)
        if (names[i] == name) return i;
      return static_cast<unsigned>(names.size());
    };
    in = find(service->InputNames(), peer->OutputName(peerOut));
    out = find(service->OutputNames(), peer->InputName(0));
  }
  ~JackKeyboard() override {
    service.reset();
    peer.reset();
  }
  MidiService& Service() override { return *service; }
  sim::Trv408& Memory() override { return memory; }
  sim::Trv408 memory;
  std::unique_ptr<JackSysExClient> peer;
  std::unique_ptr<JackMidiService> service;
  int peerOut = -1;
};
#endif

Task<void> TwoReads(MidiDev& device, Bytes& first, Bytes& second) {
  device.SetWaitReply(1);
  device.Request() = kReadType;
  co_await device.Exchange();
  first = device.Reply();
  device.Request() = kReadFree;
  co_await device.Exchange();
  second = device.Reply();
}

// What the scheduler gives the calling thread: its slice and its niceness.
struct Slice {
  uint64_t ns = 0;
  int nice = 0;
};

Slice ThisThreadsSlice() {
  struct {
    uint32_t size, policy;
    uint64_t flags;
    int32_t nice;
    uint32_t priority;
    uint64_t runtime, deadline, period;
    uint32_t utilMin, utilMax;
  } attr{};
  attr.size = sizeof attr;
  syscall(SYS_sched_getattr, 0, &attr, sizeof attr, 0);
  return {attr.runtime, attr.nice};
}

Task<void> ReadTypeNoting(MidiDev& device, Slice& woken) {
  device.SetWaitReply(1);
  device.Request() = kReadType;
  co_await device.Exchange();
  woken = ThisThreadsSlice();
}

class ServiceDriverTest : public ::testing::TestWithParam<std::string> {
 protected:
  std::unique_ptr<Keyboard> MakeKeyboard() {
#ifdef RAVLIN_HAVE_JACK
    if (GetParam() == "jack") {
      auto keyboard = std::make_unique<JackKeyboard>();
      if (!keyboard->peer) return nullptr;
      return keyboard;
    }
#endif
    if (GetParam() == "built-in") return std::make_unique<BuiltInKeyboard>();
    return nullptr;
  }
};

// The keyboard answers the type read twice in one breath. The copy reaches
// the program before its next request goes out, but its reader hands it on
// only after: it is a stray, and the next request gets its own answer.
TEST_P(ServiceDriverTest, MessageThatArrivedBeforeARequestIsNeverItsAnswer) {
  const std::unique_ptr<Keyboard> keyboard = MakeKeyboard();
  if (!keyboard) GTEST_SKIP() << "no " << GetParam() << " service here";
  keyboard->Memory().SetFault(sim::Fault::DuplicateAnswer, 1);
  HeldBackService service(keyboard->Service());
  ServiceDriver driver(service);
  MidiDev device(driver, MidiClock::Steady());
  Strays observer;
  device.SetObserver(&observer);
  device.OpenIn(static_cast<int>(keyboard->in));
  device.OpenOut(static_cast<int>(keyboard->out));

  Bytes first;
  Bytes second;
  Task<void> task = TwoReads(device, first, second);
  driver.Start(device, task, nullptr);
  task.Result();

  ASSERT_EQ(first.size(), 14u);
  EXPECT_EQ(first[6], 0x00) << "the type read's answer";
  ASSERT_GE(second.size(), 11u);
  EXPECT_EQ(second[6], 0x22) << "the free-space read's answer, not the copy of the type's";
  ASSERT_EQ(observer.strays.size(), 1u);
  EXPECT_EQ(observer.strays[0], first);
  device.Close();
}

// Woken by the answer, the job's thread takes a core from other work at once
// only on the shortest slice; the caller's own slice and niceness come back.
TEST_P(ServiceDriverTest, JobRunsOnTheShortestSliceAndGivesTheCallersBack) {
  const std::unique_ptr<Keyboard> keyboard = MakeKeyboard();
  if (!keyboard) GTEST_SKIP() << "no " << GetParam() << " service here";
  ServiceDriver driver(keyboard->Service());
  Slice before;
  Slice woken;
  Slice after;
  std::thread caller([&] {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 3);
    before = ThisThreadsSlice();
    MidiDev device(driver, MidiClock::Steady());
    device.OpenIn(static_cast<int>(keyboard->in));
    device.OpenOut(static_cast<int>(keyboard->out));
    Task<void> task = ReadTypeNoting(device, woken);
    driver.Start(device, task, nullptr);
    after = ThisThreadsSlice();
    device.Close();
  });
  caller.join();
  if (before.ns == 0) GTEST_SKIP() << "this system gives no thread a slice of its own";
  EXPECT_EQ(woken.ns, 100'000u);
  EXPECT_EQ(woken.nice, 3);
  EXPECT_EQ(after.ns, before.ns);
  EXPECT_EQ(after.nice, 3);
}

INSTANTIATE_TEST_SUITE_P(Services, ServiceDriverTest, ::testing::Values("built-in", "jack"),
                         [](const auto& info) {
                           return info.param == "jack" ? "Jack" : "BuiltIn";
                         });

}  // namespace
