#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "protocol/MessageLogWriter.h"
#include "protocol/MsgStr.h"

// Every message through the simulator's ports, in the program's own message
// log format (a message from the program is one to the keyboard, ">"), so
// that the two logs of one run can be laid side by side. Lines are flushed
// at once so that a test can read the log while the simulator runs.
class MessageLog {
 public:
  using Time = std::chrono::steady_clock::time_point;

  MessageLog() = default;
  ~MessageLog();
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  bool Open(const std::string& path);  // appends
  void In(Time at, const std::vector<uint8_t>& message) {
    if (writer_) writer_->Sent(at, message.data(), message.size());
  }
  void Out(Time at, const std::vector<uint8_t>& message) {
    if (writer_) writer_->Received(at, message.data(), message.size());
  }

 private:
  std::FILE* file_ = nullptr;
  MsgStr messages_{MsgStr::Language::English};
  std::unique_ptr<MessageLogWriter> writer_;
};
