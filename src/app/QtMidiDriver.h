#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "midi/MidiClock.h"
#include "midi/MidiDriver.h"
#include "platform/midi/MidiService.h"
#include "platform/midi/ServiceProbePorts.h"
#include "protocol/ProbeDriver.h"

// Drives a device on the MIDI system's ports from the Qt event loop, so that
// the window stays live while the keyboard works: the service's threads post
// what they report to the loop, each message with the time it arrived, and a
// timer stands at the device's deadline. Start returns at once. A detection
// runs the same way, on ports of its own (DetectionPorts), one work at a
// time with the device's. Made after the application object, on its thread.
class QtMidiDriver : public MidiDriver, public ProbeDriver {
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

  ProbePorts& DetectionPorts() override { return probePorts_; }
  void StartProbe(KeyboardProbe& probe, Task<void>& task, std::function<void()> ended) override;
  void StopProbe() override;

 private:
  struct Report {
    bool sent;  // the message of `serial` went out; else a message came in
    uint64_t serial;
    std::vector<uint8_t> message;
    MidiClock::TimePoint at;
    unsigned input = 0;  // the probe's input it came on
  };

  void Queue(std::deque<Report>& queue, Report report);  // any thread
  // Takes from the queue of the work under way.
  bool Next(Report& report, const MidiClock::TimePoint* before = nullptr);
  void Hand(const Report& report);
  void Deliver();
  void TimeUp();
  std::optional<MidiClock::TimePoint> Deadline() const;
  MidiClock& WorkClock() const;
  void Begin(Task<void>& task, std::function<void()> ended);
  // After every hand-off: ends the work once its task is done, else sets
  // the timer to the work's deadline.
  void Settle();
  void End();
  MidiClock& StampClock() const { return *stampClock_.load(); }

  QObject context_;  // where the service's threads post to
  QTimer timer_;
  std::unique_ptr<MidiInPort> in_;
  std::unique_ptr<MidiOutPort> out_;
  MidiDev* running_ = nullptr;
  KeyboardProbe* probe_ = nullptr;
  Task<void>* task_ = nullptr;
  std::function<void()> ended_;
  uint64_t serial_ = 0;  // of the last message sent
  std::atomic<MidiClock*> stampClock_;

  std::mutex mutex_;
  std::deque<Report> reports_;
  std::deque<Report> probeReports_;

  // Its inputs queue reports: closed before the queues go.
  ServiceProbePorts probePorts_;
};
