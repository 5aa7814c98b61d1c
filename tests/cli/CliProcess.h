#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// What one run of the tool left behind.
struct CliResult {
  int status = -1;  // exit status; -1 when the process did not exit normally
  std::string out;
  std::string err;
  bool signalled = false;  // the SignalAt stop was reached and the signal sent
};

// A signal for the tool's main thread at a chosen point of its work: when it
// enters system call `number` for the first time with argument `argument`
// equal to `value` (any value when negative) and, when `path` is set, naming
// a path that contains `path`.
struct SignalAt {
  int signal;
  long number;
  int argument = 0;
  long value = -1;
  std::string path;
};

// Runs the command-line tool as a child process with a chosen environment.
class CliProcess {
 public:
  explicit CliProcess(std::string program);

  // nullopt removes the variable from the child's environment.
  void SetEnv(const std::string& name, std::optional<std::string> value);
  // Files the child writes cannot grow beyond this many bytes.
  void SetFileSizeLimit(long bytes) { fileSizeLimit_ = bytes; }
  void SetWorkingDirectory(std::string folder) { workingDirectory_ = std::move(folder); }
  // Standard error on a pseudo terminal instead of a pipe.
  void SetErrorTerminal(bool terminal) { errorTerminal_ = terminal; }
  // Standard output into this file ("": closed) instead of a pipe.
  void SetOutput(std::optional<std::string> path) { output_ = std::move(path); }
  // Traces the tool until that point, then lets it run on its own.
  void SetSignalAt(std::optional<SignalAt> at) { signalAt_ = std::move(at); }

  CliResult Run(const std::vector<std::string>& arguments) const;

 private:
  std::string program_;
  std::map<std::string, std::optional<std::string>> env_;
  std::string workingDirectory_;
  long fileSizeLimit_ = -1;
  bool errorTerminal_ = false;
  std::optional<SignalAt> signalAt_;
  std::optional<std::string> output_;
};
