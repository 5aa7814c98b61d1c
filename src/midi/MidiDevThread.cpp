#include "midi/MidiDevThread.h"

#include "midi/MidiDev.h"
#include "midi/QnException.h"

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

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

}  // namespace

MidiDevThread::MidiDevThread(MidiDev& device)
    : device_(device), thread_(&MidiDevThread::Execute, this) {}

MidiDevThread::~MidiDevThread() {
  if (thread_.joinable()) thread_.join();
}

int MidiDevThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
  return result_;
}

void MidiDevThread::Execute() {
  LowerPriority();
  try {
    device_.Exchange();
    result_ = 0;
  } catch (...) {
    // Exchange records every failure in the device, whatever was thrown.
    result_ = 1;
  }
}

void RunExchange(MidiDev& device) {
  MidiDevThread worker(device);
  if (worker.WaitFor() != 0) throw MidiDevException(device.ErrorCode(), device.ErrorSubCode());
}
