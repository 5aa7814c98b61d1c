#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

// A program run as a child process with an environment of its own, its
// standard output and error going to files. A child that outlives this
// object, or the test process itself, is ended: no server or simulator is
// left behind by a test that failed or crashed.
class ChildProcess {
 public:
  // nullopt removes the variable from the environment the child inherits.
  using Environment = std::map<std::string, std::optional<std::string>>;

  // `command[0]` is a path, or a name looked up in PATH.
  explicit ChildProcess(std::vector<std::string> command, Environment environment = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Standard output and error may go to the same file. Throws
  // std::runtime_error when the process cannot be started.
  void Start(const std::string& outPath, const std::string& errPath);
  bool Running();
  pid_t Pid() const { return pid_; }
  void Signal(int signal);
  // The exit status once the child has ended; -1 when a signal ended it or
  // when it was still running after `limit` and had to be killed.
  int Wait(std::chrono::milliseconds limit);
  bool Exited() const { return ended_; }
  bool KilledAfterLimit() const { return killedAfterLimit_; }

  // Whether `name` is an executable in PATH (or a path to one).
  static bool Found(const std::string& name);
  static std::string ReadFile(const std::string& path);

 private:
  bool Reap(bool block);

  std::vector<std::string> command_;
  Environment environment_;
  pid_t pid_ = -1;
  bool ended_ = false;
  bool killedAfterLimit_ = false;
  int status_ = -1;
};
