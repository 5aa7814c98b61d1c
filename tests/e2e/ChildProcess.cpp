#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

extern char** environ;

ChildProcess::ChildProcess(std::vector<std::string> command, Environment environment)
    : command_(std::move(command)), environment_(std::move(environment)) {}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !ended_) {
    kill(pid_, SIGKILL);
    Reap(true);
  }
}

void ChildProcess::Start(const std::string& outPath, const std::string& errPath) {
  // Everything the child needs is made before fork: between fork and exec
  // only async-signal-safe calls are allowed.
  std::vector<std::string> entries;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (environment_.count(entry.substr(0, entry.find('='))) == 0) entries.push_back(entry);
  }
  for (const auto& [name, value] : environment_) {
    if (value) entries.push_back(name + "=" + *value);
  }
  std::vector<char*> envp;
  for (std::string& entry : entries) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = command_;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
  const int out = open(outPath.c_str(), flags, 0644);
  const int err = errPath == outPath ? out : open(errPath.c_str(), flags, 0644);
  if (out < 0 || err < 0) {
    if (out >= 0) close(out);
    if (err >= 0 && err != out) close(err);
    throw std::runtime_error("cannot write " + outPath + " or " + errPath);
  }

  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) {
    // SIGTERM lets a JACK server or a simulator close its ports cleanly.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(126);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out);
  if (err != out) close(err);
  if (child < 0) throw std::runtime_error("cannot start " + command_[0]);
  pid_ = child;
  ended_ = false;
  killedAfterLimit_ = false;
  status_ = -1;
}

bool ChildProcess::Reap(bool block) {
  int status = 0;
  pid_t result;
  do {
    result = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (result < 0 && errno == EINTR);
  if (result != pid_) return false;
  ended_ = true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return true;
}

bool ChildProcess::Running() { return pid_ > 0 && !ended_ && !Reap(false); }

void ChildProcess::Signal(int signal) {
  if (Running()) kill(pid_, signal);
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
  if (pid_ <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      Reap(true);
      killedAfterLimit_ = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status_;
}

bool ChildProcess::Found(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    const size_t end = folders.find(':', start);
    const std::string folder = folders.substr(start, end - start);
    if (!folder.empty() && access((folder + "/" + name).c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

std::string ChildProcess::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
