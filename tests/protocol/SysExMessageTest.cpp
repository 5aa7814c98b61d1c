// The message layout as the protocol object builds and reads it, without an
// exchange: the header setters, decoding of parameter answers and of data
// blocks left in the device's reply.
#include <gtest/gtest.h>

#include "ProtocolLink.h"
#include "midi/QnException.h"
#include "protocol/SysExDecoder.h"

namespace {

using SysExMessageTest = ProtocolLink;

// A data block as the keyboard sends it.
Bytes Block(uint32_t number, const std::vector<uint16_t>& words, bool soundChecksum = true) {
  Bytes block{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x4A, 0x00, 0x4F, 0x00, 0x00};
  block.push_back(number & 0x7F);
  block.push_back((number >> 7) & 0x7F);
  block.push_back(static_cast<uint8_t>(words.size()));
  uint8_t sum = 0;
  for (uint16_t w : words) {
    for (uint8_t b : {w & 0x7F, (w >> 7) & 0x7F, (w >> 14) & 0x7F}) {
      block.push_back(b);
      sum = (sum + b) & 0x7F;
    }
  }
  block.push_back(static_cast<uint8_t>(((0x80 - sum) & 0x7F) ^ (soundChecksum ? 0 : 1)));
  block.push_back(0xF7);
  return block;
}

TEST_F(SysExMessageTest, ValueGroupsFollowTheWidth) {
  const std::pair<int, int> cases[] = {{1, 1},  {7, 1},  {8, 2},  {14, 2}, {15, 3},
                                       {21, 3}, {22, 4}, {28, 4}, {29, 5}, {32, 5}};
  for (auto [width, groups] : cases) EXPECT_EQ(QnSysEx::ValueGroups(width), groups) << width;
}

TEST_F(SysExMessageTest, TemplateStartsAsManufacturerHeaderAndSettersFillTheirBytes) {
  EXPECT_EQ(Sent(), (Bytes{0xF0, 0x44, 0, 0, 0, 0, 0, 0, 0, 0}));

  SysExAddress address;
  address.category = 0x12;  // only the low four bits are the category
  address.itemNumber = 384;
  SysExParam param;
  param.number = 0x22;
  protocol_->SetModel(0x1101);
  protocol_->SetDevice(0x7F);
  protocol_->SetCommand(5);
  protocol_->SetAddress(&address);
  protocol_->SetParameter(&param);
  EXPECT_EQ(Sent(), (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x52, 0x22, 0x00, 0x00, 0x03}));

  // Command and category share byte 5 without disturbing each other.
  protocol_->SetCommand(1);
  EXPECT_EQ(Sent()[5], 0x12);
  address.category = 9;
  address.itemNumber = 0x3FFF;
  protocol_->SetAddress(&address);
  EXPECT_EQ(Sent()[5], 0x19);
  EXPECT_EQ(Sent()[8], 0x7F);
  EXPECT_EQ(Sent()[9], 0x7F);
  address.itemNumber = 0x4000;  // 14 bits only
  protocol_->SetAddress(&address);
  EXPECT_EQ(Sent()[8], 0x00);
  EXPECT_EQ(Sent()[9], 0x00);
}

class ParameterDecoding : public SysExMessageTest {
 protected:
  void Expect(uint8_t width, uint8_t indexCount) {
    param_ = SysExParam{};
    param_.width = width;
    param_.indexCount = indexCount;
    param_.value = 0xDEADBEEF;
    protocol_->SetParameter(&param_);
  }
  // An answer with the header, `indexCount` index bytes and `groups`.
  void Answer(const Bytes& groups, bool closed = true) {
    Bytes& reply = Device().Reply();
    reply = {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x22, 0x1F, 0x00, 0x00};
    reply.insert(reply.end(), param_.indexCount, 0x00);
    reply.insert(reply.end(), groups.begin(), groups.end());
    if (closed) reply.push_back(0xF7);
  }
};

