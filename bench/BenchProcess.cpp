#include "BenchProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

BenchProcess::BenchProcess(std::vector<std::string> command) : command_(std::move(command)) {}

BenchProcess::~BenchProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Wait();
  }
}

void BenchProcess::SetEnvironment(const std::string& name, const std::string& value) {
  environment_.emplace_back(name, value);
}

void BenchProcess::Start(const std::string& outPath) {
  // Everything the child needs is made before fork.
  std::vector<std::string> entries;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const auto& [name, value] : environment_) replaced |= entry.rfind(name + "=", 0) == 0;
    if (!replaced) entries.push_back(entry);
  }
  for (const auto& [name, value] : environment_) entries.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : entries) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = command_;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  outPath_ = outPath;
  const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) throw std::runtime_error("cannot write " + outPath);
  const pid_t parent = getpid();
  started_ = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(126);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out);
  if (child < 0) throw std::runtime_error("cannot start " + command_[0]);
  pid_ = child;
}

std::string BenchProcess::Output() const {
  std::ifstream in(outPath_);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool BenchProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (Output().find(text) != std::string::npos) return true;
    if (pid_ <= 0) return false;
    // Looks whether the child has ended without reaping it.
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid_)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void BenchProcess::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

BenchProcess::Ended BenchProcess::Wait(std::chrono::milliseconds limit, bool& killed) {
  killed = false;
  const auto deadline = Clock::now() + limit;
  while (pid_ > 0) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid_)
      break;
    if (Clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      killed = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return Wait();
}

BenchProcess::Ended BenchProcess::Wait() {
  Ended ended;
  if (pid_ <= 0) return ended;
  int status = 0;
  pid_t result;
  do {
    result = wait4(pid_, &status, 0, &ended.usage);
  } while (result < 0 && errno == EINTR);
  ended.at = Clock::now();
  pid_ = -1;
  if (result > 0 && WIFEXITED(status)) ended.status = WEXITSTATUS(status);
  return ended;
}
