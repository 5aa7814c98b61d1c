#include "MessageLog.h"

MessageLog::~MessageLog() {
  writer_.reset();
  if (file_ != nullptr) std::fclose(file_);
}

bool MessageLog::Open(const std::string& path) {
  writer_.reset();
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "a");
  if (file_ != nullptr) writer_ = std::make_unique<MessageLogWriter>(file_, messages_);
  return file_ != nullptr;
}
