#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "midi/MidiClock.h"
#include "sim/Scheduler.h"
#include "sim/SimLink.h"
#include "sim/Trv408.h"

// The keyboard inside the page, offered like a port: the simulator on its
// demo memory at the end of a cable, its events run by the page's driver on
// the real clock. Cable timing makes a transfer take the time it takes with
// the instrument, so the page stays live and Cancel has something to stop.
class WebSimulator : public sim::Scheduler {
 public:
  explicit WebSimulator(MidiClock& clock);

  sim::Trv408& Keyboard() { return keyboard_; }
  sim::SimLink& Link() { return link_; }

  Clock::time_point Now() override { return clock_.Now(); }
  void At(Clock::time_point when, std::function<void()> action) override;

  // Runs the first event due by `limit`; false when there is none.
  bool RunDue(Clock::time_point limit);
  std::optional<Clock::time_point> NextEvent() const;

 private:
  MidiClock& clock_;
  uint64_t posted_ = 0;
  std::map<std::pair<Clock::time_point, uint64_t>, std::function<void()>> events_;
  sim::Trv408 keyboard_;
  sim::SimLink link_;
};
