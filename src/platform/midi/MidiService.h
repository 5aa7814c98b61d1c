#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/midi/MidiEvent.h"
#include "platform/midi/MidiHeader.h"
#include "platform/midi/MidiResult.h"

// What MidiDev needs of the operating system's MIDI service. One
// implementation per service (RtMidi ports, the built-in simulator) and a
// composite that numbers them all as one list.

class MidiInPort {
 public:
  virtual ~MidiInPort() = default;  // closes the port
  // Stops input and hands every queued buffer back (done, nothing recorded).
  virtual MidiResult Reset() = 0;
  virtual MidiResult Prepare(MidiHeader& header) = 0;
  virtual MidiResult Unprepare(MidiHeader& header) = 0;
  // Queues a prepared buffer; the port fills it with one SysEx message and
  // hands it back when the closing 0xF7 has come or the buffer is full.
  virtual MidiResult AddBuffer(MidiHeader& header) = 0;
  virtual MidiResult Start() = 0;
  virtual MidiResult Stop() = 0;
};

class MidiOutPort {
 public:
  virtual ~MidiOutPort() = default;  // closes the port
  virtual MidiResult Prepare(MidiHeader& header) = 0;
  virtual MidiResult Unprepare(MidiHeader& header) = 0;
  // Sends the buffer's `bufferLength` bytes as one SysEx message; the header
  // is marked done once the message has gone out.
  virtual MidiResult LongMsg(MidiHeader& header) = 0;
  // Abandons messages that have not gone out yet and hands their buffers back.
  virtual MidiResult Reset() = 0;
};

class MidiService {
 public:
  virtual ~MidiService() = default;
  virtual std::vector<std::string> InputNames() = 0;
  virtual std::vector<std::string> OutputNames() = 0;
  // On success `port` holds the open port, which signals `event` whenever it
  // hands a header back.
  virtual MidiResult OpenIn(unsigned device, MidiEvent& event,
                            std::unique_ptr<MidiInPort>& port) = 0;
  virtual MidiResult OpenOut(unsigned device, MidiEvent& event,
                             std::unique_ptr<MidiOutPort>& port) = 0;
};
