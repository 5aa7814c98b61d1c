#include "CliProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

std::string PeekString(pid_t child, uint64_t address) {
  std::string text;
  while (text.size() < 4096) {
    errno = 0;
    const long word = ptrace(PTRACE_PEEKDATA, child, address + text.size(), nullptr);
    if (errno != 0) break;
    const auto* bytes = reinterpret_cast<const char*>(&word);
    for (size_t i = 0; i < sizeof word; ++i) {
      if (bytes[i] == '\0') return text;
      text += bytes[i];
    }
  }
  return text;
}

bool Matches(const SignalAt& at, pid_t child, const __ptrace_syscall_info& info) {
  if (info.op != PTRACE_SYSCALL_INFO_ENTRY || static_cast<long>(info.entry.nr) != at.number) {
    return false;
  }
  const uint64_t argument = info.entry.args[at.argument];
  if (at.value >= 0 && argument != static_cast<uint64_t>(at.value)) return false;
  return at.path.empty() || PeekString(child, argument).find(at.path) != std::string::npos;
}

// Follows the child, stopped after its exec, from system call to system call
// up to the chosen one; there it queues the signal and lets the child go.
// Returns whether it got there; when the child ended first, `ended` holds
// its wait status.
bool TraceUntil(const SignalAt& at, pid_t child, std::optional<int>& ended) {
  int status = 0;
  const auto stopped = [&] {
    if (waitpid(child, &status, 0) < 0) return false;
    if (!WIFSTOPPED(status)) ended = status;
    return WIFSTOPPED(status);
  };
  if (!stopped()) return false;
  ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  int pass = 0;
  for (;;) {
    if (ptrace(PTRACE_SYSCALL, child, nullptr, pass) != 0) return false;
    if (!stopped()) return false;
    pass = 0;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      pass = WSTOPSIG(status);
      continue;
    }
    __ptrace_syscall_info info{};
    ptrace(PTRACE_GET_SYSCALL_INFO, child, sizeof info, &info);
    if (Matches(at, child, info)) {
      // To the main thread itself, which takes it as the system call returns;
      // another thread might take a signal to the process at any later time.
      syscall(SYS_tgkill, child, child, at.signal);
      ptrace(PTRACE_DETACH, child, nullptr, 0);
      return true;
    }
  }
}

}  // namespace

CliProcess::CliProcess(std::string program) : program_(std::move(program)) {}

void CliProcess::SetEnv(const std::string& name, std::optional<std::string> value) {
  env_[name] = std::move(value);
}

CliResult CliProcess::Run(const std::vector<std::string>& arguments) const {
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (env_.count(entry.substr(0, entry.find('='))) == 0) environment.push_back(entry);
  }
  for (const auto& [name, value] : env_) {
    if (value) environment.push_back(name + "=" + *value);
  }
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> args{program_};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int outPipe[2];
  int errFds[2];  // read end, write end
  if (pipe(outPipe) != 0) throw std::runtime_error("pipe");
  if (errorTerminal_) {
    if (openpty(&errFds[0], &errFds[1], nullptr, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty");
    }
  } else if (pipe(errFds) != 0) {
    throw std::runtime_error("pipe");
  }

  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    dup2(outPipe[1], STDOUT_FILENO);
    dup2(errFds[1], STDERR_FILENO);
    close(outPipe[0]);
    close(outPipe[1]);
    close(errFds[0]);
    close(errFds[1]);
    if (output_) {
      close(STDOUT_FILENO);
      if (!output_->empty() && open(output_->c_str(), O_WRONLY) != STDOUT_FILENO) _exit(126);
    }
    if (!workingDirectory_.empty() && chdir(workingDirectory_.c_str()) != 0) _exit(126);
    if (fileSizeLimit_ >= 0) {
      // A write beyond the limit then fails with EFBIG instead of a signal.
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{static_cast<rlim_t>(fileSizeLimit_), static_cast<rlim_t>(fileSizeLimit_)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (signalAt_) ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errFds[1]);

  CliResult result;
  std::optional<int> ended;
  const auto readOutput = [&] {
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errFds[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          sinks[i]->append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
          // A pseudo terminal reports EIO once the child has closed it.
          close(fds[i].fd);
          fds[i].fd = -1;
          --open;
        }
      }
    }
  };
  if (signalAt_) {
    // The tracer must be the thread that forked; the output is read
    // meanwhile, so that a full pipe never holds the child up.
    std::thread reader(readOutput);
    result.signalled = TraceUntil(*signalAt_, child, ended);
    reader.join();
  } else {
    readOutput();
  }
  int status = ended.value_or(0);
  while (!ended && waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}
