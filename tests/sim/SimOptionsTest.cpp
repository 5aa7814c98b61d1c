#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
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

TEST(MessageLog, LinesAreTheProgramsLogFormatFromTheKeyboardsSide) {
  const std::string path = testing::TempDir() + "/sim-message-log.txt";
  std::remove(path.c_str());
  {
    MessageLog log;
    ASSERT_TRUE(log.Open(path));
    const MessageLog::Time at{1'000'000us};
    log.In(at, {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7});
    log.Out(at + 1'234us, {0xF0, 0x43, 0x0A, 0xF7});
  }
  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(
      text,
      "0.000000\t>\tF0 44 11 01 7F 10 00 0D 00 00 00 F7\tread parameter 0x00 (keyboard type)\n"
      "0.001234\t<\tF0 43 0A F7\tforeign SysEx\n");
}

}  // namespace
