#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class ChildProcess;

// One trv408-sim on the JACK server, as a process of its own: one client
// NAME with the ports "NAME:in" (the program's output goes there) and
// "NAME:out" (the program's input). Stopped with SIGTERM when this object goes.
class SimProcess {
 public:
  // The simulator's output goes to a file in `folder`.
  SimProcess(std::string program, std::string name, std::filesystem::path folder);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts it with these options (besides --name and --api) and waits for
  // its "ready" line. False when it ended or did not get ready; Output()
  // then tells why.
  bool Start(const std::vector<std::string>& options = {});
  void Stop();  // SIGTERM: the simulator closes its ports and ends
  void Kill();  // SIGKILL: gone at once, in the middle of whatever it did
  bool Running() const;
  int Pid() const;
  std::string Output() const;

  const std::string& Name() const { return name_; }
  std::string InputPort() const { return name_ + ":in"; }
  std::string OutputPort() const { return name_ + ":out"; }

 private:
  void End(int signal);

  std::string program_;
  std::string name_;
  std::filesystem::path outFile_;
  std::unique_ptr<ChildProcess> process_;
};
