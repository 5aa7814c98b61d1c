#include <gtest/gtest.h>

#include "platform/midi/MidiSystem.h"

TEST(MidiSystemTest, BuiltInDeviceComesLastInBothLists) {
  MidiSystem& system = MidiSystem::Instance();
  const auto inputs = system.InputNames();
  const auto outputs = system.OutputNames();
  ASSERT_FALSE(inputs.empty());
  ASSERT_FALSE(outputs.empty());
  EXPECT_EQ(inputs.back(), MidiSystem::kBuiltInName);
  EXPECT_EQ(outputs.back(), MidiSystem::kBuiltInName);
  EXPECT_EQ(system.BuiltInInput(), inputs.size() - 1);
  EXPECT_EQ(system.BuiltInOutput(), outputs.size() - 1);
  if (system.ApiName().empty()) {
    EXPECT_EQ(inputs.size(), 1u);
    EXPECT_EQ(outputs.size(), 1u);
  }
}

TEST(MidiSystemTest, NumbersPastTheListsDoNotOpen) {
  MidiSystem& system = MidiSystem::Instance();
  const MidiReceiver ignore = [](const uint8_t*, size_t, MidiArrival) {};
  std::unique_ptr<MidiInPort> in;
  std::unique_ptr<MidiOutPort> out;
  EXPECT_EQ(system.OpenIn(system.BuiltInInput() + 1, ignore, in), midi_result::kBadDeviceId);
  EXPECT_EQ(system.OpenOut(system.BuiltInOutput() + 1, out), midi_result::kBadDeviceId);
  EXPECT_FALSE(in);
  EXPECT_FALSE(out);
  EXPECT_EQ(system.OpenIn(system.BuiltInInput(), ignore, in), midi_result::kOk);
  EXPECT_EQ(system.OpenOut(system.BuiltInOutput(), out), midi_result::kOk);
}
