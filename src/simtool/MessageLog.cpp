#include "MessageLog.h"

#include "protocol/MessageLogWriter.h"

MessageLog::~MessageLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool MessageLog::Open(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "a");
  return file_ != nullptr;
}

void MessageLog::Write(Time at, SysExDecoder::Direction direction,
                       const std::vector<uint8_t>& message) {
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  if (!first_) first_ = at;
  const std::string line = MessageLogWriter::Line(
      std::chrono::duration<double>(at - *first_).count(),
      direction == SysExDecoder::Direction::ToKeyboard ? '>' : '<',
      SysExDecoder::Hex(message.data(), message.size()), decoder_.Meaning(message, direction));
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}
