#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "sim/SimLink.h"
#include "sim/Trv408.h"

// The wire time of what a program says to a simulated keyboard and what the
// keyboard answers: the messages the keyboard receives are recorded, and
// replayed afterwards on a twin that starts from the same memory, which gives
// the answers byte for byte without touching the measured path.
class WireTally {
 public:
  struct Bound {
    int requests = 0;
    int64_t requestBytes = 0;
    int answered = 0;  // requests the keyboard answered; each waits the reply delay once
    int answers = 0;
    int64_t answerBytes = 0;
    std::chrono::microseconds time{0};
  };

  WireTally(sim::Trv408& keyboard, sim::Timing timing);
  ~WireTally();
  WireTally(const WireTally&) = delete;
  WireTally& operator=(const WireTally&) = delete;

  // Starts a recording from the keyboard's memory as it is now.
  void Begin();
  // Replays the recording; throws std::runtime_error when the twin did not
  // end where the keyboard did, so a bound is never built on other answers.
  Bound End();

 private:
  sim::Trv408& keyboard_;
  sim::Timing timing_;
  std::string startFile_;
  std::mutex mutex_;
  std::vector<sim::Message> received_;
};
