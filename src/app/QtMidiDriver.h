#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "midi/MidiClock.h"
#include "midi/MidiDriver.h"
#include "platform/midi/MidiService.h"

// Drives a device on the MIDI system's ports from the Qt event loop, so that
// the window stays live while the keyboard works: the service's threads post
// what they report to the loop, each message with the time it arrived, and a
// timer stands at the device's deadline. Start returns at once. Made after
// the application object, on its thread.
class QtMidiDriver : public MidiDriver {
 public:
  QtMidiDriver();
  ~QtMidiDriver() override;
  QtMidiDriver(const QtMidiDriver&) = delete;
  QtMidiDriver& operator=(const QtMidiDriver&) = delete;

  MidiResult OpenIn(unsigned device) override;
  MidiResult OpenOut(unsigned device) override;
  void CloseIn() override;
  void CloseOut() override;
  MidiResult Send(const uint8_t* data, size_t size) override;
  void Start(MidiDev& device, Task<void>& task, std::function<void()> ended) override;

 private:
  struct Report {
    bool sent;  // the message of `serial` went out; else a message came in
    uint64_t serial;
    std::vector<uint8_t> message;
    MidiClock::TimePoint at;
  };

  void Queue(Report report);  // any thread
  bool Next(Report& report, const MidiClock::TimePoint* before = nullptr);
  void Hand(const Report& report);
  void Deliver();
  void TimeUp();
  // After every hand-off: ends the work once its task is done, else sets
  // the timer to the device's deadline.
  void Settle();
  void End();
  MidiClock& StampClock() const { return *stampClock_.load(); }

  QObject context_;  // where the service's threads post to
  QTimer timer_;
  std::unique_ptr<MidiInPort> in_;
  std::unique_ptr<MidiOutPort> out_;
  MidiDev* running_ = nullptr;
  Task<void>* task_ = nullptr;
  std::function<void()> ended_;
  uint64_t serial_ = 0;  // of the last message sent
  std::atomic<MidiClock*> stampClock_;

  std::mutex mutex_;
  std::deque<Report> reports_;
};
