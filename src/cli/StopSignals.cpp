#include "StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <thread>
#include <utility>

#include "midi/MidiDev.h"

namespace {

std::atomic<int> holds{0};
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

// Written before the handler is installed, read only by it.
char text[256];
size_t textLength = 0;
// The handler's byte reaches the watcher through this pipe: a handler may
// not notify a waiting thread itself.
int wakePipe[2] = {-1, -1};

// Any thread may take the signal; the hold count tells whether the main
// thread is inside work that must not be cut.
void OnSignal(int signal) {
  received.store(signal);
  if (holds.load() > 0) {
    MidiDev::RequestCancelOfInstance();
    const char byte = 0;
    [[maybe_unused]] const ssize_t woken = write(wakePipe[1], &byte, 1);
    return;
  }
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, text, textLength);
  _exit(128 + signal);
}

}  // namespace

void StopSignals::Install(const std::string& message, std::function<void()> wake) {
  textLength = std::min(message.size(), sizeof text);
  std::copy_n(message.data(), textLength, text);
  MidiDev::Instance()->ClearCancel();
  if (wakePipe[0] < 0 && pipe2(wakePipe, O_CLOEXEC) == 0) {
    std::thread([wake = std::move(wake)] {
      char byte = 0;
      while (read(wakePipe[0], &byte, 1) == 1) wake();
    }).detach();
  }
  struct sigaction action {};
  action.sa_handler = &OnSignal;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  for (int signal : {SIGINT, SIGTERM}) sigaction(signal, &action, nullptr);
}

int StopSignals::Received() { return received.load(); }

StopSignals::Hold::Hold() { ++holds; }

StopSignals::Hold::~Hold() { --holds; }
