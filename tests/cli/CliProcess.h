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

  CliResult Run(const std::vector<std::string>& arguments) const;

 private:
  std::string program_;
  std::map<std::string, std::optional<std::string>> env_;
  std::string workingDirectory_;
  long fileSizeLimit_ = -1;
  bool errorTerminal_ = false;
};
