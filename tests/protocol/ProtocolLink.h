#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "midi/MidiDev.h"
#include "protocol/Observer.h"
#include "protocol/QnSysEx.h"
#include "support/BuiltInKeyboard.h"

using Bytes = std::vector<uint8_t>;

// Item data in file order (words high byte first) as the words a transfer
// works on; an odd last byte becomes the high byte of a word of its own.
inline std::vector<uint16_t> ToWords(const Bytes& data) {
  std::vector<uint16_t> words((data.size() + 1) / 2);
  for (size_t i = 0; i < data.size(); ++i)
    words[i / 2] |= static_cast<uint16_t>(data[i] << (i % 2 == 0 ? 8 : 0));
  return words;
}

inline Bytes ToBytes(const std::vector<uint16_t>& words) {
  Bytes data;
  for (uint16_t w : words) {
    data.push_back(static_cast<uint8_t>(w >> 8));
    data.push_back(static_cast<uint8_t>(w & 0xFF));
  }
  return data;
}

// Deterministic item contents of any size.
inline Bytes Pattern(size_t size, uint8_t seed = 1) {
  Bytes data(size);
  uint32_t x = seed * 2654435761u + 12345u;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return data;
}

// Watches the protocol object: what each notification saw, and a hook that
// may stand in for a keyboard that misbehaves by replacing the answer the
// protocol object is about to look at.
class Recorder : public Observer {
 public:
  explicit Recorder(QnSysEx& protocol) : protocol_(protocol) {}
  void Update() override {
    bytesInBlock.push_back(protocol_.BytesInBlock());
    requests.push_back(MidiDev::Instance()->Request());
    if (tamper) tamper(MidiDev::Instance()->Reply(), static_cast<int>(bytesInBlock.size()));
  }

  std::vector<int> bytesInBlock;
  std::vector<Bytes> requests;
  std::function<void(Bytes& reply, int notification)> tamper;

 private:
  QnSysEx& protocol_;
};

// The protocol object on the real MIDI device, joined to the built-in
// keyboard simulator; both are deleted after each test.
class ProtocolLink : public ::testing::Test {
 protected:
  static constexpr uint8_t kGeneral = 0;
  static constexpr uint8_t kTone = 2;
  static constexpr uint8_t kDsp = 9;
  static constexpr uint8_t kSong = 10;
  static constexpr uint8_t kRhythm = 11;
  static constexpr uint8_t kRegistration = 12;

  void SetUp() override { protocol_ = QnSysEx::Instance(); }
  void TearDown() override { delete protocol_; }

  MidiDev& Device() { return *MidiDev::Instance(); }
  sim::Trv408& Keyboard() { return BuiltInKeyboard::Keyboard(); }
  const Bytes& Sent() { return Device().Request(); }

  void Begin(uint8_t command, uint8_t category, uint32_t item) {
    protocol_->OpenIn(static_cast<int>(BuiltInKeyboard::Input()));
    protocol_->OpenOut(static_cast<int>(BuiltInKeyboard::Output()));
    protocol_->SetModel(QnSysEx::kModelCode);
    protocol_->SetDevice(QnSysEx::kDeviceNumber);
    protocol_->SetCommand(command);
    address_ = SysExAddress{};
    address_.category = category;
    address_.itemNumber = item;
    protocol_->SetAddress(&address_);
  }

  void Parameter(uint8_t number, uint8_t width, uint8_t index, uint32_t value = 0) {
    param_ = SysExParam{};
    param_.number = number;
    param_.width = width;
    param_.index[0] = index;
    param_.value = value;
    protocol_->SetParameter(&param_);
  }

  uint32_t Read(uint8_t category, uint32_t item, uint8_t number, uint8_t width, uint8_t index = 0) {
    Begin(QnSysEx::kRead, category, item);
    Parameter(number, width, index);
    RunToEnd(protocol_->Transact());
    return param_.value;
  }

  void Write(uint8_t number, uint8_t width, uint32_t value) {
    Begin(QnSysEx::kWrite, kGeneral, 0);
    Parameter(number, width, 0, value);
    RunToEnd(protocol_->Transact());
  }

  // Sends `size` bytes of `words`; the buffer holds words.size() words.
  void Send(uint8_t category, uint32_t item, std::vector<uint16_t>& words, uint32_t size) {
    Begin(QnSysEx::kSendBlocks, category, item);
    address_.bytesRemaining = size;
    address_.words = words.data();
    address_.wordCount = static_cast<uint32_t>(words.size());
    RunToEnd(protocol_->Transact());
  }

  void Receive(uint8_t category, uint32_t item, std::vector<uint16_t>& words) {
    Begin(QnSysEx::kReceiveBlocks, category, item);
    address_.words = words.data();
    address_.wordCount = static_cast<uint32_t>(words.size());
    RunToEnd(protocol_->Transact());
  }

  BuiltInKeyboard builtIn_;
  QnSysEx* protocol_ = nullptr;
  SysExAddress address_;
  SysExParam param_;
};

// Runs `statement` and hands the exception of type E it throws to `check`;
// fails when it throws nothing.
template <class E, class F, class C>
void ExpectThrow(F statement, C check) {
  try {
    statement();
    ADD_FAILURE() << "nothing was thrown";
  } catch (const E& e) {
    check(e);
  }
}
