#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <vector>

#include "platform/midi/BuiltInMidiService.h"
#include "platform/midi/MidiSystem.h"
#include "sim/Fault.h"
#include "sim/Trv408.h"

namespace {

const std::vector<uint8_t> kReadType = {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10,
                                        0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7};

struct Buffer {
  Buffer() : header{data.data(), static_cast<uint32_t>(data.size()), 0, 0, {}} {}
  std::array<uint8_t, 256> data{};
  MidiHeader header;
};

// Ports of a service of its own, with the buffers and the event MidiDev
// would give them.
class BuiltInMidiServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(service.OpenIn(0, event, in), midi_result::kOk);
    ASSERT_EQ(service.OpenOut(0, event, out), midi_result::kOk);
  }

  void Arm() {
    in->Reset();
    in->Prepare(input.header);
    in->AddBuffer(input.header);
    in->Start();
  }

  MidiResult Send(const std::vector<uint8_t>& message) {
    std::copy(message.begin(), message.end(), output.data.begin());
    output.header.bufferLength = static_cast<uint32_t>(message.size());
    out->Prepare(output.header);
    return out->LongMsg(output.header);
  }

  // Something the keyboard is sure to do; the bound only keeps a broken
  // port from hanging the test.
  bool Wait(const MidiHeader& header) {
    std::unique_lock<std::mutex> lock(event.Mutex());
    return event.Condition().wait_for(lock, std::chrono::seconds(10),
                                      [&] { return (header.flags & MidiHeader::kDone) != 0; });
  }

  int Type() {
    Arm();
    EXPECT_EQ(Send(kReadType), midi_result::kOk);
    if (!Wait(input.header) || input.header.bytesRecorded < 13) return -1;
    return input.data[11] + (input.data[12] << 7);
  }

  BuiltInMidiService service;
  MidiEvent event;
  std::unique_ptr<MidiInPort> in;
  std::unique_ptr<MidiOutPort> out;
  Buffer input;
  Buffer output;
};

}  // namespace

TEST_F(BuiltInMidiServiceTest, OneInputAndOneOutputEachOpenOnce) {
  EXPECT_EQ(service.InputNames(), std::vector<std::string>{MidiSystem::kBuiltInName});
  EXPECT_EQ(service.OutputNames(), std::vector<std::string>{MidiSystem::kBuiltInName});
  MidiEvent other;
  std::unique_ptr<MidiInPort> secondIn;
  std::unique_ptr<MidiOutPort> secondOut;
  EXPECT_EQ(service.OpenIn(1, other, secondIn), midi_result::kBadDeviceId);
  EXPECT_EQ(service.OpenOut(1, other, secondOut), midi_result::kBadDeviceId);
  EXPECT_EQ(service.OpenIn(0, other, secondIn), midi_result::kAllocated);
  EXPECT_EQ(service.OpenOut(0, other, secondOut), midi_result::kAllocated);
  in.reset();
  out.reset();
  EXPECT_EQ(service.OpenIn(0, other, secondIn), midi_result::kOk);
  EXPECT_EQ(service.OpenOut(0, other, secondOut), midi_result::kOk);
}

TEST_F(BuiltInMidiServiceTest, OutputIsDoneOnceTheMessageHasGoneOut) {
  EXPECT_EQ(out->LongMsg(output.header), midi_result::kUnprepared);
  EXPECT_EQ(Type(), 0);
  EXPECT_TRUE(output.header.flags & MidiHeader::kDone);
  EXPECT_TRUE(service.OutputSettled());
  EXPECT_EQ(out->Unprepare(output.header), midi_result::kOk);
}

TEST_F(BuiltInMidiServiceTest, StalledOutputStaysUntilTheBufferIsTakenBack) {
  service.Keyboard().SetFault(sim::Fault::StallOutput);
  ASSERT_EQ(Send(kReadType), midi_result::kOk);
  EXPECT_TRUE(service.OutputSettled());
  EXPECT_FALSE(output.header.flags & MidiHeader::kDone);
  EXPECT_EQ(out->Unprepare(output.header), midi_result::kStillPlaying);
  EXPECT_EQ(Send(kReadType), midi_result::kStillPlaying);

  out->Reset();
  EXPECT_TRUE(output.header.flags & MidiHeader::kDone);
  EXPECT_EQ(out->Unprepare(output.header), midi_result::kOk);
  EXPECT_EQ(Type(), 0);
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
  MidiEvent other;
  std::unique_ptr<MidiInPort> lateIn;
  std::unique_ptr<MidiOutPort> lateOut;
  ASSERT_EQ(own->OpenIn(0, other, lateIn), midi_result::kOk);
  ASSERT_EQ(own->OpenOut(0, other, lateOut), midi_result::kOk);
  own.reset();
  EXPECT_EQ(lateIn->Reset(), midi_result::kOk);
  lateIn.reset();
  lateOut.reset();
}
