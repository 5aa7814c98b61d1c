#include "WireTally.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

std::string TempFile(const char* stem) {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir != nullptr ? dir : "/tmp") + "/" + stem + "-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) throw std::runtime_error("cannot create a file in the temporary folder");
  close(fd);
  return path;
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

WireTally::WireTally(sim::Trv408& keyboard, sim::Timing timing)
    : keyboard_(keyboard), timing_(timing), startFile_(TempFile("ravlin-wire")) {
  keyboard_.SetMonitor([this](const sim::Message& message) {
    std::lock_guard lock(mutex_);
    received_.push_back(message);
  });
}

WireTally::~WireTally() {
  keyboard_.SetMonitor(nullptr);
  std::remove(startFile_.c_str());
}

void WireTally::Begin() {
  if (!keyboard_.Save(startFile_)) throw std::runtime_error("cannot save the keyboard's memory");
  std::lock_guard lock(mutex_);
  received_.clear();
}

WireTally::Bound WireTally::End() {
  std::vector<sim::Message> received;
  {
    std::lock_guard lock(mutex_);
    received.swap(received_);
  }
  sim::Trv408 twin;
  if (!twin.Load(startFile_)) throw std::runtime_error("cannot load the keyboard's memory");

  Bound bound;
  for (const sim::Message& message : received) {
    ++bound.requests;
    bound.requestBytes += static_cast<int64_t>(message.size());
    const std::vector<sim::Message> answers = twin.Receive(message);
    if (!answers.empty()) ++bound.answered;
    for (const sim::Message& answer : answers) {
      ++bound.answers;
      bound.answerBytes += static_cast<int64_t>(answer.size());
    }
  }
  const auto byteTime = timing_.cable ? sim::SimLink::kByteTime : std::chrono::microseconds{0};
  bound.time =
      byteTime * (bound.requestBytes + bound.answerBytes) + timing_.replyDelay * bound.answered;

  const std::string endFile = TempFile("ravlin-wire-end");
  const std::string twinFile = TempFile("ravlin-wire-twin");
  const bool saved = keyboard_.Save(endFile) && twin.Save(twinFile);
  const bool same = saved && Contents(endFile) == Contents(twinFile);
  std::remove(endFile.c_str());
  std::remove(twinFile.c_str());
  if (!same) throw std::runtime_error("the replayed keyboard ended in another state");
  return bound;
}
