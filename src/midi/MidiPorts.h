#pragma once

#include <cstddef>
#include <cstdint>

#include "midi/MidiResult.h"

// The keyboard's input and output port as the device sees them; one
// implementation per driver. Opening and sending return at once: what comes
// in, and the moment a message has gone out, reach the device through its
// driver (MidiDev::Arrived, MidiDev::OutputDone), never from inside these
// calls.
class MidiPorts {
 public:
  virtual ~MidiPorts() = default;
  virtual MidiResult OpenIn(unsigned device) = 0;
  virtual MidiResult OpenOut(unsigned device) = 0;
  virtual void CloseIn() = 0;
  virtual void CloseOut() = 0;
  virtual MidiResult Send(const uint8_t* data, size_t size) = 0;
};
