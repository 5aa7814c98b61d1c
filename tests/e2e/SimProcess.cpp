#include "SimProcess.h"

#include <signal.h>

#include <chrono>
#include <thread>

#include "ChildProcess.h"

SimProcess::SimProcess(std::string program, std::string name, std::filesystem::path folder)
    : program_(std::move(program)), name_(std::move(name)) {
  std::string file = name_;
  for (char& c : file) {
    if (c == ' ' || c == '/') c = '_';
  }
  outFile_ = folder / (file + ".out");
}

SimProcess::~SimProcess() { Stop(); }

bool SimProcess::Start(const std::vector<std::string>& options) {
  Stop();
  std::vector<std::string> command{program_, "--name", name_, "--api", "jack"};
  command.insert(command.end(), options.begin(), options.end());
  process_ = std::make_unique<ChildProcess>(command);
  process_->Start(outFile_.string(), outFile_.string());
  // The line is printed once both ports are open; the limit only keeps a
  // broken start from hanging the test.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  const size_t from = ChildProcess::ReadFile(outFile_.string()).size();
  while (process_->Running() && std::chrono::steady_clock::now() < deadline) {
    const std::string output = ChildProcess::ReadFile(outFile_.string());
    if (output.find("\nready\n", from == 0 ? 0 : from - 1) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void SimProcess::End(int signal) {
  if (!process_) return;
  process_->Signal(signal);
  process_->Wait(std::chrono::seconds(30));
  process_.reset();
}

void SimProcess::Stop() { End(SIGTERM); }

void SimProcess::Kill() { End(SIGKILL); }

bool SimProcess::Running() const { return process_ && process_->Running(); }

int SimProcess::Pid() const { return process_ ? process_->Pid() : -1; }

std::string SimProcess::Output() const { return ChildProcess::ReadFile(outFile_.string()); }
