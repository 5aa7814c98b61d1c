#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Script.h"
#include "platform/midi/MidiService.h"

// One input and one output port whose far end plays a script: every message
// the program sends goes out at once and is answered with the next scripted
// message; messages scripted to come early or in between arrive when the
// input is started or a buffer is queued again. The input keeps the buffer
// rules of a real port (MidiInQueue): one SysEx message per queued buffer,
// cut at the buffer's length; other messages, and those arriving while the
// port is stopped or holds no buffer, are lost. An exhausted script sends
// nothing more. Both ports are device 0.
class ScriptedMidiService : public MidiService {
 public:
  using Message = std::vector<uint8_t>;
  using Listener = std::function<void(const Message& sent)>;

  ScriptedMidiService();
  ~ScriptedMidiService() override;

  // Replaces what is left of the script by the records of a fuzz input.
  void Play(const uint8_t* data, size_t size);
  void Queue(Script::Timing timing, const Message& message);
  // Hears every message the program sends, before its answer is taken from
  // the script (a listener may still queue that answer).
  void Listen(Listener listener);

  std::vector<std::string> InputNames() override;
  std::vector<std::string> OutputNames() override;
  MidiResult OpenIn(unsigned device, MidiEvent& event, std::unique_ptr<MidiInPort>& port) override;
  MidiResult OpenOut(unsigned device, MidiEvent& event,
                     std::unique_ptr<MidiOutPort>& port) override;

  struct Far;

 private:
  std::shared_ptr<Far> far_;
};
