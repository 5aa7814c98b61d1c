#include "midi/MidiClock.h"

namespace {

class SteadyClock : public MidiClock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  TimePoint FromSteady(std::chrono::steady_clock::time_point at) override { return at; }
};

}  // namespace

MidiClock& MidiClock::Steady() {
  static SteadyClock clock;
  return clock;
}
