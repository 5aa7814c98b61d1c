#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "midi/MidiMessageObserver.h"

// Keeps what MidiDev shows it, for a reader on another thread (the MIDI
// monitor window) to take at its own pace. Recording is a copy under a lock
// and nothing more, so that a transfer does not wait for a display; at most
// `capacity` records are kept, the oldest dropped first.
class MessageRecorder : public MidiMessageObserver {
 public:
  enum class Kind : uint8_t { Sent, Received, Failed, Stray };
  struct Record {
    MidiClock::TimePoint at;
    Kind kind;
    std::vector<uint8_t> bytes;  // empty for a failure
    int32_t code = 0;            // a failure's MidiDevException code and sub-code
    uint32_t subCode = 0;
  };

  explicit MessageRecorder(size_t capacity) : capacity_(capacity) {}

  void Sent(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) override;
  void Received(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) override;
  void Stray(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) override;
  void Failed(MidiClock::TimePoint at, int32_t code, uint32_t subCode) override;

  // Everything recorded since the last call, oldest first.
  std::vector<Record> Take();
  // How many records were dropped so far because nobody took them in time.
  uint64_t Dropped() const;

 private:
  void Add(Record record);

  const size_t capacity_;
  mutable std::mutex mutex_;
  std::deque<Record> records_;
  uint64_t dropped_ = 0;
};
