#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/midi/MidiInQueue.h"

namespace {

class Queue : public MidiInQueue {
 public:
  using MidiInQueue::Deliver;
  using MidiInQueue::MidiInQueue;
};

struct Buffer {
  Buffer() : header{data.data(), static_cast<uint32_t>(data.size()), 0, 0, {}} {}
  bool Done() const { return (header.flags & MidiHeader::kDone) != 0; }
  std::vector<uint8_t> Recorded() const {
    return {data.begin(), data.begin() + header.bytesRecorded};
  }
  std::array<uint8_t, 256> data{};
  MidiHeader header;
};

std::vector<uint8_t> SysEx(size_t size, uint8_t fill) {
  std::vector<uint8_t> message(size, fill);
  message.front() = 0xF0;
  message.back() = 0xF7;
  return message;
}

class MidiInQueueTest : public ::testing::Test {
 protected:
  void Queued(Buffer& buffer) {
    ASSERT_EQ(queue.Prepare(buffer.header), midi_result::kOk);
    ASSERT_EQ(queue.AddBuffer(buffer.header), midi_result::kOk);
  }
  void Deliver(const std::vector<uint8_t>& message) {
    queue.Deliver(message.data(), message.size());
  }

  MidiEvent event;
  Queue queue{event};
  Buffer a;
  Buffer b;
};

}  // namespace

TEST_F(MidiInQueueTest, EachMessageFillsTheNextQueuedBuffer) {
  Queued(a);
  Queued(b);
  queue.Start();
  const auto first = SysEx(14, 0x01);
  const auto second = SysEx(17, 0x02);
  Deliver(first);
  EXPECT_TRUE(a.Done());
  EXPECT_FALSE(b.Done());
  Deliver(second);
  EXPECT_EQ(a.Recorded(), first);
  EXPECT_EQ(b.Recorded(), second);
  EXPECT_FALSE(a.header.flags & MidiHeader::kInQueue);
}

TEST_F(MidiInQueueTest, LongMessageIsCutAtTheBufferAndItsRestDropped) {
  Queued(a);
  Queued(b);
  queue.Start();
  const auto longOne = SysEx(300, 0x05);
  Deliver(longOne);
  ASSERT_TRUE(a.Done());
  EXPECT_EQ(a.Recorded(), std::vector<uint8_t>(longOne.begin(), longOne.begin() + 256));
  EXPECT_FALSE(b.Done());
}

TEST_F(MidiInQueueTest, MessagesWithNowhereToGoAreDropped) {
  const auto message = SysEx(14, 0x01);
  queue.Start();
  Deliver(message);  // no buffer queued
  Queued(a);
  queue.Stop();
  Deliver(message);  // stopped
  EXPECT_FALSE(a.Done());
  queue.Start();
  Deliver({0x90, 0x3C, 0x40});  // not SysEx
  EXPECT_FALSE(a.Done());
  Deliver(message);
  EXPECT_TRUE(a.Done());
  EXPECT_EQ(a.Recorded(), message);
}

TEST_F(MidiInQueueTest, ResetHandsQueuedBuffersBackAndStops) {
  Queued(a);
  queue.Start();
  EXPECT_EQ(queue.Reset(), midi_result::kOk);
  EXPECT_TRUE(a.Done());
  EXPECT_EQ(a.header.bytesRecorded, 0u);
  Queued(a);
  Deliver(SysEx(14, 0x01));
  EXPECT_FALSE(a.Done());
}

TEST_F(MidiInQueueTest, BufferRulesOfTheSystemService) {
  EXPECT_EQ(queue.AddBuffer(a.header), midi_result::kUnprepared);
  Queued(a);
  EXPECT_EQ(queue.AddBuffer(a.header), midi_result::kStillPlaying);
  EXPECT_EQ(queue.Unprepare(a.header), midi_result::kStillPlaying);
  queue.Reset();
  EXPECT_EQ(queue.Unprepare(a.header), midi_result::kOk);
  MidiHeader empty{};
  EXPECT_EQ(queue.Prepare(empty), midi_result::kInvalidParam);
}
