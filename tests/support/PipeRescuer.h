#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

// Should an open wait on the pipe, a writer that comes and goes after five
// seconds lets it go on: the test then fails instead of hanging.
class PipeRescuer {
 public:
  explicit PipeRescuer(std::string pipe)
      : pipe_(std::move(pipe)), thread_([this] {
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
          while (!done_) {
            if (std::chrono::steady_clock::now() >= deadline) {
              const int fd = ::open(pipe_.c_str(), O_WRONLY | O_NONBLOCK);
              if (fd >= 0) {
                rescued_ = true;
                ::close(fd);
              }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
        }) {}
  ~PipeRescuer() { Stop(); }
  // True when something had waited on the pipe.
  bool Stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
    return rescued_;
  }

 private:
  std::string pipe_;
  std::atomic<bool> done_{false};
  std::atomic<bool> rescued_{false};
  std::thread thread_;
};
