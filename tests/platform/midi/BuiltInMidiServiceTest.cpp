#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/midi/BuiltInMidiService.h"
#include "platform/midi/MidiSystem.h"
#include "sim/Fault.h"
#include "sim/Trv408.h"

namespace {

const std::vector<uint8_t> kReadType = {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10,
                                        0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7};

// Ports of a service of its own; what they report is kept here.
class BuiltInMidiServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(service.OpenIn(0, Receiver(), in), midi_result::kOk);
    ASSERT_EQ(service.OpenOut(0, out), midi_result::kOk);
  }

  MidiReceiver Receiver() {
    return [this](const uint8_t* message, size_t size, MidiArrival) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        received.emplace_back(message, message + size);
      }
      changed.notify_all();
    };
  }

  MidiResult Send(const std::vector<uint8_t>& message) {
    return out->Send(message.data(), message.size(), [this] {
      {
        std::lock_guard<std::mutex> lock(mutex);
        ++sent;
      }
      changed.notify_all();
    });
  }

  // Something the keyboard is sure to do; the bound only keeps a broken
  // port from hanging the test.
  template <class Ready>
  bool Wait(Ready ready) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), ready);
  }

  int Type() {
    size_t before = 0;
    {
      std::lock_guard<std::mutex> lock(mutex);
      before = received.size();
    }
    EXPECT_EQ(Send(kReadType), midi_result::kOk);
    if (!Wait([&] { return received.size() > before; })) return -1;
    std::lock_guard<std::mutex> lock(mutex);
    const std::vector<uint8_t>& answer = received.back();
    return answer.size() >= 13 ? answer[11] + (answer[12] << 7) : -1;
  }

  BuiltInMidiService service;
  std::unique_ptr<MidiInPort> in;
  std::unique_ptr<MidiOutPort> out;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::vector<uint8_t>> received;
  int sent = 0;
};

}  // namespace

TEST_F(BuiltInMidiServiceTest, OneInputAndOneOutputEachOpenOnce) {
  EXPECT_EQ(service.InputNames(), std::vector<std::string>{MidiSystem::kBuiltInName});
  EXPECT_EQ(service.OutputNames(), std::vector<std::string>{MidiSystem::kBuiltInName});
  std::unique_ptr<MidiInPort> secondIn;
  std::unique_ptr<MidiOutPort> secondOut;
  EXPECT_EQ(service.OpenIn(1, Receiver(), secondIn), midi_result::kBadDeviceId);
  EXPECT_EQ(service.OpenOut(1, secondOut), midi_result::kBadDeviceId);
  EXPECT_EQ(service.OpenIn(0, Receiver(), secondIn), midi_result::kAllocated);
  EXPECT_EQ(service.OpenOut(0, secondOut), midi_result::kAllocated);
  in.reset();
  out.reset();
  EXPECT_EQ(service.OpenIn(0, Receiver(), secondIn), midi_result::kOk);
  EXPECT_EQ(service.OpenOut(0, secondOut), midi_result::kOk);
}

TEST_F(BuiltInMidiServiceTest, OutputIsDoneOnceTheMessageHasGoneOut) {
  EXPECT_EQ(out->Send(nullptr, 0, nullptr), midi_result::kInvalidParam);
  EXPECT_EQ(Type(), 0);
  EXPECT_EQ(sent, 1);
  EXPECT_TRUE(service.OutputSettled());
}

// A stalled message never goes out and is never reported; the port still
// carries the next one.
TEST_F(BuiltInMidiServiceTest, StalledOutputIsNeverReportedAndTheNextMessageGoes) {
  service.Keyboard().SetFault(sim::Fault::StallOutput);
  ASSERT_EQ(Send(kReadType), midi_result::kOk);
  EXPECT_TRUE(service.OutputSettled());
  EXPECT_EQ(Type(), 0);
  EXPECT_EQ(sent, 1);
}

TEST_F(BuiltInMidiServiceTest, ResetGivesAFreshKeyboardBehindTheOpenPorts) {
  service.Keyboard().SetKeyboardType(9);
  EXPECT_EQ(Type(), 9);
  service.Keyboard().SetFault(sim::Fault::NoAnswer, 0);
  service.Reset();
  EXPECT_EQ(service.Keyboard().CurrentFault(), sim::Fault::None);
  EXPECT_EQ(Type(), 0);
}

TEST_F(BuiltInMidiServiceTest, PortsOutliveTheirService) {
  auto own = std::make_unique<BuiltInMidiService>();
  std::unique_ptr<MidiInPort> lateIn;
  std::unique_ptr<MidiOutPort> lateOut;
  ASSERT_EQ(own->OpenIn(0, Receiver(), lateIn), midi_result::kOk);
  ASSERT_EQ(own->OpenOut(0, lateOut), midi_result::kOk);
  own.reset();
  EXPECT_EQ(lateOut->Send(kReadType.data(), kReadType.size(), nullptr),
            midi_result::kInvalidHandle);
  lateIn.reset();
  lateOut.reset();
}
