#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

// SysEx messages between the JACK process callback and the program's own
// threads: one thread writes, one reads, neither locks nor allocates. The
// writer may hand a message over in pieces (as MIDI events arrive, period by
// period); the reader sees it only once its closing 0xF7 has come, whole.
// Bytes past kMaxMessage are dropped. A message that does not fit in the
// free space is dropped. Each message carries the moment it came whole, so
// that a reader held back by a busy machine still knows when it came.
class SysExRing {
 public:
  using Time = std::chrono::steady_clock::time_point;

  // Past the link's 256-byte buffers, so that an overlong message reaches the
  // port whole and is cut there as on every other service.
  static constexpr size_t kMaxMessage = 1024;
  static constexpr size_t kCapacity = 8192;  // bytes, headers included
  static constexpr size_t kHeaderBytes = 10;  // a message's length and time

  // Writer: the bytes of one MIDI event. 0xF0 starts a message (abandoning
  // an unfinished one), 0xF7 ends it, real-time bytes are skipped and any
  // other status byte abandons the message. `at`: when these bytes came.
  void Feed(const uint8_t* bytes, size_t size, Time at = {});
  // Writer: one whole message; false when it is too long or does not fit.
  bool Push(const uint8_t* message, size_t size, Time at = {});

  // Reader: copies the oldest whole message to `out` (kMaxMessage bytes of
  // room) and returns its length; 0 when there is none. `at`, unless null,
  // gets the time the message came whole.
  size_t Pop(uint8_t* out, Time* at = nullptr);

 private:
  static constexpr size_t kLengthBytes = 2;
  static constexpr size_t kTimeBytes = kHeaderBytes - kLengthBytes;
  void PutHeader(size_t at, size_t length, Time time);
  void Put(size_t at, uint8_t byte) { bytes_[at % kCapacity] = byte; }
  size_t Free() const;
  void Abandon() { open_ = false; }

  std::array<uint8_t, kCapacity> bytes_{};
  std::atomic<size_t> head_{0};  // end of the last whole message, written by the writer
  std::atomic<size_t> tail_{0};  // start of the oldest unread message, written by the reader
  // The writer's unfinished message.
  bool open_ = false;
  bool overflow_ = false;  // it no longer fits: dropped when it ends
  size_t length_ = 0;
};
