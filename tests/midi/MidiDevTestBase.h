#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "midi/MidiDev.h"
#include "midi/QnException.h"
#include "support/BuiltInKeyboard.h"
#include "support/TestClock.h"

using Bytes = std::vector<uint8_t>;

// Read parameter 0x00 of the keyboard: its type, 14 bits in two groups.
inline const Bytes kReadType = {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10,
                                0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7};

// A fresh device on a fresh built-in keyboard, timed by a TestClock.
class MidiDevTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dev = MidiDev::Instance();
    dev->SetClock(clock);
  }
  void TearDown() override { delete MidiDev::Instance(); }

  void Open() {
    dev->OpenIn(static_cast<int>(kbd.Input()));
    dev->OpenOut(static_cast<int>(kbd.Output()));
  }

  static Task<void> OneExchange(MidiDev& device) {
    MidiDev::Exchanging exchanging = device.Exchange();
    co_await exchanging;
  }
  // One exchange of the request already set, run to its end.
  void Exchange() { RunToEnd(OneExchange(*dev)); }

  Bytes Transact(const Bytes& request, uint8_t waitReply = 1) {
    dev->Request() = request;
    dev->SetWaitReply(waitReply);
    Exchange();
    return dev->Reply();
  }

  template <class Call>
  static std::optional<MidiDevException> Raised(Call&& call) {
    try {
      call();
    } catch (const MidiDevException& e) {
      return e;
    }
    return std::nullopt;
  }

  std::optional<MidiDevException> FailedTransaction(const Bytes& request = kReadType) {
    return Raised([&] { Transact(request); });
  }

  // The answer to a type read carries the type in the groups at 11 and 12.
  static int TypeOf(const Bytes& reply) {
    return reply.size() >= 13 ? reply[11] + (reply[12] << 7) : -1;
  }

  BuiltInKeyboard kbd;
  TestClock clock;
  MidiDev* dev = nullptr;
};