TEST_F(ParameterDecoding, RebuildsTheLargestValueOfEveryWidth) {
  struct Case {
    uint8_t width;
    Bytes groups;
    uint32_t value;
  };
  const Case cases[] = {
      {7, {0x7F}, 0x7F},
      {8, {0x7F, 0x01}, 0xFF},
      {14, {0x7F, 0x7F}, 0x3FFF},
      {15, {0x7F, 0x7F, 0x01}, 0x7FFF},
      {21, {0x7F, 0x7F, 0x7F}, 0x1FFFFF},
      {22, {0x7F, 0x7F, 0x7F, 0x01}, 0x3FFFFF},
      {28, {0x7F, 0x7F, 0x7F, 0x7F}, 0xFFFFFFF},
      {29, {0x7F, 0x7F, 0x7F, 0x7F, 0x01}, 0x1FFFFFFF},
      {32, {0x7F, 0x7F, 0x7F, 0x7F, 0x0F}, 0xFFFFFFFF},
      {32, {0x54, 0x1C, 0x65, 0x1A, 0x05}, 0x53594E54},
  };
  for (const auto& c : cases) {
    Expect(c.width, 1);
    Answer(c.groups);
    EXPECT_TRUE(protocol_->DecodeParameter()) << int{c.width};
    EXPECT_EQ(param_.value, c.value) << int{c.width};
  }
}

TEST_F(ParameterDecoding, ReadsTheGroupsAfterAllIndexBytes) {
  Expect(14, 3);
  Answer({0x05, 0x01});
  ASSERT_TRUE(protocol_->DecodeParameter());
  EXPECT_EQ(param_.value, 0x85u);
}

TEST_F(ParameterDecoding, AnswerThatIsNoSysExIsNotTaken) {
  Expect(14, 1);
  Device().Reply().clear();
  EXPECT_FALSE(protocol_->DecodeParameter());
  Device().Reply() = {0x90, 0x3C, 0x40};
  EXPECT_FALSE(protocol_->DecodeParameter());
  EXPECT_EQ(param_.value, 0xDEADBEEF);
}

TEST_F(ParameterDecoding, AnswerEndingBeforeItsValueGroupsIsCodeThree) {
  auto expectShort = [this] {
    ExpectThrow<QnSysExException>([this] { protocol_->DecodeParameter(); },
                                  [](const QnSysExException& e) { EXPECT_EQ(e.Code(), 3); });
  };
  Expect(32, 1);
  Device().Reply() = {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x22, 0x1F, 0x00, 0xF7};
  expectShort();  // not even the index byte
  Answer({});
  expectShort();  // the index byte but no group
  Answer({0x7F, 0x7F, 0x7F, 0x7F});
  expectShort();  // the closing 0xF7 is no value group
  Answer({0x7F, 0x7F, 0x7F, 0x7F}, false);
  expectShort();

  Answer({0x01, 0x00, 0x00, 0x00, 0x00});
  EXPECT_TRUE(protocol_->DecodeParameter());
  EXPECT_EQ(param_.value, 1u);
}

TEST_F(ParameterDecoding, AnswerCutAtTheBufferEndStillHoldsItsValue) {
  Expect(32, 1);
  Answer({0x02, 0x01, 0x00, 0x00, 0x00}, false);
  Device().Reply().resize(MidiDev::kBufferSize, 0x00);
  ASSERT_TRUE(protocol_->DecodeParameter());
  EXPECT_EQ(param_.value, 0x82u);
}

class BlockDecoding : public SysExMessageTest {
 protected:
  static constexpr uint16_t kGuard = 0xA5A5;

  // A buffer of `words` words followed by guard words that must stay as
  // they are.
  void Buffer(uint32_t words) {
    buffer_.assign(words + 4, kGuard);
    address_ = SysExAddress{};
    address_.words = buffer_.data();
    address_.wordCount = words;
    protocol_->SetAddress(&address_);
  }
  bool Decode(const Bytes& block) {
    Device().Reply() = block;
    return protocol_->DecodeBlock();
  }
  bool Untouched(size_t from = 0) {
    for (size_t i = from; i < buffer_.size(); ++i)
      if (buffer_[i] != kGuard) return false;
    return true;
  }

  std::vector<uint16_t> buffer_;
};

