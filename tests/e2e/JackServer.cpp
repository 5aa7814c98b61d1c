#include "JackServer.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "ChildProcess.h"

namespace {

constexpr char kVariable[] = "JACK_DEFAULT_SERVER";

std::string TempFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

}  // namespace

JackServer::JackServer() = default;

JackServer::~JackServer() { Stop(); }

std::string JackServer::Name() {
  const char* name = std::getenv(kVariable);
  return name != nullptr ? name : "";
}

bool JackServer::Answers() {
  ChildProcess lsp({"jack_lsp"});
  lsp.Start("/dev/null", "/dev/null");
  return lsp.Wait(std::chrono::seconds(20)) == 0;
}

JackServer::State JackServer::Ensure() {
  if (Private()) return State::Ready;
  if (!Name().empty()) {
    if (Answers()) return State::Ready;
    why_ = "the JACK server '" + Name() + "' (JACK_DEFAULT_SERVER) does not answer";
    return State::Failed;
  }
  if (!ChildProcess::Found("jackd")) {
    why_ = "no JACK server: JACK_DEFAULT_SERVER is not set and jackd is not installed";
    return State::Missing;
  }
  return StartPrivate();
}

// Realtime mode (the default) and periods of 512 frames, as the test script's
// server: without realtime the server drops cycles, and with shorter periods
// a loaded machine gives xruns (256 frames lost a message in CI while the
// other build's tests ran and a client joined the graph); either loses MIDI
// messages silently.
JackServer::State JackServer::StartPrivate() {
  Stop();
  static int started = 0;
  std::string name = "ravlin-test-" + std::to_string(getpid());
  if (++started > 1) name += "-" + std::to_string(started);
  log_ = TempFolder() + "/" + name + ".log";
  std::error_code ignored;
  std::filesystem::remove(log_, ignored);
  jackd_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"jackd", "-n", name, "-d", "dummy", "-r", "48000", "-p", "512"},
      ChildProcess::Environment{{"JACK_NO_AUDIO_RESERVATION", "1"}});
  jackd_->Start(log_, log_);
  previous_ = Name().empty() ? std::nullopt : std::optional<std::string>(Name());
  setenv(kVariable, name.c_str(), 1);
  for (int attempt = 0; attempt < 200 && jackd_->Running(); ++attempt) {
    if (Answers()) return State::Ready;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  why_ = "the private JACK server '" + name + "' did not start:\n" + ChildProcess::ReadFile(log_);
  Stop();
  return State::Failed;
}

void JackServer::Stop() {
  if (!jackd_) return;
  jackd_->Signal(SIGTERM);
  if (jackd_->Wait(std::chrono::seconds(10)) == 0) {
    std::error_code ignored;
    std::filesystem::remove(log_, ignored);
  }
  jackd_.reset();
  if (previous_) {
    setenv(kVariable, previous_->c_str(), 1);
  } else {
    unsetenv(kVariable);
  }
  previous_.reset();
}
