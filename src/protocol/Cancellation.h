#pragma once

#include <atomic>

// A request to stop the work that talks to the keyboard. It is honoured
// between two exchanges, never inside one, so that the link is left clean
// and the next command works at once. Request() may be called from any
// thread and from a signal handler; the work that honours it throws
// QnSysExException(QnSysEx::kCancelled). Each command clears it first.
class Cancellation {
 public:
  static void Request() { requested_.store(true, std::memory_order_relaxed); }
  static void Clear() { requested_.store(false, std::memory_order_relaxed); }
  static bool Requested() { return requested_.load(std::memory_order_relaxed); }
  // Throws the cancel error when a request is pending and no Deferral lives.
  static void Check();

  // Work that must not be cut in two (a delete and the free-space read after
  // it, an upload and its free-space read) holds one of these: a request
  // made meanwhile stays pending and stops the work that follows.
  class Deferral {
   public:
    Deferral() { ++deferrals_; }
    ~Deferral() { --deferrals_; }
    Deferral(const Deferral&) = delete;
    Deferral& operator=(const Deferral&) = delete;
  };

 private:
  static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
  static inline std::atomic<bool> requested_{false};
  static inline std::atomic<int> deferrals_{0};
};
