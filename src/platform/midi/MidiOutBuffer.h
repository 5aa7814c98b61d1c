#pragma once

#include "platform/midi/MidiService.h"

// The buffer rules of an output port, whatever carries its messages: a
// header must be prepared, hold bytes and not still be on its way before it
// may be sent, and cannot be unprepared while it is on its way. Everything
// happens under the MidiEvent mutex.
class MidiOutBuffer : public MidiOutPort {
 public:
  explicit MidiOutBuffer(MidiEvent& event) : event_(event) {}

  MidiResult Prepare(MidiHeader& header) final;
  MidiResult Unprepare(MidiHeader& header) final;

 protected:
  // kOk when LongMsg may send the header, else the result to return.
  MidiResult Sendable(MidiHeader& header);

  MidiEvent& event_;
};
