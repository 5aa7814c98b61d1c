#pragma once

#include <atomic>
#include <thread>

class ExchangeWaiter;
class MidiDev;

// The worker on which one exchange runs while the caller waits for it. It
// starts running when constructed, at a priority a step below the caller's
// where the platform allows, and ends after the one exchange.
class MidiDevThread {
 public:
  explicit MidiDevThread(MidiDev& device);
  ~MidiDevThread();  // waits for the worker if nobody has
  MidiDevThread(const MidiDevThread&) = delete;
  MidiDevThread& operator=(const MidiDevThread&) = delete;

  // Blocks until the exchange has ended; 0 when it succeeded, 1 when it
  // failed (the device holds the error code and sub-code).
  int WaitFor();

  // The waiter of the exchanges that start from now on; nullptr: block.
  static void SetWaiter(ExchangeWaiter* waiter);

 private:
  void Execute();

  MidiDev& device_;
  ExchangeWaiter* waiter_;
  int result_ = 1;
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// One exchange of `device` on a new worker; throws MidiDevException with the
// device's error code and sub-code when it fails.
void RunExchange(MidiDev& device);
