#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/midi/SysExRing.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::nanoseconds;

// A SysEx message of `size` bytes whose data bytes tell it apart.
Bytes Message(size_t size, uint8_t seed) {
  Bytes message(size, 0);
  message.front() = 0xF0;
  for (size_t i = 1; i + 1 < size; ++i) message[i] = static_cast<uint8_t>((seed + i * 7) & 0x7F);
  message.back() = 0xF7;
  return message;
}

Bytes Pop(SysExRing& ring) {
  Bytes out(SysExRing::kMaxMessage);
  out.resize(ring.Pop(out.data()));
  return out;
}

// The process callback's view of a cable: on a simulated clock, each period
// of `frames` at 48 kHz gets the bytes that came in at 31250 baud (320 us a
// byte) since the last one, as one event stamped with the period's time; the
// reader, held back, looks only once all have come. Returns the messages
// read, each with the period its stamp names.
std::vector<std::pair<Bytes, size_t>> OverCable(const Bytes& wire, unsigned frames) {
  const Clock period = Clock(1'000'000'000LL * frames / 48000);
  const Clock perByte = std::chrono::microseconds(320);
  SysExRing ring;
  std::vector<std::pair<Bytes, size_t>> read;
  size_t sent = 0;
  for (size_t n = 1; sent < wire.size(); ++n) {
    const Clock now = period * n;
    size_t arrived = sent;
    while (arrived < wire.size() && perByte * static_cast<long>(arrived + 1) <= now) ++arrived;
    ring.Feed(wire.data() + sent, arrived - sent, SysExRing::Time(now));
    sent = arrived;
  }
  Bytes message(SysExRing::kMaxMessage);
  SysExRing::Time at;
  for (size_t size; (size = ring.Pop(message.data(), &at)) != 0;)
    read.emplace_back(Bytes(message.begin(), message.begin() + static_cast<long>(size)),
                      static_cast<size_t>(at.time_since_epoch() / period));
  return read;
}

TEST(SysExRingTest, EmptyFullAndInOrderAcrossTheWrap) {
  SysExRing ring;
  EXPECT_TRUE(Pop(ring).empty());
  // Rounds of filling to the brim and emptying take the positions around the
  // end of the storage many times, at a different place each round. Records
  // of 239 and 480 bytes (with their lengths) leave all but 2 bytes of room
  // for one more, which must not be taken.
  uint8_t seed = 0;
  for (size_t size : {2u, 5u, 100u, 239u, 256u, 480u, 1000u, 1024u}) {
    SCOPED_TRACE(size);
    std::vector<Bytes> pushed;
    while (ring.Push(Message(size, seed).data(), size)) pushed.push_back(Message(size, seed++));
    ASSERT_EQ(pushed.size(), SysExRing::kCapacity / (size + SysExRing::kHeaderBytes));
    // Room for one more once one is read.
    ASSERT_EQ(Pop(ring), pushed.front());
    ASSERT_TRUE(ring.Push(Message(size, seed).data(), size));
    pushed.push_back(Message(size, seed++));
    for (size_t i = 1; i < pushed.size(); ++i) ASSERT_EQ(Pop(ring), pushed[i]) << i;
    EXPECT_TRUE(Pop(ring).empty());
  }
  EXPECT_FALSE(ring.Push(nullptr, 0));
  EXPECT_FALSE(ring.Push(Message(1025, 0).data(), 1025));
}

TEST(SysExRingTest, MessageSplitOverPeriodsIsReadWholeOnceItEnds) {
  for (unsigned frames : {32u, 64u, 256u, 512u}) {
    for (size_t size : {2u, 3u, 11u, 207u, 256u, 300u}) {
      SCOPED_TRACE(testing::Message() << frames << " frames, " << size << " bytes");
      // Two messages back to back, with a clock byte inside the first.
      Bytes first = Message(size, 1);
      first.insert(first.begin() + static_cast<long>(size / 2), 0xF8);
      const Bytes second = Message(size, 2);
      Bytes wire = first;
      wire.insert(wire.end(), second.begin(), second.end());
      const auto read = OverCable(wire, frames);
      ASSERT_EQ(read.size(), 2u);
      EXPECT_EQ(read[0].first, Message(size, 1));
      EXPECT_EQ(read[1].first, second);
      // Each is stamped with the period its last byte came in.
      const Clock period = Clock(1'000'000'000LL * frames / 48000);
      const auto endPeriod = [&](size_t bytes) {
        const Clock at = std::chrono::microseconds(320) * static_cast<long>(bytes);
        return static_cast<size_t>((at + period - Clock(1)) / period);
      };
      EXPECT_EQ(read[0].second, endPeriod(first.size()));
      EXPECT_EQ(read[1].second, endPeriod(wire.size()));
    }
  }
}

TEST(SysExRingTest, WhatIsNotAWholeSysExMessageIsNotRead) {
  SysExRing ring;
  const Bytes good = Message(20, 3);
  const auto feed = [&ring](const Bytes& bytes) { ring.Feed(bytes.data(), bytes.size()); };
  // Note-on before, data bytes outside a message, a message cut by a status
  // byte, one cut by a new 0xF0 (which starts the good one).
  feed({0x90, 0x40, 0x7F, 0x01, 0x02, 0xF7});
  feed({0xF0, 0x41, 0x10, 0x80, 0x40, 0xF7});
  feed({0xF0, 0x41, 0x10});
  feed(good);
  EXPECT_EQ(Pop(ring), good);
  EXPECT_TRUE(Pop(ring).empty());
  // Longer than kMaxMessage: its first kMaxMessage bytes.
  const Bytes longer = Message(SysExRing::kMaxMessage + 50, 4);
  feed(longer);
  EXPECT_EQ(Pop(ring), Bytes(longer.begin(), longer.begin() + SysExRing::kMaxMessage));
  // A message that starts without room for the longest is dropped whole,
  // even if it would have fitted; the next one, with room again, is read.
  while (ring.Push(good.data(), good.size())) {
  }
  feed(good);
  size_t count = 0;
  while (!Pop(ring).empty()) ++count;
  EXPECT_EQ(count, SysExRing::kCapacity / (good.size() + SysExRing::kHeaderBytes));
  feed(good);
  EXPECT_EQ(Pop(ring), good);
}

// The writer and the reader on two threads, as the process callback and the
// client's thread are: every message comes through whole and in order.
TEST(SysExRingTest, OneWriterOneReaderOnTwoThreads) {
  constexpr size_t kCount = 20000;
  SysExRing ring;
  std::atomic<bool> done{false};
  std::thread writer([&ring, &done] {
    for (size_t i = 0; i < kCount;) {
      const Bytes message = Message(2 + i % 300, static_cast<uint8_t>(i));
      if (i % 2 == 0 ? ring.Push(message.data(), message.size())
                     : (ring.Feed(message.data(), message.size()), true)) {
        ++i;
      } else {
        std::this_thread::yield();
      }
    }
    done.store(true);
  });
  size_t received = 0;
  size_t lost = 0;
  while (received + lost < kCount) {
    const bool written = done.load();
    const Bytes message = Pop(ring);
    if (message.empty()) {
      // The last messages may be fed ones that found the ring full.
      if (written) break;
      std::this_thread::yield();
      continue;
    }
    // Fed messages may be dropped when the ring is full; pushed ones never.
    while (message.size() != 2 + (received + lost) % 300) {
      ASSERT_EQ((received + lost) % 2, 1u) << "a pushed message is missing";
      ++lost;
    }
    ASSERT_EQ(message, Message(message.size(), static_cast<uint8_t>(received + lost)));
    ++received;
  }
  writer.join();
  // Only the very last message is fed, so at most it may be missing.
  EXPECT_LE(kCount - (received + lost), 1u) << "a pushed message is missing";
}

}  // namespace