TEST_F(BlockDecoding, StoresASoundBlockAtItsBlockNumber) {
  Buffer(131);
  const std::vector<uint16_t> words{0x1234, 0xFFFF, 0x0000};
  ASSERT_TRUE(Decode(Block(2, words)));
  EXPECT_EQ(protocol_->BytesInBlock(), 6);
  EXPECT_EQ(buffer_[128], 0x1234);
  EXPECT_EQ(buffer_[129], 0xFFFF);
  EXPECT_EQ(buffer_[130], 0x0000);
  EXPECT_TRUE(Untouched(131));
  EXPECT_EQ(buffer_[127], kGuard);
}

TEST_F(BlockDecoding, UnsoundBlockLeavesTheBufferAlone) {
  Buffer(64);
  const Bytes good = Block(0, {0x1234, 0x0042});
  EXPECT_FALSE(Decode(Block(0, {0x1234, 0x0042}, false)));  // checksum
  Bytes noEnd = good;
  noEnd.back() = 0x00;
  EXPECT_FALSE(Decode(noEnd));
  Bytes noStart = good;
  noStart[0] = 0x00;
  EXPECT_FALSE(Decode(noStart));
  Bytes handshake = good;
  handshake[5] = 0x7A;
  EXPECT_FALSE(Decode(handshake));
  EXPECT_FALSE(Decode({0xF0, 0xF7}));
  EXPECT_FALSE(Decode({}));
  EXPECT_TRUE(Untouched());
  EXPECT_EQ(protocol_->BytesInBlock(), 0);
}

TEST_F(BlockDecoding, DataBytesNotInWholeWordsAreUnsound) {
  Buffer(64);
  Bytes block = Block(0, {0x0101});
  // One more data byte of 0 keeps the checksum right.
  block.insert(block.end() - 2, 0x00);
  EXPECT_FALSE(Decode(block));
  block.insert(block.end() - 2, 0x00);
  EXPECT_FALSE(Decode(block));
  EXPECT_TRUE(Untouched());
}

TEST_F(BlockDecoding, BlockReachingPastTheItemIsUnsound) {
  Buffer(65);
  EXPECT_FALSE(Decode(Block(1, {0x1111, 0x2222})));
  EXPECT_FALSE(Decode(Block(2, {0x1111})));
  // Block 1024 would wrap onto the first word when kept to 16 bits.
  EXPECT_FALSE(Decode(Block(1024, {0x1111})));
  EXPECT_TRUE(Untouched());
  EXPECT_TRUE(Decode(Block(1, {0x3333})));
  EXPECT_EQ(buffer_[64], 0x3333);
  EXPECT_TRUE(Untouched(65));
}

TEST_F(BlockDecoding, BlockWithoutABufferIsUnsound) {
  address_ = SysExAddress{};
  address_.wordCount = 64;  // but no words
  protocol_->SetAddress(&address_);
  EXPECT_FALSE(Decode(Block(0, {0x1111})));
}

