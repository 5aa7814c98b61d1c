#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

// A program the benchmarks start and measure as a whole: its output goes to
// a file, and its end is taken with the processor time it used. A child
// still running when the object goes is killed.
class BenchProcess {
 public:
  using Clock = std::chrono::steady_clock;

  struct Ended {
    int status = -1;  // the exit code, -1 when a signal ended it
    rusage usage{};
    Clock::time_point at;
  };

  explicit BenchProcess(std::vector<std::string> command);
  ~BenchProcess();
  BenchProcess(const BenchProcess&) = delete;
  BenchProcess& operator=(const BenchProcess&) = delete;

  void SetEnvironment(const std::string& name, const std::string& value);
  // Standard output and error go to `outPath`; throws std::runtime_error
  // when the program cannot be started.
  void Start(const std::string& outPath);
  // The moment just before the process was created.
  Clock::time_point Started() const { return started_; }
  pid_t Pid() const { return pid_; }

  // Waits until the output holds `text`; false when the child ended first or
  // `limit` passed.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit);
  std::string Output() const;
  void Signal(int signal);
  Ended Wait();
  // Gives the child `limit` to end, then kills it; `killed` tells which.
  Ended Wait(std::chrono::milliseconds limit, bool& killed);

 private:
  std::vector<std::string> command_;
  std::vector<std::pair<std::string, std::string>> environment_;
  std::string outPath_;
  pid_t pid_ = -1;
  Clock::time_point started_;
};
