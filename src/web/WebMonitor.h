#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "midi/MidiMessageObserver.h"
#include "protocol/MsgStr.h"
#include "protocol/SysExDecoder.h"

// The page's MIDI monitor: every message and failure of the keyboard's link
// as the window's monitor keeps it (time, direction, bytes and meaning from
// the engine's decoder, strays marked), at most `capacity` rows, the oldest
// dropped first. The page takes the rows added since it last looked, at its
// own pace, and saves all of them as a message log.
class WebMonitor : public MidiMessageObserver {
 public:
  WebMonitor(const MsgStr& messages, size_t capacity);

  void Sent(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) override;
  void Received(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) override;
  void Stray(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) override;
  void Failed(MidiClock::TimePoint at, int32_t code, uint32_t subCode) override;

  // The rows added since the last call that are still kept, and how many are
  // kept, as JSON: {"count", "rows": [{"time", "direction", "dir", "length",
  // "meaning", "bytes"}]}, "dir" being the log's mark (">", "<", "~", "!").
  std::string Take();
  void Clear();
  size_t Count() const { return rows_.size(); }
  // Every kept row in the message log's text format.
  std::string Log() const;

 private:
  struct Row {
    double seconds;
    char direction;
    std::vector<uint8_t> bytes;
    std::string meaning;
  };

  void Add(MidiClock::TimePoint at, char direction, const uint8_t* bytes, size_t size,
           std::string meaning);

  const MsgStr& messages_;
  const size_t capacity_;
  std::deque<Row> rows_;
  size_t untaken_ = 0;
  SysExDecoder decoder_;
  std::optional<MidiClock::TimePoint> first_;
};
