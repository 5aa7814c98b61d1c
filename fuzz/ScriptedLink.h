#pragma once

#include <cstdint>

#include "ScriptedDriver.h"
#include "protocol/QnSysEx.h"

// The program's protocol object and MIDI device on a ScriptedDriver. Made on
// first use and kept for the whole process, as in the program; each request
// sets everything it needs.
class ScriptedLink {
 public:
  static ScriptedDriver& Driver();
  static QnSysEx& Protocol();
  // Opens the ports, sets model, device, command and address.
  static void Begin(uint8_t command, SysExAddress* address);
};
