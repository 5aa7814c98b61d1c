#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "Script.h"
#include "midi/MidiDriver.h"

// Ports whose far end plays a script, driven without threads or waiting:
// every message the program sends goes out at once and is answered by the
// next record; records scripted to come early or in between arrive before
// the next request goes out, while no exchange waits for them, so the device
// takes them for strays. An exhausted script is a silent keyboard, and a
// wait for it ends at once at the device's deadline. What arrives while the
// input is closed is lost. Both ports are device 0.
class ScriptedDriver : public MidiDriver {
 public:
  using Message = std::vector<uint8_t>;
  using Listener = std::function<void(const Message& sent)>;

  // Replaces what is left of the script by the records of a fuzz input.
  void Play(const uint8_t* data, size_t size);
  void Queue(Script::Timing timing, const Message& message);
  // Hears every message the program sends, before its answer is taken from
  // the script (a listener may still queue that answer).
  void Listen(Listener listener);

  MidiResult OpenIn(unsigned device) override;
  MidiResult OpenOut(unsigned device) override;
  void CloseIn() override;
  void CloseOut() override;
  MidiResult Send(const uint8_t* data, size_t size) override;
  void Start(MidiDev& device, Task<void>& task, std::function<void()> ended) override;

 private:
  void Arrive(Message message);
  void HandArrived(MidiDev& device);

  std::deque<Script::Record> script_;
  Listener listener_;
  bool inOpen_ = false;
  bool outOpen_ = false;
  MidiDev* running_ = nullptr;
  bool outputDone_ = false;      // the last message sent, not yet reported
  std::deque<Message> arrived_;  // not yet handed to the device
};
