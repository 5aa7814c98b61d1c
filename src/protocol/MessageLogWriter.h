#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "midi/MidiMessageObserver.h"
#include "protocol/MsgStr.h"
#include "protocol/SysExDecoder.h"

// A message log as text, one line a message:
//
//   T<TAB>DIR<TAB>HEX<TAB>MEANING
//
// T in seconds since the first line, six decimals; DIR ">" for a message to
// the keyboard, "<" for one from it, "!" for a failure (HEX empty, MEANING
// the catalog's text for it), "~" for a message from the keyboard's side
// that answered no request and was dropped; HEX the whole message, uppercase two-digit
// bytes separated by single blanks. Both the program and the simulator write
// it, so the two logs of one run can be laid side by side.
class MessageLogWriter : public MidiMessageObserver {
 public:
  using Clock = MidiClock;

  // Writes to `file` (not closed here), flushing every line so that a log is
  // complete up to the moment a process ends.
  MessageLogWriter(std::FILE* file, const MsgStr& messages);

  void Sent(Clock::TimePoint at, const uint8_t* bytes, size_t size) override;
  void Received(Clock::TimePoint at, const uint8_t* bytes, size_t size) override;
  void Stray(Clock::TimePoint at, const uint8_t* bytes, size_t size) override;
  void Failed(Clock::TimePoint at, int32_t code, uint32_t subCode) override;

  static std::string Line(double seconds, char direction, const std::string& hex,
                          const std::string& meaning);

 private:
  void Write(Clock::TimePoint at, char direction, const std::string& hex,
             const std::string& meaning);

  std::FILE* file_;
  const MsgStr& messages_;
  std::mutex mutex_;
  SysExDecoder decoder_;
  std::optional<Clock::TimePoint> first_;
};
