#include <gtest/gtest.h>

#include "ProgramSide.h"
#include "sim/Fault.h"
#include "sim/Trv408.h"

using program::Bytes;
using sim::Fault;
using sim::Trv408;
using Kind = Trv408::Kind;

namespace {

int UploadAnswer(Trv408& keyboard, int number = 0) {
  auto answers = keyboard.Receive(program::Block(2, 384, number, std::vector<uint16_t>(30, 7)));
  EXPECT_EQ(answers.size(), 1u);
  return answers.empty() ? -1 : program::HandshakeCode(answers[0]);
}

TEST(Fault, NamesRoundTrip) {
  const std::vector<std::pair<Fault, std::string>> names = {
      {Fault::NoAnswer, "no-answer"},       {Fault::BadChecksum, "bad-checksum"},
      {Fault::ResendRequests, "resend"},    {Fault::Reject, "reject"},
      {Fault::Error15, "error15"},          {Fault::UnknownCode, "unknown-code"},
      {Fault::LongAnswer, "long-answer"},   {Fault::ForeignFirst, "foreign-first"},
      {Fault::StallOutput, "stall-output"}, {Fault::DuplicateAnswer, "duplicate-answer"},
      {Fault::HugeSize, "huge-size"},       {Fault::None, "none"}};
  for (const auto& [fault, name] : names) {
    EXPECT_EQ(sim::FaultName(fault), name);
    EXPECT_EQ(sim::ParseFault(name), fault);
  }
  EXPECT_FALSE(sim::ParseFault("No-Answer"));
  EXPECT_FALSE(sim::ParseFault(""));
  for (const auto& [fault, name] : names) {
    EXPECT_EQ(sim::FaultNames().find(name) != std::string::npos, fault != Fault::None) << name;
  }
}

TEST(Fault, NoAnswerSilencesTheNextRequestsThenWearsOff) {
  Trv408 keyboard;
  keyboard.SetFault(Fault::NoAnswer, 2);
  EXPECT_TRUE(keyboard.Receive(program::Read(0, 0, 0x00, 14, 0)).empty());
  // A write expects no answer and is carried out; it does not use up the fault.
  keyboard.Receive(program::Write(0x21, 8, 0));
  EXPECT_TRUE(keyboard.Item({Kind::Rhythm, 0, 0}).empty());
  EXPECT_TRUE(keyboard.Receive(program::RequestData(2, 384)).empty());
  EXPECT_EQ(keyboard.CurrentFault(), Fault::None);
  EXPECT_EQ(keyboard.Receive(program::Read(0, 0, 0x00, 14, 0)).size(), 1u);

  // A count of 0 keeps the keyboard silent for good.
  keyboard.SetFault(Fault::NoAnswer, 0);
  for (int i = 0; i < 20; ++i)
    EXPECT_TRUE(keyboard.Receive(program::Read(0, 0, 0x22, 32, 0)).empty());
  EXPECT_EQ(keyboard.CurrentFault(), Fault::NoAnswer);
  keyboard.SetFault(Fault::None);
  EXPECT_EQ(keyboard.Receive(program::Read(0, 0, 0x22, 32, 0)).size(), 1u);
}

TEST(Fault, BadChecksumSpoilsSentBlocksUntilAskedAgain) {
  Trv408 keyboard;
  keyboard.SetFault(Fault::BadChecksum, 2);
  auto answers = keyboard.Receive(program::RequestData(10, 0));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_FALSE(program::SoundBlock(answers[0]));
  answers = keyboard.Receive(program::Handshake(10, 0, 3));
  EXPECT_FALSE(program::SoundBlock(answers.at(0)));
  answers = keyboard.Receive(program::Handshake(10, 0, 3));
  EXPECT_TRUE(program::SoundBlock(answers.at(0)));
  EXPECT_EQ(program::BlockNumber(answers[0]), 0);
  EXPECT_EQ(keyboard.CurrentFault(), Fault::None);
}

TEST(Fault, ResendRequestsAreAnsweredWithThreeThenAccepted) {
  Trv408 keyboard;
  keyboard.SetFault(Fault::ResendRequests, 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(UploadAnswer(keyboard), 3);
  EXPECT_EQ(UploadAnswer(keyboard), 1);
  keyboard.Receive(program::Handshake(2, 384, 0));
  EXPECT_EQ(keyboard.Item({Kind::Tone, 0, 0}), program::FileOrder(std::vector<uint16_t>(30, 7)));
}

TEST(Fault, UploadBlockAnswersRejectErrorAndUnknownCode) {
  for (auto [fault, code] : {std::pair{Fault::Reject, 2}, std::pair{Fault::Error15, 15},
                             std::pair{Fault::UnknownCode, 9}}) {
    Trv408 keyboard;
    const auto before = keyboard.Item({Kind::Tone, 0, 0});
    keyboard.SetFault(fault);
    EXPECT_EQ(UploadAnswer(keyboard), code) << sim::FaultName(fault);
    // The failed upload leaves the slot alone; the next one goes through.
    keyboard.Receive(program::Handshake(2, 384, 0));
    EXPECT_EQ(keyboard.Item({Kind::Tone, 0, 0}), before);
    EXPECT_EQ(UploadAnswer(keyboard), 1);
  }
}

TEST(Fault, LongAnswerOverrunsTheInputBufferButKeepsTheValue) {
  Trv408 keyboard;
  keyboard.SetFault(Fault::LongAnswer);
  auto answers = keyboard.Receive(program::Read(0, 0, 0x22, 32, 0));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_GT(answers[0].size(), 256u);
  EXPECT_EQ(answers[0].back(), 0xF7);
  EXPECT_EQ(program::Value(answers[0], 32), keyboard.FreeBytes());
  EXPECT_EQ(keyboard.Receive(program::Read(0, 0, 0x22, 32, 0)).at(0).size(), 17u);
}

TEST(Fault, ForeignMessageComesBeforeEachAnswer) {
  Trv408 keyboard;
  keyboard.SetFault(Fault::ForeignFirst, 2);
  auto answers = keyboard.Receive(program::Read(0, 0, 0x00, 14, 0));
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].front(), 0xF0);
  EXPECT_NE(answers[0][1], 0x44);
  EXPECT_EQ(answers[0].back(), 0xF7);
  EXPECT_EQ(answers[1].size(), 14u);
  // Messages without an answer get no foreign message either.
  EXPECT_TRUE(keyboard.Receive(program::Write(0x20, 8, 1)).empty());
  answers = keyboard.Receive(program::RequestData(2, 385));
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_TRUE(program::SoundBlock(answers[1]));
  EXPECT_EQ(keyboard.Receive(program::Handshake(2, 385, 1)).size(), 1u);
}

