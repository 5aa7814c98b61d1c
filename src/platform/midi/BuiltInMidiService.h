#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/midi/MidiService.h"

namespace sim {
class Trv408;
class SimLink;
}  // namespace sim

// One input and one output port joined in-process to a simulated keyboard.
// The ports keep the same buffer semantics as those of the system service:
// one SysEx message per queued input buffer (cut at the buffer's length),
// other messages and those arriving with no buffer queued are dropped.
class BuiltInMidiService : public MidiService {
 public:
  BuiltInMidiService();
  ~BuiltInMidiService() override;

  std::vector<std::string> InputNames() override;
  std::vector<std::string> OutputNames() override;
  MidiResult OpenIn(unsigned device, MidiReceiver receiver,
                    std::unique_ptr<MidiInPort>& port) override;
  MidiResult OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) override;

  // Valid until the next Reset.
  sim::Trv408& Keyboard();
  sim::SimLink& Link();
  // Replaces the keyboard by a fresh one: demo memory, no fault, no cable
  // timing. Open ports stay open; messages still on their way are dropped.
  void Reset();
  // True while no message from the program is still on its way to the
  // keyboard (a message the keyboard stalls does not count).
  bool OutputSettled() const;
  // Blocks until every message sent so far has reached the keyboard and been
  // handled, and every answer it gave has been delivered (a stalled message
  // never arrives and is not waited for).
  void Flush();

  struct Core;

 private:
  std::shared_ptr<Core> core_;
};
