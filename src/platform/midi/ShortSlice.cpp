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

bool Get(SchedAttr& attr) {
  return syscall(SYS_sched_getattr, 0, &attr, sizeof attr, 0) == 0 && attr.policy == SCHED_OTHER;
}

void SetSlice(uint64_t slice) {
  SchedAttr attr;
  if (!Get(attr)) return;
  attr.runtime = slice;
  syscall(SYS_sched_setattr, 0, &attr, 0);
}

}  // namespace

ShortSlice::ShortSlice() {
  SchedAttr attr;
  if (!Get(attr)) return;
  previous_ = attr.runtime;
  attr.runtime = kSliceNs;
  set_ = syscall(SYS_sched_setattr, 0, &attr, 0) == 0;
}

ShortSlice::~ShortSlice() {
  if (set_) SetSlice(previous_);
}

#else

ShortSlice::ShortSlice() = default;
ShortSlice::~ShortSlice() = default;

#endif