// The monitor's words for each kind of message, both ways.
TEST(SysExDecoder, NamesEveryMessageOfTheLink) {
  using D = SysExDecoder::Direction;
  SysExDecoder decoder;
  const auto to = [&](const Bytes& m) { return decoder.Meaning(m, D::ToKeyboard); };
  const auto from = [&](const Bytes& m) { return decoder.Meaning(m, D::FromKeyboard); };

  EXPECT_EQ(to({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x22, 0x1F, 0x00, 0x00, 0x00, 0xF7}),
            "read parameter 0x22 (free bytes)");
  EXPECT_EQ(
      from({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x05, 0x01, 0xF7}),
      "value of parameter 0x00 (keyboard type): 133");
  EXPECT_EQ(
      to({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x00, 0x20, 0x07, 0x00, 0x00, 0x00, 0x01, 0x00, 0xF7}),
      "write parameter 0x20 (delete song): 1");
  EXPECT_EQ(from({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x12, 0x60, 0x1F, 0x00, 0x03, 0x00, 0x6E, 0x42,
                  0x25, 0x03, 0x05, 0xF7}),
            "value of parameter 0x60 (tone name 1-4), user tone 0: \"Pian\"");
  EXPECT_EQ(to({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x52, 0x22, 0x00, 0x00, 0x03, 0x00, 0xF7}),
            "request data: user tone 0");
  EXPECT_EQ(to({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x5C, 0x00, 0x00, 0x19, 0x00, 0x00, 0xF7}),
            "request data: registration bank 1 slot 2");

  // A song's size, once read, gives a download's block count; an upload's
  // block count of a song is not known.
  EXPECT_EQ(from({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x26, 0x1F, 0x00, 0x00, 0x01, 0x1C, 0x06,
                  0x00, 0x00, 0x00, 0xF7}),
            "value of parameter 0x26 (song size), song 1: 796");
  Bytes block = Block(2, std::vector<uint16_t>(64, 0x1234));
  block[5] = 0x4A;
  block[8] = 1;
  EXPECT_EQ(from(block), "data block 2 of 7: 64 words (128 bytes), checksum right");
  EXPECT_EQ(to(block), "data block 2: 64 words (128 bytes), checksum right");
  block = Block(0, {0x1234}, false);
  block[5] = 0x42;
  block[8] = 0x01;
  block[9] = 0x03;
  EXPECT_EQ(from(block), "data block 0 of 1: 1 words (2 bytes), checksum wrong");

  const std::pair<uint8_t, const char*> program[] = {{0, "end of data"},
                                                     {1, "block received, send the next one"},
                                                     {3, "send the block again"},
                                                     {2, "unknown code 2"}};
  for (auto [code, text] : program) {
    EXPECT_EQ(to({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x72, 0x00, 0x00, 0x00, 0x03, code, 0xF7}),
              std::string("handshake: ") + text);
  }
  const std::pair<uint8_t, const char*> keyboard[] = {
      {0x10, "end of data"},       {1, "accepted"},  {2, "rejected"},
      {3, "send the block again"}, {15, "error 15"}, {5, "unknown code 5"}};
  for (auto [code, text] : keyboard) {
    EXPECT_EQ(from({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x72, 0x00, 0x00, 0x00, 0x03, code, 0xF7}),
              std::string("handshake: ") + text);
  }

  EXPECT_EQ(from({0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0x00, 0x00, 0x00, 0xF7}),
            "foreign SysEx");
  EXPECT_EQ(from({0x90, 0x3C, 0x40}), "not SysEx");
  EXPECT_EQ(from({}), "not SysEx");
  EXPECT_EQ(from({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x05}),
            "value of parameter 0x00 (keyboard type): value cut short (no end byte)");
  EXPECT_EQ(SysExDecoder::Hex(Bytes{0xF0, 0x0A, 0xF7}.data(), 3), "F0 0A F7");

  // In Japanese the verb follows what it acts on; values and names stay,
  // and a song's size read gives the block count as in English.
  SysExDecoder japanese(MsgStr::Language::Japanese);
  EXPECT_EQ(
      japanese.Meaning({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x22, 0x1F, 0x00, 0x00, 0x00, 0xF7},
                       D::ToKeyboard),
      "パラメータ 0x22 (空きバイト数) の読み出し");
  EXPECT_EQ(japanese.Meaning({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x12, 0x60, 0x1F, 0x00, 0x03, 0x00,
                              0x6E, 0x42, 0x25, 0x03, 0x05, 0xF7},
                             D::FromKeyboard),
            "パラメータ 0x60 (音色名 1-4)、ユーザー音色 0 の値: \"Pian\"");
  japanese.Meaning({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x26, 0x1F, 0x00, 0x00, 0x01, 0x1C, 0x06,
                    0x00, 0x00, 0x00, 0xF7},
                   D::FromKeyboard);
  block = Block(2, std::vector<uint16_t>(64, 0x1234));
  block[5] = 0x4A;
  block[8] = 1;
  EXPECT_EQ(japanese.Meaning(block, D::FromKeyboard),
            "データブロック 2/7: 64 ワード (128 バイト)、チェックサム正常");
  EXPECT_EQ(japanese.Meaning({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x72, 0x00, 0x00, 0x00, 0x03, 1, 0xF7},
                             D::FromKeyboard),
            "ハンドシェイク: 受理");
}

}  // namespace
