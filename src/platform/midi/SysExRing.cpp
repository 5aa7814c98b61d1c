#include "platform/midi/SysExRing.h"

size_t SysExRing::Free() const {
  return kCapacity -
         (head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire));
}

void SysExRing::PutHeader(size_t at, size_t length, Time time) {
  Put(at, static_cast<uint8_t>(length >> 8));
  Put(at + 1, static_cast<uint8_t>(length));
  const auto ticks = static_cast<uint64_t>(time.time_since_epoch().count());
  for (size_t i = 0; i < kTimeBytes; ++i) {
    Put(at + kLengthBytes + i, static_cast<uint8_t>(ticks >> (8 * (kTimeBytes - 1 - i))));
  }
}

void SysExRing::Feed(const uint8_t* bytes, size_t size, Time at) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t byte = bytes[i];
    if (byte >= 0xF8) continue;
    if (byte == 0xF0) {
      open_ = true;
      overflow_ = Free() < kHeaderBytes + kMaxMessage;
      length_ = 0;
    } else if (!open_) {
      continue;
    } else if (byte & 0x80 && byte != 0xF7) {
      Abandon();
      continue;
    }
    // Room for the longest message was there when it started, so a message
    // that started without overflow always fits.
    if (!overflow_ && length_ < kMaxMessage) {
      Put(head_.load(std::memory_order_relaxed) + kHeaderBytes + length_, byte);
      ++length_;
    }
    if (byte != 0xF7) continue;
    Abandon();
    if (overflow_) continue;
    const size_t head = head_.load(std::memory_order_relaxed);
    PutHeader(head, length_, at);
    head_.store(head + kHeaderBytes + length_, std::memory_order_release);
  }
}

bool SysExRing::Push(const uint8_t* message, size_t size, Time at) {
  if (size == 0 || size > kMaxMessage || Free() < kHeaderBytes + size) return false;
  const size_t head = head_.load(std::memory_order_relaxed);
  PutHeader(head, size, at);
  for (size_t i = 0; i < size; ++i) Put(head + kHeaderBytes + i, message[i]);
  head_.store(head + kHeaderBytes + size, std::memory_order_release);
  return true;
}

size_t SysExRing::Pop(uint8_t* out, Time* at) {
  const size_t tail = tail_.load(std::memory_order_relaxed);
  if (head_.load(std::memory_order_acquire) == tail) return 0;
  const size_t size =
      static_cast<size_t>(bytes_[tail % kCapacity]) << 8 | bytes_[(tail + 1) % kCapacity];
  if (at != nullptr) {
    uint64_t ticks = 0;
    for (size_t i = 0; i < kTimeBytes; ++i) {
      ticks = ticks << 8 | bytes_[(tail + kLengthBytes + i) % kCapacity];
    }
    *at = Time(Time::duration(static_cast<Time::rep>(ticks)));
  }
  for (size_t i = 0; i < size; ++i) out[i] = bytes_[(tail + kHeaderBytes + i) % kCapacity];
  tail_.store(tail + kHeaderBytes + size, std::memory_order_release);
  return size;
}
