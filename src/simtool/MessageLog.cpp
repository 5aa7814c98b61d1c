#include "MessageLog.h"

#include <ctime>

MessageLog::~MessageLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool MessageLog::Open(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "a");
  return file_ != nullptr;
}

std::string MessageLog::Line(Time at, const char* direction, const std::vector<uint8_t>& message) {
  using namespace std::chrono;
  const auto micros = duration_cast<microseconds>(at.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char stamp[40];
  const size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(stamp + length, sizeof stamp - length, ".%06lldZ",
                static_cast<long long>(micros % 1000000));

  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string line = std::string(stamp) + ' ' + direction;
  line.reserve(line.size() + message.size() * 3 + 1);
  for (uint8_t b : message) {
    line += ' ';
    line += kDigits[b >> 4];
    line += kDigits[b & 0x0F];
  }
  line += '\n';
  return line;
}

void MessageLog::Write(Time at, const char* direction, const std::vector<uint8_t>& message) {
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  const std::string line = Line(at, direction, message);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}
