// trv408-sim: the TRV-408 keyboard simulated on a pair of virtual MIDI
// ports, until SIGINT or SIGTERM.

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "MessageLog.h"
#include "SimOptions.h"
#include "VirtualPorts.h"
#include "platform/midi/TimedQueue.h"
#include "sim/SimLink.h"
#include "sim/Trv408.h"

namespace {

int Fail(const std::string& text) {
  std::fprintf(stderr, "trv408-sim: %s\n", text.c_str());
  return 1;
}

std::string FaultText(const SimOptions& options) {
  if (options.fault == sim::Fault::None) return "none";
  return sim::FaultName(options.fault) +
         (options.faultCount <= 0 ? std::string(", always")
                                  : ", " + std::to_string(options.faultCount) + " time(s)");
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  try {
    options = SimOptions::Parse(std::vector<std::string>(argv, argv + argc));
  } catch (const std::invalid_argument& error) {
    std::fprintf(stderr, "trv408-sim: %s\nTry 'trv408-sim --help'.\n", error.what());
    return 2;
  }
  if (options.help) {
    std::fputs(SimOptions::HelpText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("trv408-sim %s\n", RAVLIN_VERSION);
    return 0;
  }

  // Every thread started from here on inherits the blocked signals; only
  // the main thread takes them, in sigwait below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  sim::Trv408 keyboard;
  keyboard.SetKeyboardType(options.keyboardType);
  keyboard.SetFault(options.fault, options.faultCount);
  if (!options.memoryFile.empty()) {
    std::error_code error;
    if (std::filesystem::exists(options.memoryFile, error) && !keyboard.Load(options.memoryFile)) {
      return Fail("cannot read the memory file " + options.memoryFile);
    }
    // Saved at once, so that a file that cannot be written is found now and
    // not at the first change.
    if (!keyboard.Save(options.memoryFile)) {
      return Fail("cannot write the memory file " + options.memoryFile);
    }
    keyboard.SetAutoSave(options.memoryFile);
  }

  MessageLog log;
  if (!options.logFile.empty() && !log.Open(options.logFile)) {
    return Fail("cannot write the log file " + options.logFile);
  }

  // The keyboard's side runs on one thread: incoming messages are taken off
  // the MIDI service's own thread, in order, and the link's events run there.
  TimedQueue incoming;
  sim::SimLink link(keyboard, sim::Timing{options.cable, options.replyDelay}, incoming);
  VirtualPorts ports;
  link.SetSink([&](const sim::Message& message, sim::Scheduler::Clock::time_point) {
    log.Out(std::chrono::steady_clock::now(), message);
    ports.Send(message);
  });
  try {
    ports.Open(options.api, options.name, [&](std::vector<uint8_t> message, MessageLog::Time at) {
      incoming.At(TimedQueue::Clock::now(), [&link, &log, message = std::move(message), at] {
        log.In(at, message);
        if (message.front() == 0xF0) link.Send(message, nullptr);
      });
    });
  } catch (const std::runtime_error& error) {
    link.SetSink(nullptr);
    return Fail(error.what());
  }

  std::printf("%s on %s: input port \"%s\", output port \"%s\"\n", options.name.c_str(),
              ports.ApiName().c_str(), ports.InputName().c_str(), ports.OutputName().c_str());
  std::printf("keyboard type %d, memory %s, timing %s, reply delay %lld us, fault %s\n",
              options.keyboardType,
              options.memoryFile.empty() ? "demo (not saved)" : options.memoryFile.c_str(),
              options.cable ? "31250 baud" : "immediate",
              static_cast<long long>(options.replyDelay.count()), FaultText(options).c_str());
  std::printf("ready\n");
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);

  link.SetSink(nullptr);
  ports.Close();
  incoming.Stop();
  std::printf("stopped by %s\n", signal == SIGINT ? "SIGINT" : "SIGTERM");
  return 0;
}
