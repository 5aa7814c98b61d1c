#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "midi/MidiClock.h"
#include "midi/MidiDriver.h"
#include "platform/midi/MidiService.h"
#include "platform/midi/WaitClock.h"

// Drives a device on the ports of a MIDI service for a caller that may wait:
// the service's threads queue what they report, each message stamped with the
// time it arrived at the service (not the time it was handed on), and
// Run waits for the next report or the device's deadline, whichever comes
// first, and hands it to the device on the caller's thread.
class ServiceDriver : public MidiDriver {
 public:
  explicit ServiceDriver(MidiService& service);
  ~ServiceDriver() override;

  // The driver on the process's MIDI system, which it opens only when the
  // first port is opened: choosing the driver costs nothing.
  static ServiceDriver& ForMidiSystem();

  MidiResult OpenIn(unsigned device) override;
  MidiResult OpenOut(unsigned device) override;
  void CloseIn() override;
  void CloseOut() override;
  MidiResult Send(const uint8_t* data, size_t size) override;
  // Returns once the task has ended.
  void Start(MidiDev& device, Task<void>& task, std::function<void()> ended) override;
  // From any thread: wakes Start's wait so that a cancel requested meanwhile
  // gives up the waiting exchange (MidiDev::Abandon) instead of waiting for
  // the answer or the deadline.
  void Wake();

 private:
  struct Report {
    bool sent;  // the message of `serial` went out; else a message came in
    uint64_t serial;
    std::vector<uint8_t> message;
    MidiArrival at;  // steady clock
  };

  void Queue(Report report);
  bool Next(Report& report);
  void Hand(MidiDev& device, const Report& report);
  ServiceDriver() : service_(nullptr) {}

  MidiService& Service();

  MidiService* service_;  // nullptr: the process's MIDI system
  std::unique_ptr<MidiInPort> in_;
  std::unique_ptr<MidiOutPort> out_;
  MidiDev* running_ = nullptr;
  uint64_t serial_ = 0;  // of the last message sent

  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Report> reports_;
  bool woken_ = false;
};
