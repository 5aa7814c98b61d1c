#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

// Every message through the simulator's ports, one line each: the UTC time
// with microseconds, the direction ("in" from the program, "out" to it) and
// the bytes in hexadecimal. Lines are flushed at once so that a test can
// read the log while the simulator runs.
class MessageLog {
 public:
  using Time = std::chrono::system_clock::time_point;

  MessageLog() = default;
  ~MessageLog();
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  bool Open(const std::string& path);  // appends
  void In(Time at, const std::vector<uint8_t>& message) { Write(at, "in ", message); }
  void Out(Time at, const std::vector<uint8_t>& message) { Write(at, "out", message); }

  static std::string Line(Time at, const char* direction, const std::vector<uint8_t>& message);

 private:
  void Write(Time at, const char* direction, const std::vector<uint8_t>& message);

  std::mutex mutex_;
  std::FILE* file_ = nullptr;
};
