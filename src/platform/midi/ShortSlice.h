#pragma once

#include <cstdint>

// Asks the scheduler for the shortest time slice for the calling thread while
// the object lives, for a thread that sleeps until a message or a deadline
// and then works only briefly. Linux (from 6.12) lets such a thread, when it
// wakes, take the core at once from a thread with a longer slice instead of
// waiting until that one's slice is used up: on a machine whose cores are
// all busy the wait cost a fraction of a millisecond at each wake-up, once
// or twice in every exchange. The niceness stays; where the system has no
// such slice, or refuses, nothing changes.
class ShortSlice {
 public:
  ShortSlice();
  ~ShortSlice();
  ShortSlice(const ShortSlice&) = delete;
  ShortSlice& operator=(const ShortSlice&) = delete;

 private:
  uint64_t previous_ = 0;  // ns, as the system told it
  bool set_ = false;
};
