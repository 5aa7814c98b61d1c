#include <gtest/gtest.h>

#include "midi/MidiDev.h"
#include "platform/midi/ServiceDriver.h"

// The tests' keyboard work runs as the command-line tool's does: on the MIDI
// system, its caller waiting.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  MidiDev::UseDriver(&ServiceDriver::ForMidiSystem());
  return RUN_ALL_TESTS();
}
