#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "MessageLog.h"
#include "SimOptions.h"

using namespace std::chrono_literals;

namespace {

SimOptions Parse(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "trv408-sim");
  return SimOptions::Parse(arguments);
}

TEST(SimOptions, DefaultsAndEveryOption) {
  ::unsetenv("RAVLIN_MIDI_API");
  const SimOptions plain = Parse({});
  EXPECT_EQ(plain.name, "TRV-408 Simulator");
  EXPECT_EQ(plain.api, "");
  EXPECT_EQ(plain.keyboardType, 0);
  EXPECT_FALSE(plain.cable);
  EXPECT_EQ(plain.replyDelay, 0us);
  EXPECT_EQ(plain.fault, sim::Fault::None);

  const SimOptions all =
      Parse({"--name", "Sim B", "--api", "jack", "--type", "3", "--memory", "m.txt", "--cable",
             "--reply-delay", "2.5", "--fault", "resend:11", "--log", "l.txt"});
  EXPECT_EQ(all.name, "Sim B");
  EXPECT_EQ(all.api, "jack");
  EXPECT_EQ(all.keyboardType, 3);
  EXPECT_EQ(all.memoryFile, "m.txt");
  EXPECT_TRUE(all.cable);
  EXPECT_EQ(all.replyDelay, 2500us);
  EXPECT_EQ(all.fault, sim::Fault::ResendRequests);
  EXPECT_EQ(all.faultCount, 11);
  EXPECT_EQ(all.logFile, "l.txt");

  EXPECT_EQ(Parse({"--fault", "no-answer"}).faultCount, 1);
  EXPECT_EQ(Parse({"--fault", "no-answer:0"}).faultCount, 0);
  ::setenv("RAVLIN_MIDI_API", "alsa", 1);
  EXPECT_EQ(Parse({}).api, "alsa");
  EXPECT_EQ(Parse({"--api", "jack"}).api, "jack");
  ::unsetenv("RAVLIN_MIDI_API");
}

TEST(SimOptions, WrongCommandLinesAreRefused) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"--fault", "slow"},
           {"--fault", "resend:"},
           {"--fault", "resend:-1"},
           {"--type", "16384"},
           {"--type", "two"},
           {"--reply-delay", "-1"},
           {"--reply-delay", "nan"},
           {"--name", ""},
           {"--bogus"},
           {"stray"},
       }) {
    EXPECT_THROW(Parse(arguments), std::invalid_argument) << arguments.front();
  }
}

TEST(MessageLog, LineHasUtcTimeDirectionAndHex) {
  const auto at = std::chrono::system_clock::time_point(1'700'000'000'123'456us);
  EXPECT_EQ(MessageLog::Line(at, "in ", {0xF0, 0x44, 0x0A, 0xF7}),
            "2023-11-14T22:13:20.123456Z in  F0 44 0A F7\n");
}

}  // namespace
