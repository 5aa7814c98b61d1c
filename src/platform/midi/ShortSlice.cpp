#include "platform/midi/ShortSlice.h"

#ifdef __linux__
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The kernel's struct sched_attr; glibc 2.36 declares neither it nor the calls.
struct SchedAttr {
  uint32_t size = sizeof(SchedAttr);
  uint32_t policy = 0;
  uint64_t flags = 0;
  int32_t nice = 0;
  uint32_t priority = 0;
  uint64_t runtime = 0;  // the slice, for the normal policy
  uint64_t deadline = 0;
  uint64_t period = 0;
  uint32_t utilMin = 0;
  uint32_t utilMax = 0;
};

// The kernel's smallest slice.
constexpr uint64_t kSliceNs = 100'000;

// The calling thread's slice, its niceness kept; false where the thread does
// not run under the normal policy or the system refuses.
bool SetSlice(uint64_t slice, uint64_t& previous) {
  SchedAttr attr;
  if (syscall(SYS_sched_getattr, 0, &attr, sizeof attr, 0) != 0 || attr.policy != SCHED_OTHER)
    return false;
  previous = attr.runtime;
  attr.runtime = slice;
  return syscall(SYS_sched_setattr, 0, &attr, 0) == 0;
}

}  // namespace

ShortSlice::ShortSlice() { set_ = SetSlice(kSliceNs, previous_); }

ShortSlice::~ShortSlice() {
  uint64_t shortSlice = 0;
  if (set_) SetSlice(previous_, shortSlice);
}

#else

ShortSlice::ShortSlice() = default;
ShortSlice::~ShortSlice() = default;

#endif
