#include "midi/MidiClock.h"

namespace {

class SteadyClock : public MidiClock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
};

}  // namespace

MidiClock& MidiClock::Steady() {
  static SteadyClock clock;
  return clock;
}