TEST(Fault, DuplicateAnswerThenAsksForTheNextBlockAgain) {
  Trv408 keyboard;
  keyboard.SetFault(Fault::DuplicateAnswer);
  const std::vector<uint16_t> first(64, 0x1234);
  const std::vector<uint16_t> second(2, 0x5678);
  auto answers = keyboard.Receive(program::Block(10, 1, 0, first));
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(program::HandshakeCode(answers[0]), 1);
  EXPECT_EQ(answers[1], answers[0]);
  // The next block is asked for again, once, and then taken.
  answers = keyboard.Receive(program::Block(10, 1, 1, second));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(program::HandshakeCode(answers[0]), 3);
  EXPECT_EQ(program::HandshakeCode(keyboard.Receive(program::Block(10, 1, 1, second)).at(0)), 1);
  keyboard.Receive(program::Handshake(10, 1, 0));
  std::vector<uint16_t> all = first;
  all.insert(all.end(), second.begin(), second.end());
  EXPECT_EQ(keyboard.Item({Kind::Song, 0, 1}), program::FileOrder(all));

  // Any other answer is sent twice as well.
  keyboard.SetFault(Fault::DuplicateAnswer);
  answers = keyboard.Receive(program::Read(0, 0, 0x22, 32, 0));
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[1], answers[0]);
  EXPECT_EQ(keyboard.Receive(program::Read(0, 0, 0x22, 32, 0)).size(), 1u);
}

TEST(Fault, HugeSizeIsReportedForSongsAndRhythmsOnly) {
  Trv408 keyboard;
  const uint32_t song = static_cast<uint32_t>(keyboard.Item({Kind::Song, 0, 0}).size());
  keyboard.SetFault(Fault::HugeSize, 2);
  EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x22, 32, 0), keyboard.FreeBytes());
  EXPECT_GT(program::ReadValue(keyboard, 0, 0, 0x26, 32, 0), Trv408::kSongRhythmMemory);
  EXPECT_GT(program::ReadValue(keyboard, 0, 0, 0x23, 32, 3), Trv408::kSongRhythmMemory);
  EXPECT_EQ(program::ReadValue(keyboard, 0, 0, 0x26, 32, 0), song);
}

}  // namespace
