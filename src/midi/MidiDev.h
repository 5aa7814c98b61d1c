#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "midi/MidiClock.h"
#include "midi/MidiMessageObserver.h"
#include "platform/midi/MidiEvent.h"
#include "platform/midi/MidiHeader.h"
#include "platform/midi/MidiService.h"

// The program's only contact with MIDI: one input and one output port, one
// 256-byte SysEx buffer for each direction, the next request and the last
// reply. `Exchange` sends the request and, when asked to, waits for one SysEx
// message in return, all within one second.
class MidiDev {
 public:
  static constexpr uint32_t kNoDevice = 255;
  static constexpr uint32_t kBufferSize = 256;
  static constexpr int kTimeLimitMs = 1000;  // an exchange fails at 1001 ms

  // Error codes carried by MidiDevException.
  enum : int32_t {
    kInputFailed = 0,
    kOutputFailed = 1,
    kNoBuffer = 2,
    kReplyTimeout = 5,
    kOutputTimeout = 6,
  };

  // The single device, created on first use on the process's MIDI service.
  static MidiDev* Instance();
  // The service the next Instance() opens its ports on; nullptr (the default)
  // is the process's MIDI system. For harnesses that script the far end.
  static void UseService(MidiService* service);
  // The observer of the current device and of every device made later;
  // nullptr stops it.
  static void UseObserver(MidiMessageObserver* observer);

  MidiDev(MidiService& service, MidiClock& clock);
  ~MidiDev();  // closes the ports; the next Instance() makes a new device
  MidiDev(const MidiDev&) = delete;
  MidiDev& operator=(const MidiDev&) = delete;

  void SetClock(MidiClock& clock) { clock_ = &clock; }
  // Shows every message and failure to `observer` from now on; nullptr stops
  // it. Without one, nothing is copied or formatted.
  void SetObserver(MidiMessageObserver* observer) { observer_.store(observer); }

  void OpenIn(int device);
  void OpenOut(int device);
  // Closes both ports; the next OpenIn and OpenOut open them afresh, as
  // after a port went away and came back under its name.
  void Close();
  uint32_t InputDevice() const { return inDevice_; }
  uint32_t OutputDevice() const { return outDevice_; }

  void SetWaitReply(uint8_t flag) { waitReply_ = flag; }
  std::vector<uint8_t>& Request() { return request_; }
  std::vector<uint8_t>& Reply() { return reply_; }

  void ArmInput();
  // Runs on a MidiDevThread. Every failure is recorded and thrown as a
  // MidiDevException, one that is not the device's as code 2.
  void Exchange();
  void EndExchange();

  int32_t ErrorCode() const { return errorCode_; }
  uint32_t ErrorSubCode() const { return errorSubCode_; }
  [[noreturn]] void RaiseError();

 private:
  [[noreturn]] void Fail(int32_t code, MidiResult subCode);
  MidiHeader* AllocateHeader();
  bool WaitDone(MidiHeader& header);
  void Transfer();
  void Requeue();

  MidiService* service_;
  MidiClock* clock_;
  uint32_t inDevice_ = kNoDevice;
  uint32_t outDevice_ = kNoDevice;
  std::unique_ptr<MidiInPort> in_;
  MidiHeader* inHeader_ = nullptr;
  std::unique_ptr<MidiOutPort> out_;
  MidiHeader* outHeader_ = nullptr;
  uint8_t waitReply_ = 0;
  std::vector<uint8_t> request_;
  std::vector<uint8_t> reply_;
  MidiClock::TimePoint startTime_{};
  int32_t errorCode_ = 0;
  uint32_t errorSubCode_ = 0;
  std::atomic<MidiMessageObserver*> observer_{nullptr};
  MidiEvent event_;
};
