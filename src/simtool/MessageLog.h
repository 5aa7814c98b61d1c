#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "protocol/SysExDecoder.h"

// Every message through the simulator's ports, one line each, in the format
// of the program's own message log (seconds since the first message, ">" for
// a message to the keyboard and "<" for one from it, the bytes, the
// meaning), so that the two logs of one run can be laid side by side. Lines
// are flushed at once so that a test can read the log while the simulator
// runs.
class MessageLog {
 public:
  using Time = std::chrono::steady_clock::time_point;

  MessageLog() = default;
  ~MessageLog();
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  bool Open(const std::string& path);  // appends
  void In(Time at, const std::vector<uint8_t>& message) {
    Write(at, SysExDecoder::Direction::ToKeyboard, message);
  }
  void Out(Time at, const std::vector<uint8_t>& message) {
    Write(at, SysExDecoder::Direction::FromKeyboard, message);
  }

 private:
  void Write(Time at, SysExDecoder::Direction direction, const std::vector<uint8_t>& message);

  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  SysExDecoder decoder_;
  std::optional<Time> first_;
};
