#include "WebMonitor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "WebText.h"
#include "protocol/MessageLogWriter.h"

using web_text::Quoted;

WebMonitor::WebMonitor(const MsgStr& messages, size_t capacity)
    : messages_(messages), capacity_(capacity) {}

void WebMonitor::Sent(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) {
  Add(at, '>', bytes, size, decoder_.Meaning(bytes, size, SysExDecoder::Direction::ToKeyboard));
}

void WebMonitor::Received(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) {
  Add(at, '<', bytes, size, decoder_.Meaning(bytes, size, SysExDecoder::Direction::FromKeyboard));
}

void WebMonitor::Stray(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) {
  Add(at, '~', bytes, size,
      messages_.WordText(MsgStr::kWordStray) + ": " +
          decoder_.Meaning(bytes, size, SysExDecoder::Direction::FromKeyboard));
}

void WebMonitor::Failed(MidiClock::TimePoint at, int32_t code, uint32_t subCode) {
  Add(at, '!', nullptr, 0, messages_.MidiDevText(code, subCode));
}

void WebMonitor::Add(MidiClock::TimePoint at, char direction, const uint8_t* bytes, size_t size,
                     std::string meaning) {
  if (!first_) first_ = at;
  rows_.push_back({std::chrono::duration<double>(at - *first_).count(), direction,
                   std::vector<uint8_t>(bytes, bytes + size), std::move(meaning)});
  if (rows_.size() > capacity_) rows_.pop_front();
  untaken_ = std::min(untaken_ + 1, rows_.size());
}

std::string WebMonitor::Take() {
  std::string json = "{\"count\":" + std::to_string(rows_.size()) + ",\"rows\":[";
  for (size_t i = rows_.size() - untaken_; i < rows_.size(); ++i) {
    const Row& row = rows_[i];
    const bool failure = row.direction == '!';
    char time[32];
    std::snprintf(time, sizeof time, "%.6f", row.seconds);
    const MsgStr::Word word = failure                ? MsgStr::kWordFailure
                              : row.direction == '>' ? MsgStr::kWordToKeyboard
                                                     : MsgStr::kWordFromKeyboard;
    if (json.back() != '[') json += ",";
    json += "{\"time\":" + Quoted(time) + ",\"direction\":" + Quoted(messages_.WordText(word)) +
            ",\"dir\":" + Quoted(std::string(1, row.direction)) +
            ",\"length\":" + Quoted(failure ? std::string() : std::to_string(row.bytes.size())) +
            ",\"meaning\":" + Quoted(row.meaning) +
            ",\"bytes\":" + Quoted(SysExDecoder::Hex(row.bytes.data(), row.bytes.size())) + "}";
  }
  untaken_ = 0;
  return json + "]}";
}

void WebMonitor::Clear() {
  rows_.clear();
  untaken_ = 0;
  first_.reset();
}

std::string WebMonitor::Log() const {
  std::string text;
  for (const Row& row : rows_)
    text +=
        MessageLogWriter::Line(row.seconds, row.direction,
                               SysExDecoder::Hex(row.bytes.data(), row.bytes.size()), row.meaning);
  return text;
}
