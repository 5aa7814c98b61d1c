#include "platform/midi/SysExRing.h"

size_t SysExRing::Free() const {
  return kCapacity -
         (head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire));
}

void SysExRing::Feed(const uint8_t* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t byte = bytes[i];
    if (byte >= 0xF8) continue;
    if (byte == 0xF0) {
      open_ = true;
      overflow_ = Free() < kLengthBytes + kMaxMessage;
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
      Put(head_.load(std::memory_order_relaxed) + kLengthBytes + length_, byte);
      ++length_;
    }
    if (byte != 0xF7) continue;
    Abandon();
    if (overflow_) continue;
    const size_t head = head_.load(std::memory_order_relaxed);
    Put(head, static_cast<uint8_t>(length_ >> 8));
    Put(head + 1, static_cast<uint8_t>(length_));
    head_.store(head + kLengthBytes + length_, std::memory_order_release);
  }
}

bool SysExRing::Push(const uint8_t* message, size_t size) {
  if (size == 0 || size > kMaxMessage || Free() < kLengthBytes + size) return false;
  const size_t head = head_.load(std::memory_order_relaxed);
  Put(head, static_cast<uint8_t>(size >> 8));
  Put(head + 1, static_cast<uint8_t>(size));
  for (size_t i = 0; i < size; ++i) Put(head + kLengthBytes + i, message[i]);
  head_.store(head + kLengthBytes + size, std::memory_order_release);
  return true;
}

size_t SysExRing::Pop(uint8_t* out) {
  const size_t tail = tail_.load(std::memory_order_relaxed);
  if (head_.load(std::memory_order_acquire) == tail) return 0;
  const size_t size =
      static_cast<size_t>(bytes_[tail % kCapacity]) << 8 | bytes_[(tail + 1) % kCapacity];
  for (size_t i = 0; i < size; ++i) out[i] = bytes_[(tail + kLengthBytes + i) % kCapacity];
  tail_.store(tail + kLengthBytes + size, std::memory_order_release);
  return size;
}
