#include "midi/MidiDevThread.h"

#include "midi/ExchangeWaiter.h"
#include "midi/MidiDev.h"
#include "midi/QnException.h"

#ifdef __linux__
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

ExchangeWaiter* currentWaiter = nullptr;

// Linux keeps a nice value per thread; raising it needs no privilege. Where
// it is refused the exchange simply runs at the caller's priority.
void LowerPriority() {
#ifdef __linux__
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, tid);
  if (errno == 0) setpriority(PRIO_PROCESS, tid, nice + 1);
#endif
}

#ifdef __linux__
struct Affinity {
  cpu_set_t mask;
  bool saved = false;

  void Apply() const {
    if (saved) sched_setaffinity(0, sizeof mask, &mask);
  }
};

// Narrows the calling thread to the CPU it runs on; returns the mask it had.
Affinity PinToCurrentCpu() {
  Affinity previous;
  const int cpu = sched_getcpu();
  if (cpu < 0 || sched_getaffinity(0, sizeof previous.mask, &previous.mask) != 0) return previous;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(cpu, &one);
  previous.saved = sched_setaffinity(0, sizeof one, &one) == 0;
  return previous;
}
#endif

}  // namespace

// A new thread goes to the idlest CPU, and waking an idle CPU can take most
// of a millisecond (on a virtual machine) while the caller waits. The
// caller's own CPU is free as soon as it waits, so the worker is created
// while the caller is held to that CPU, and both take their full mask back
// at once.
MidiDevThread::MidiDevThread(MidiDev& device) : device_(device), waiter_(currentWaiter) {
#ifdef __linux__
  const Affinity caller = PinToCurrentCpu();
  try {
    thread_ = std::thread([this, caller] {
      caller.Apply();
      Execute();
    });
  } catch (...) {
    caller.Apply();
    throw;
  }
  caller.Apply();
#else
  thread_ = std::thread(&MidiDevThread::Execute, this);
#endif
}

MidiDevThread::~MidiDevThread() {
  if (thread_.joinable()) thread_.join();
}

int MidiDevThread::WaitFor() {
  if (waiter_ != nullptr && thread_.joinable()) waiter_->Wait(finished_);
  if (thread_.joinable()) thread_.join();
  return result_;
}

void MidiDevThread::SetWaiter(ExchangeWaiter* waiter) { currentWaiter = waiter; }

void MidiDevThread::Execute() {
  LowerPriority();
  try {
    device_.Exchange();
    result_ = 0;
  } catch (...) {
    // Exchange records every failure in the device, whatever was thrown.
    result_ = 1;
  }
  finished_.store(true);
  if (waiter_ != nullptr) waiter_->Finished();
}

void RunExchange(MidiDev& device) {
  MidiDevThread worker(device);
  if (worker.WaitFor() != 0) throw MidiDevException(device.ErrorCode(), device.ErrorSubCode());
}
