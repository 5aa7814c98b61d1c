#pragma once

#include <functional>

#include "platform/midi/BuiltInMidiService.h"
#include "platform/midi/MidiSystem.h"
#include "sim/SimLink.h"
#include "sim/Trv408.h"

// The keyboard simulator built into MidiSystem, as tests reach it. Creating
// a BuiltInKeyboard resets the simulator (demo memory, no fault, no cable
// timing), so a test fixture that holds one starts from a known keyboard:
//
//   BuiltInKeyboard kbd;
//   MidiDev* dev = MidiDev::Instance();
//   dev->OpenIn(kbd.Input());
//   dev->OpenOut(kbd.Output());
//   kbd.Keyboard().SetFault(sim::Fault::NoAnswer);
//   clock.ExpireWhenQuiet(kbd.QuietProbe());  // replies time out at once
//
// Keyboard() and Link() are valid until the next Reset.
class BuiltInKeyboard {
 public:
  BuiltInKeyboard() { Reset(); }

  static unsigned Input() { return MidiSystem::Instance().BuiltInInput(); }
  static unsigned Output() { return MidiSystem::Instance().BuiltInOutput(); }
  // The simulator as it stands once everything the program has sent so far
  // has reached it: a write needs no answer, so the program may return
  // before the keyboard has taken it.
  static sim::Trv408& Keyboard() {
    MidiSystem::Instance().BuiltIn().Flush();
    return MidiSystem::Instance().BuiltInKeyboard();
  }
  static sim::SimLink& Link() { return MidiSystem::Instance().BuiltInLink(); }

  // Waits until the keyboard has taken everything sent and its late answers
  // are through, so that they cannot fall into the next transaction.
  static void Settle() { MidiSystem::Instance().BuiltIn().Flush(); }

  static void Reset() { MidiSystem::Instance().BuiltIn().Reset(); }

  // True when no request is on its way to the keyboard (one it stalls does
  // not count): from then on only the keyboard itself can send something.
  static bool Quiet() { return MidiSystem::Instance().BuiltIn().OutputSettled(); }
  static std::function<bool()> QuietProbe() {
    return [] { return Quiet(); };
  }
};
