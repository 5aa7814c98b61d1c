#pragma once

// The built-in simulator's memory kept in a file between runs: with the
// environment variable RAVLIN_SIM_MEMORY naming a file, the simulator starts
// from that file (or writes its demo memory there when it does not exist)
// and saves it after every change.
class SimulatorMemory {
 public:
  static constexpr const char* kVariable = "RAVLIN_SIM_MEMORY";
  static void Apply();
};
