// Item data in blocks through the real MIDI device and the built-in keyboard:
// byte-exact round trips, the block layout, and every way the keyboard can
// make a transfer fail.
#include <gtest/gtest.h>

#include "ProtocolLink.h"
#include "midi/QnException.h"
#include "support/TestClock.h"

namespace {

const sim::SlotId kSong0{sim::SlotKind::Song, 0, 0};

class BlockTransferTest : public ProtocolLink {
 protected:
  void SetUp() override {
    ProtocolLink::SetUp();
    Device().SetClock(clock_);
    recorder_ = std::make_unique<Recorder>(*protocol_);
    protocol_->Attach(recorder_.get());
  }

  // Empties the song and rhythm memory so that one song may take all of it.
  void EmptySongMemory() {
    for (int s = 0; s < 2; ++s) Keyboard().Clear({sim::SlotKind::Song, 0, s});
    for (int r = 0; r < 4; ++r) Keyboard().Clear({sim::SlotKind::Rhythm, 0, r});
  }

  void Upload(const Bytes& data) {
    std::vector<uint16_t> words = ToWords(data);
    Send(kSong, 0, words, static_cast<uint32_t>(data.size()));
  }

  Bytes Download(size_t size) {
    std::vector<uint16_t> words(size / 2);
    Receive(kSong, 0, words);
    return ToBytes(words);
  }

  // After a failure the next transactions run as if nothing had happened.
  void ExpectCleanNextTransfer() {
    clock_.RunNormally();
    BuiltInKeyboard::Settle();
    Keyboard().SetFault(sim::Fault::None);
    const Bytes data = Pattern(300, 7);
    EmptySongMemory();
    Upload(data);
    EXPECT_EQ(Keyboard().Item(kSong0), data);
    EXPECT_EQ(Download(data.size()), data);
  }

  template <class E>
  void ExpectFailure(const std::function<void()>& transfer, int code) {
    ExpectThrow<E>(transfer, [code](const E& e) { EXPECT_EQ(e.Code(), code); });
  }

  TestClock clock_;
  std::unique_ptr<Recorder> recorder_;
};

class RoundTrip : public BlockTransferTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(RoundTrip, SongComesBackByteForByte) {
  const size_t size = GetParam();
  const Bytes data = Pattern(size);
  EmptySongMemory();

  Upload(data);
  EXPECT_EQ(address_.bytesRemaining, 0u);
  EXPECT_EQ(Keyboard().Item(kSong0), data);
  EXPECT_EQ(Keyboard().FreeBytes(), sim::Trv408::kSongRhythmMemory - size);
  // The keyboard took every block at once; each accepted block is one step.
  std::vector<int> steps;
  for (size_t left = size; left > 0; left -= std::min<size_t>(left, 128))
    steps.push_back(static_cast<int>(std::min<size_t>(left, 128)));
  EXPECT_EQ(recorder_->bytesInBlock, steps);
  // Whatever was sent, the transfer closes with the end-of-data handshake.
  EXPECT_EQ(Sent(),
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x7A, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7}));

  recorder_->bytesInBlock.clear();
  EXPECT_EQ(Download(size), data);
  EXPECT_EQ(recorder_->bytesInBlock, steps);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip, ::testing::Values(0, 2, 128, 130, 21504));

TEST_F(BlockTransferTest, BlocksCarryWordsInThreeBytesAndAChecksum) {
  struct Case {
    uint16_t word;
    Bytes bytes;
    uint8_t checksum;
  };
  const Case cases[] = {
      {0x1234, {0x34, 0x24, 0x00}, 0x28},
      {0xFFFF, {0x7F, 0x7F, 0x03}, 0x7F},
      {0x2040, {0x40, 0x40, 0x00}, 0x00},  // sum a multiple of 128
  };
  for (const auto& c : cases) {
    recorder_->requests.clear();
    std::vector<uint16_t> words{c.word};
    Send(kSong, 1, words, 2);
    ASSERT_EQ(recorder_->requests.size(), 1u);
    Bytes block = recorder_->requests[0];
    ASSERT_EQ(block.size(), 18u);
    block[6] = 0;  // whatever the message before left there
    Bytes expected{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x4A, 0x00, 0x4F, 0x01, 0x00, 0x00, 0x00, 0x01};
    expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
    expected.push_back(c.checksum);
    expected.push_back(0xF7);
    EXPECT_EQ(block, expected);
  }

  recorder_->requests.clear();
  EmptySongMemory();
  Upload(Pattern(130));
  ASSERT_EQ(recorder_->requests.size(), 2u);
  EXPECT_EQ(recorder_->requests[0].size(), 207u);
  EXPECT_EQ(recorder_->requests[0][12], 64);
  EXPECT_EQ(recorder_->requests[1][10], 1);  // block number
  EXPECT_EQ(recorder_->requests[1][12], 1);
}

