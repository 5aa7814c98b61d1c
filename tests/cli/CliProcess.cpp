#include "CliProcess.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

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
    if (!workingDirectory_.empty() && chdir(workingDirectory_.c_str()) != 0) _exit(126);
    if (fileSizeLimit_ >= 0) {
      // A write beyond the limit then fails with EFBIG instead of a signal.
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{static_cast<rlim_t>(fileSizeLimit_), static_cast<rlim_t>(fileSizeLimit_)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errFds[1]);

  CliResult result;
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
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}
