#pragma once

#include "midi/MidiClock.h"

// A MidiClock that never sleeps: a wait whose condition does not hold has
// reached its deadline. With ports that answer before the wait begins
// (ScriptedMidiService), a message that does not come is an immediate
// time-out.
class InstantClock : public MidiClock {
 public:
  TimePoint Now() override { return TimePoint{}; }
  bool WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, TimePoint,
                 const std::function<bool()>& ready) override {
    return ready();
  }
};