TEST_F(BlockTransferTest, RequestAndHandshakesOfAReceive) {
  // Byte 6 of a request for data is what the message before left there.
  Read(kTone, 384, 0x60, 32);
  clock_.ExpireWhenQuiet(BuiltInKeyboard::QuietProbe());
  Keyboard().SetFault(sim::Fault::NoAnswer);
  std::vector<uint16_t> words(30);
  ExpectFailure<MidiDevException>([&] { Receive(kTone, 384, words); }, 5);
  EXPECT_EQ(Sent(),
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x52, 0x60, 0x00, 0x00, 0x03, 0x00, 0xF7}));

  clock_.RunNormally();
  recorder_->requests.clear();
  recorder_->bytesInBlock.clear();
  Receive(kTone, 384, words);
  EXPECT_EQ(ToBytes(words), Keyboard().Item({sim::SlotKind::Tone, 0, 0}));
  ASSERT_EQ(recorder_->requests.size(), 1u);
  EXPECT_EQ(recorder_->requests[0],
            (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x72, 0x00, 0x00, 0x00, 0x03, 0x01, 0xF7}));
  EXPECT_EQ(recorder_->bytesInBlock, std::vector<int>{60});
}

TEST_F(BlockTransferTest, OddSizeSendsItsLastByteInAWordOfItsOwn) {
  EmptySongMemory();
  const Bytes data{0x11, 0x22, 0x33};
  Upload(data);
  EXPECT_EQ(address_.bytesRemaining, 0u);
  EXPECT_EQ(Keyboard().Item(kSong0), (Bytes{0x11, 0x22, 0x33, 0x00}));
  EXPECT_EQ(recorder_->bytesInBlock, std::vector<int>{4});

  // A buffer that does not hold the last word is not read past its end.
  std::vector<uint16_t> words{0x1122};
  Send(kSong, 0, words, 3);
  EXPECT_EQ(Keyboard().Item(kSong0), (Bytes{0x11, 0x22, 0x00, 0x00}));
}

TEST_F(BlockTransferTest, TenRequestsToSendAgainAreHonoured) {
  EmptySongMemory();
  const Bytes data = Pattern(260);
  // Six on the first block, four on the second: the allowance is per item.
  Keyboard().SetFault(sim::Fault::ResendRequests, 6);
  recorder_->tamper = [this](Bytes&, int step) {
    if (step == 1) Keyboard().SetFault(sim::Fault::ResendRequests, 4);
  };
  Upload(data);
  EXPECT_EQ(Keyboard().Item(kSong0), data);
  EXPECT_EQ(recorder_->requests.size(), 3u);
}

TEST_F(BlockTransferTest, EleventhRequestToSendAgainIsCodeOne) {
  EmptySongMemory();
  Keyboard().SetFault(sim::Fault::ResendRequests, 6);
  recorder_->tamper = [this](Bytes&, int step) {
    if (step == 1) Keyboard().SetFault(sim::Fault::ResendRequests, 5);
  };
  ExpectFailure<QnSysExException>([this] { Upload(Pattern(260)); }, 1);
  recorder_->tamper = nullptr;
  ExpectCleanNextTransfer();
}

// The keyboard accepts block 0 twice over and asks for block 1 again. The
// copy waits in the input buffer when block 1 goes out; taken for block 1's
// answer, it puts every later answer one behind, and blocks go out that the
// keyboard never asked for.
TEST_F(BlockTransferTest, DuplicateAnswerIsNotTakenForTheNextBlocks) {
  EmptySongMemory();
  BuiltInKeyboard::Link().SetTiming({true, {}});  // the copy comes after the answer
  std::vector<Bytes> received;
  Keyboard().SetMonitor([&received](const Bytes& m) { received.push_back(m); });
  const Bytes data = Pattern(300, 9);
  Keyboard().SetFault(sim::Fault::DuplicateAnswer);
  recorder_->tamper = [](Bytes&, int step) {
    if (step == 1) BuiltInKeyboard::Settle();
  };
  Upload(data);
  BuiltInKeyboard::Settle();
  Keyboard().SetMonitor(nullptr);
  EXPECT_EQ(Keyboard().Item(kSong0), data);
  std::vector<int> blocks;
  for (const Bytes& m : received) {
    if (m.size() > 12 && (m[5] >> 4) == QnSysEx::kSendBlocks) blocks.push_back(m[10]);
  }
  EXPECT_EQ(blocks, (std::vector<int>{0, 1, 1, 2}));
  EXPECT_EQ(recorder_->bytesInBlock, (std::vector<int>{128, 128, 44}));
}

