#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "midi/Coroutine.h"
#include "midi/MidiClock.h"
#include "midi/MidiMessageObserver.h"
#include "midi/Task.h"

class MidiDriver;

// The program's only contact with MIDI: one input and one output port, the
// next request and the last answer. `co_await device.Exchange()` sends the
// request and, when asked to, takes one SysEx message in return, all within
// one second; the awaiting work is suspended meanwhile and nothing blocks.
// The driver carries in what the ports report (Arrived, OutputDone) and the
// passing of time (Expire), and resumes the work through them.
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
    kAbandoned = 7,  // given up at the user's request (Abandon)
  };

  // The single device, created on first use on the driver the program chose.
  static MidiDev* Instance();
  // The driver the next Instance() runs on: every program chooses one before
  // its first keyboard work.
  static void UseDriver(MidiDriver* driver);
  // The observer of the current device and of every device made later;
  // nullptr stops it.
  static void UseObserver(MidiMessageObserver* observer);

  MidiDev(MidiDriver& driver, MidiClock& clock);
  ~MidiDev();  // closes the ports; the next Instance() makes a new device
  MidiDev(const MidiDev&) = delete;
  MidiDev& operator=(const MidiDev&) = delete;

  MidiDriver& Driver() { return *driver_; }
  MidiClock& Clock() { return *clock_; }
  void SetClock(MidiClock& clock) { clock_ = &clock; }
  // Shows every message and failure to `observer` from now on; nullptr stops
  // it. Without one, nothing is copied or formatted.
  void SetObserver(MidiMessageObserver* observer) { observer_ = observer; }

  void OpenIn(int device);
  void OpenOut(int device);
  // Closes both ports; the next OpenIn and OpenOut open them afresh, as
  // after a port went away and came back under its name.
  void Close();
  uint32_t InputDevice() const { return inDevice_; }
  uint32_t OutputDevice() const { return outDevice_; }

  void SetWaitReply(uint8_t flag) { waitReply_ = flag; }
  // Whether the answer must repeat bytes 5-9 of the request (a keyboard
  // that repeats them, asked for a value): one that does not is a stray.
  void SetAnswerRepeatsRequest(bool repeats) { mustRepeat_ = repeats; }
  std::vector<uint8_t>& Request() { return request_; }
  std::vector<uint8_t>& Reply() { return reply_; }

  class Exchanging {
   public:
    explicit Exchanging(MidiDev& device) : device_(device) {}
    bool await_ready() const noexcept { return false; }
    bool await_suspend(co::coroutine_handle<> work) { return device_.Begin(work); }
    void await_resume() { device_.Finish(); }

   private:
    MidiDev& device_;
  };
  // Every failure is recorded and thrown as a MidiDevException when the
  // awaiting work resumes.
  Exchanging Exchange() { return Exchanging(*this); }

  class Pausing {
   public:
    Pausing(MidiDev& device, std::chrono::milliseconds time) : device_(device), time_(time) {}
    bool await_ready() const noexcept { return false; }
    void await_suspend(co::coroutine_handle<> work) { device_.BeginPause(work, time_); }
    void await_resume() const noexcept {}

   private:
    MidiDev& device_;
    std::chrono::milliseconds time_;
  };
  // Lets `time` pass on the device's clock; what arrives meanwhile is stray.
  Pausing Pause(std::chrono::milliseconds time) { return Pausing(*this, time); }

  // From the driver, one call at a time and never from inside a call to the
  // ports. A message that is no answer to the request waiting for one is a
  // stray: shown to the observer and dropped.
  void Arrived(const uint8_t* message, size_t size, MidiClock::TimePoint at);
  void OutputDone(MidiClock::TimePoint at);
  // Fails the waiting exchange once `now` has reached its deadline.
  void Expire(MidiClock::TimePoint now);
  // When the waiting exchange fails unless something arrives first.
  std::optional<MidiClock::TimePoint> Deadline() const;

  // A request to stop the work on this device, from the user. The work
  // honours it between two exchanges, never inside one, and not while an
  // item it must finish holds it off (a CancelHold lives): then it stops at
  // the first exchange after the item. Any thread, and a signal handler, may
  // ask; the work clears it when it starts.
  void RequestCancel() { cancel_.store(true, std::memory_order_relaxed); }
  void ClearCancel() { cancel_.store(false, std::memory_order_relaxed); }
  bool CancelRequested() const { return cancel_.load(std::memory_order_relaxed); }
  bool CancelHeldOff() const { return holds_ > 0; }
  // The current device, if there is one; safe in a signal handler.
  static void RequestCancelOfInstance();
  // Gives up the waiting exchange at once when a cancel is requested and no
  // item holds it off, for a user who will not wait out a silent keyboard:
  // the work resumes with a MidiDevException kAbandoned. From the driver,
  // like Arrived; returns whether the exchange was given up.
  bool Abandon();

  class CancelHold {
   public:
    explicit CancelHold(MidiDev& device) : device_(device) { ++device_.holds_; }
    ~CancelHold() { --device_.holds_; }
    CancelHold(const CancelHold&) = delete;
    CancelHold& operator=(const CancelHold&) = delete;

   private:
    MidiDev& device_;
  };

  int32_t ErrorCode() const { return errorCode_; }
  uint32_t ErrorSubCode() const { return errorSubCode_; }
  [[noreturn]] void RaiseError();

 private:
  [[noreturn]] void Fail(int32_t code, uint32_t subCode);
  bool Begin(co::coroutine_handle<> work);
  void BeginPause(co::coroutine_handle<> work, std::chrono::milliseconds time);
  void Finish();
  void Resume();
  bool IsAnswer(const uint8_t* message, size_t size, MidiClock::TimePoint at) const;

  MidiDriver* driver_;
  MidiClock* clock_;
  uint32_t inDevice_ = kNoDevice;
  uint32_t outDevice_ = kNoDevice;
  uint8_t waitReply_ = 0;
  bool mustRepeat_ = false;
  std::vector<uint8_t> request_;
  std::vector<uint8_t> reply_;

  co::coroutine_handle<> waiting_;
  MidiClock::TimePoint startTime_{};
  bool outputDone_ = false;
  bool failed_ = false;
  bool pausing_ = false;
  MidiClock::TimePoint pauseEnd_{};

  int32_t errorCode_ = 0;
  uint32_t errorSubCode_ = 0;
  MidiMessageObserver* observer_ = nullptr;

  static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
  std::atomic<bool> cancel_{false};
  int holds_ = 0;
};

// Runs `task` to its end on the current device's driver, which must be one
// that waits for the keyboard, and returns its value: for callers that have
// no loop of their own (the command-line tool, tests).
template <class T>
T RunToEnd(Task<T> task);

template <>
void RunToEnd(Task<void> task);

template <class T>
T RunToEnd(Task<T> task) {
  std::optional<T> value;
  auto keep = [](Task<T>& inner, std::optional<T>& out) -> Task<void> {
    out.emplace(co_await inner);
  };
  RunToEnd(keep(task, value));
  return std::move(*value);
}
