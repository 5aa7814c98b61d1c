#pragma once

namespace sim {

enum class SlotKind { Tone, Dsp, Registration, Song, Rhythm };

// One slot of the keyboard's user memory.
struct SlotId {
  SlotKind kind;
  int bank;  // registrations only
  int slot;
};

}  // namespace sim
