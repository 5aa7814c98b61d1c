#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "platform/midi/MidiService.h"

// The buffer queue of an input port, whatever delivers its messages: each
// complete SysEx message fills the first queued buffer and hands it back
// (cut at the buffer's length, the rest dropped). Messages that are not
// SysEx, or that come while the port is stopped or has no buffer queued, are
// dropped. Everything happens under the MidiEvent mutex.
class MidiInQueue : public MidiInPort {
 public:
  explicit MidiInQueue(MidiEvent& event) : event_(event) {}

  MidiResult Reset() override;
  MidiResult Prepare(MidiHeader& header) override;
  MidiResult Unprepare(MidiHeader& header) override;
  MidiResult AddBuffer(MidiHeader& header) override;
  MidiResult Start() override;
  MidiResult Stop() override;

 protected:
  // From the delivering thread.
  void Deliver(const uint8_t* message, size_t size);
  // Nothing is delivered any more, even if the source still calls.
  void Close();

 private:
  MidiEvent& event_;
  std::deque<MidiHeader*> queue_;
  bool started_ = false;
  bool closed_ = false;
};
