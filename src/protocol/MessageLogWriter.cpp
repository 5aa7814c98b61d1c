#include "protocol/MessageLogWriter.h"

#include <chrono>

MessageLogWriter::MessageLogWriter(std::FILE* file, const MsgStr& messages)
    : file_(file), messages_(messages) {}

void MessageLogWriter::Sent(Clock::TimePoint at, const uint8_t* bytes, size_t size) {
  std::lock_guard lock(mutex_);
  Write(at, '>', SysExDecoder::Hex(bytes, size),
        decoder_.Meaning(bytes, size, SysExDecoder::Direction::ToKeyboard));
}

void MessageLogWriter::Received(Clock::TimePoint at, const uint8_t* bytes, size_t size) {
  std::lock_guard lock(mutex_);
  Write(at, '<', SysExDecoder::Hex(bytes, size),
        decoder_.Meaning(bytes, size, SysExDecoder::Direction::FromKeyboard));
}

void MessageLogWriter::Stray(Clock::TimePoint at, const uint8_t* bytes, size_t size) {
  std::lock_guard lock(mutex_);
  Write(at, '~', SysExDecoder::Hex(bytes, size),
        messages_.WordText(MsgStr::kWordStray) + ": " +
            decoder_.Meaning(bytes, size, SysExDecoder::Direction::FromKeyboard));
}

void MessageLogWriter::Failed(Clock::TimePoint at, int32_t code, uint32_t subCode) {
  std::lock_guard lock(mutex_);
  Write(at, '!', std::string(), messages_.MidiDevText(code, subCode));
}

std::string MessageLogWriter::Line(double seconds, char direction, const std::string& hex,
                                   const std::string& meaning) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%.6f", seconds);
  return std::string(stamp) + '\t' + direction + '\t' + hex + '\t' + meaning + '\n';
}

void MessageLogWriter::Write(Clock::TimePoint at, char direction, const std::string& hex,
                             const std::string& meaning) {
  if (!first_) first_ = at;
  const double seconds = std::chrono::duration<double>(at - *first_).count();
  const std::string line = Line(seconds, direction, hex, meaning);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}