TEST_F(BlockTransferTest, KeyboardAnswersThatEndAnUpload) {
  const std::pair<sim::Fault, int> cases[] = {
      {sim::Fault::Reject, 0},
      {sim::Fault::Error15, 1},
      {sim::Fault::UnknownCode, 2},
  };
  for (auto [fault, code] : cases) {
    SCOPED_TRACE(sim::FaultName(fault));
    EmptySongMemory();
    Keyboard().SetFault(fault);
    ExpectFailure<QnSysExException>([this] { Upload(Pattern(300)); }, code);
    ExpectCleanNextTransfer();
  }
  // Another maker's message before an answer is a stray, never the answer:
  // the upload goes on and completes.
  EmptySongMemory();
  Keyboard().SetFault(sim::Fault::ForeignFirst);
  Upload(Pattern(300));
  EXPECT_EQ(Keyboard().Item(kSong0), Pattern(300));
}

TEST_F(BlockTransferTest, SilentKeyboardEndsATransferWithATimeout) {
  clock_.ExpireWhenQuiet(BuiltInKeyboard::QuietProbe());
  EmptySongMemory();
  Keyboard().SetFault(sim::Fault::NoAnswer);
  ExpectFailure<MidiDevException>([this] { Upload(Pattern(300)); }, 5);
  ExpectCleanNextTransfer();

  clock_.ExpireWhenQuiet(BuiltInKeyboard::QuietProbe());
  Keyboard().SetFault(sim::Fault::NoAnswer);
  ExpectFailure<MidiDevException>([this] { Download(300); }, 5);
  ExpectCleanNextTransfer();
}

TEST_F(BlockTransferTest, BadChecksumIsAskedForAgain) {
  EmptySongMemory();
  const Bytes data = Pattern(300, 3);
  Keyboard().SetItem(kSong0, data);
  Keyboard().SetFault(sim::Fault::BadChecksum);
  EXPECT_EQ(Download(data.size()), data);
  const Bytes sendAgain{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x7A, 0x00, 0x00, 0x00, 0x00, 0x03, 0xF7};
  ASSERT_FALSE(recorder_->requests.empty());
  EXPECT_EQ(recorder_->requests[0], sendAgain);
  EXPECT_EQ(recorder_->bytesInBlock.front(), 0);  // nothing taken from that answer
}

TEST_F(BlockTransferTest, UnsoundAnswersInARowAreBounded) {
  EmptySongMemory();
  const Bytes data = Pattern(300, 4);
  Keyboard().SetItem(kSong0, data);
  Keyboard().SetFault(sim::Fault::BadChecksum, QnSysEx::kUnsoundLimit - 1);
  EXPECT_EQ(Download(data.size()), data);

  Keyboard().SetFault(sim::Fault::BadChecksum, QnSysEx::kUnsoundLimit);
  ExpectFailure<QnSysExException>([&] { Download(data.size()); }, 1);
  ExpectCleanNextTransfer();
}

TEST_F(BlockTransferTest, BlockBeyondTheBufferIsNeverWritten) {
  EmptySongMemory();
  Keyboard().SetItem(kSong0, Pattern(130));
  std::vector<uint16_t> words(64 + 8, 0xA5A5);
  Begin(QnSysEx::kReceiveBlocks, kSong, 0);
  address_.words = words.data();
  address_.wordCount = 64;
  ExpectFailure<QnSysExException>([this] { RunToEnd(protocol_->Transact()); }, 1);
  for (size_t i = 64; i < words.size(); ++i) EXPECT_EQ(words[i], 0xA5A5) << i;
  ExpectCleanNextTransfer();
}

TEST_F(BlockTransferTest, KeyboardHandshakesDuringAReceive) {
  EmptySongMemory();
  const Bytes data = Pattern(300, 5);
  Keyboard().SetItem(kSong0, data);
  auto keyboardSays = [this](uint8_t code) {
    recorder_->requests.clear();
    recorder_->bytesInBlock.clear();
    recorder_->tamper = [code](Bytes& reply, int step) {
      if (step == 1)
        reply = {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x7A, 0x00, 0x00, 0x00, 0x00, code, 0xF7};
    };
  };
  // A code the transfer does not know: the block is asked for again.
  keyboardSays(5);
  EXPECT_EQ(Download(data.size()), data);
  EXPECT_EQ(recorder_->requests[1][10], 3);

  keyboardSays(2);  // the keyboard gives up
  ExpectFailure<QnSysExException>([&] { Download(data.size()); }, 1);
  recorder_->tamper = nullptr;
  ExpectCleanNextTransfer();
}

TEST_F(BlockTransferTest, ForeignMessageDuringAReceiveIsPassedOver) {
  EmptySongMemory();
  const Bytes data = Pattern(300, 8);
  Keyboard().SetItem(kSong0, data);
  Keyboard().SetFault(sim::Fault::ForeignFirst);
  EXPECT_EQ(Download(data.size()), data);
  ExpectCleanNextTransfer();
}

}  // namespace
