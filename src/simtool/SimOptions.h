#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "sim/Fault.h"

// The command line of trv408-sim.
class SimOptions {
 public:
  static constexpr const char* kDefaultName = "TRV-408 Simulator";

  std::string name = kDefaultName;
  std::string api;  // empty: RAVLIN_MIDI_API, else the first that works
  int keyboardType = 0;
  std::string memoryFile;
  bool cable = false;
  std::chrono::microseconds replyDelay{0};
  sim::Fault fault = sim::Fault::None;
  int faultCount = 1;
  std::string logFile;
  bool help = false;
  bool version = false;

  // Throws std::invalid_argument with a message for the user.
  static SimOptions Parse(const std::vector<std::string>& arguments);
  static std::string HelpText();
};
