#include "protocol/QnSysEx.h"

#include <algorithm>
#include <stdexcept>

#include "midi/MidiDev.h"
#include "midi/QnException.h"

namespace {

QnSysEx* instance = nullptr;

constexpr size_t kHeaderSize = 10;
constexpr uint8_t kStart = 0xF0;
constexpr uint8_t kEnd = 0xF7;
constexpr uint8_t kManufacturer = 0x44;
constexpr uint8_t kHandshakeCommand = 7;
constexpr uint8_t kDataBlockCommand = 4;
constexpr uint8_t kBlockByte7 = 0x4F;  // three index bytes, 16-bit words

// Handshake codes of the program and of the keyboard.
constexpr uint8_t kEndOfData = 0;
constexpr uint8_t kNextBlock = 1;
constexpr uint8_t kSendAgain = 3;
constexpr uint8_t kAccepted = 1;
constexpr uint8_t kKeyboardRejected = 2;
constexpr uint8_t kKeyboardSendAgain = 3;
constexpr uint8_t kKeyboardError = 15;

// Offsets inside a data block.
constexpr size_t kBlockNumberLow = 10;
constexpr size_t kBlockNumberHigh = 11;
constexpr size_t kFirstDataByte = 13;
constexpr size_t kSmallestBlock = 15;  // header, block number, count, checksum, 0xF7
constexpr size_t kCodeOffset = 10;

uint8_t IndexByte7(const SysExParam& p) {
  return static_cast<uint8_t>((((p.indexCount - 1) << 5) & 0x60) + ((p.width - 1) & 0x1F));
}

// The index count as it goes out in byte 7, 1 to 4.
size_t IndexCount(const SysExParam& p) { return static_cast<size_t>(((p.indexCount - 1) & 3) + 1); }

}  // namespace

QnSysEx* QnSysEx::Instance() {
  if (instance == nullptr) instance = new QnSysEx();
  return instance;
}

QnSysEx::QnSysEx() : device_(MidiDev::Instance()) {
  auto& request = device_->Request();
  request.assign(kHeaderSize, 0);
  request[0] = kStart;
  request[1] = kManufacturer;
}

QnSysEx::~QnSysEx() {
  delete device_;
  if (instance == this) instance = nullptr;
}

// Another port may lead to another keyboard.
void QnSysEx::OpenIn(int device) {
  if (static_cast<uint32_t>(device) != device_->InputDevice()) answersRepeat_ = false;
  device_->OpenIn(device);
}

void QnSysEx::OpenOut(int device) {
  if (static_cast<uint32_t>(device) != device_->OutputDevice()) answersRepeat_ = false;
  device_->OpenOut(device);
}

void QnSysEx::CloseDevices() {
  answersRepeat_ = false;
  device_->Close();
}

void QnSysEx::LearnWhetherAnswersRepeat() {
  const auto& request = device_->Request();
  const auto& reply = device_->Reply();
  answersRepeat_ = reply.size() >= kHeaderSize && request.size() >= kHeaderSize &&
                   std::equal(reply.begin() + 5, reply.begin() + kHeaderSize, request.begin() + 5);
}

std::vector<uint8_t>& QnSysEx::Header() {
  auto& request = device_->Request();
  if (request.size() < kHeaderSize) request.resize(kHeaderSize, 0);
  return request;
}

std::vector<uint8_t>& QnSysEx::CutRequest() {
  auto& request = Header();
  request.resize(kHeaderSize);
  return request;
}

void QnSysEx::SetModel(uint16_t model) {
  auto& request = Header();
  request[2] = static_cast<uint8_t>(model >> 8);
  request[3] = static_cast<uint8_t>(model & 0xFF);
}

void QnSysEx::SetDevice(uint8_t device) { Header()[4] = device; }

void QnSysEx::SetCommand(uint8_t command) {
  command_ = static_cast<int8_t>(command);
  auto& request = Header();
  request[5] = static_cast<uint8_t>((request[5] & 0x0F) | ((command & 0x0F) << 4));
}

void QnSysEx::SetAddress(SysExAddress* address) {
  address_ = address;
  if (address == nullptr) return;
  auto& request = Header();
  request[5] = static_cast<uint8_t>((request[5] & 0xF0) | (address->category & 0x0F));
  request[8] = static_cast<uint8_t>(address->itemNumber & 0x7F);
  request[9] = static_cast<uint8_t>((address->itemNumber >> 7) & 0x7F);
}

void QnSysEx::SetParameter(SysExParam* parameter) {
  parameter_ = parameter;
  if (parameter != nullptr) Header()[6] = parameter->number;
}

Task<void> QnSysEx::Transact() {
  Task<void> transaction;
  switch (command_) {
    case kWrite:
      transaction = WriteParameter();
      break;
    case kRead:
      transaction = ReadParameter();
      break;
    case kSendBlocks:
      transaction = SendBlocks();
      break;
    case kReceiveBlocks:
      transaction = ReceiveBlocks();
      break;
    default:
      co_return;
  }
  co_await transaction;
}

int QnSysEx::ValueGroups(int width) {
  // The width as byte 7 carries it, so that what is sent and what is decoded
  // always agree: 1 to 32 bits, 1 to 5 groups.
  const int wireWidth = ((width - 1) & 0x1F) + 1;
  return (wireWidth + 6) / 7;
}

// The one place every exchange passes: a cancel request stops the work
// here, before a request goes out, so no exchange is ever cut in two.
void QnSysEx::CheckCancel() const {
  if (device_->CancelRequested() && !device_->CancelHeldOff()) throw QnSysExException(kCancelled);
}

MidiDev::Exchanging QnSysEx::Exchange(bool answerRepeats) {
  CheckCancel();
  device_->SetAnswerRepeatsRequest(answerRepeats);
  return device_->Exchange();
}

SysExParam& QnSysEx::Parameter() const {
  if (parameter_ == nullptr) throw std::logic_error("parameter transaction without SetParameter");
  return *parameter_;
}

SysExAddress& QnSysEx::Address() const {
  if (address_ == nullptr) throw std::logic_error("block transfer without SetAddress");
  return *address_;
}

void QnSysEx::AppendParameterHeader(std::vector<uint8_t>& request, const SysExParam& p) {
  request[7] = IndexByte7(p);
  const size_t n = IndexCount(p);
  request.insert(request.end(), p.index, p.index + n);
}

Task<void> QnSysEx::WriteParameter() {
  SysExParam& p = Parameter();
  auto& request = CutRequest();
  AppendParameterHeader(request, p);
  uint32_t value = p.value;
  for (int i = 0, g = ValueGroups(p.width); i < g; ++i) {
    request.push_back(static_cast<uint8_t>(value & 0x7F));
    value >>= 7;
  }
  request.push_back(kEnd);

  device_->SetWaitReply(0);
  MidiDev::Exchanging written = Exchange();
  co_await written;
  wordsInBlock_ = 1;
  Notify();
}

Task<void> QnSysEx::ReadParameter() {
  SysExParam& p = Parameter();
  auto& request = CutRequest();
  AppendParameterHeader(request, p);
  request.push_back(kEnd);

  device_->SetWaitReply(1);
  MidiDev::Exchanging read = Exchange(answersRepeat_);
  co_await read;
  // An answer that is no SysEx message leaves the value unknown, and keeping
  // the old one would pass it off as the keyboard's.
  if (!DecodeParameter()) throw QnSysExException(kCommunication);
  wordsInBlock_ = 1;
  Notify();
}

bool QnSysEx::DecodeParameter() {
  SysExParam& p = Parameter();
  const auto& reply = device_->Reply();
  if (reply.empty() || reply[0] != kStart) return false;
  p.value = 0;
  // The value groups must lie before the closing 0xF7; an answer cut at the
  // buffer's end has none.
  const size_t body = reply.back() == kEnd ? reply.size() - 1 : reply.size();
  const size_t first = kHeaderSize + IndexCount(p);
  const size_t groups = static_cast<size_t>(ValueGroups(p.width));
  if (body < first + groups) throw QnSysExException(kShortAnswer);
  uint32_t value = 0;
  for (size_t i = 0; i < groups; ++i) value += static_cast<uint32_t>(reply[first + i]) << (7 * i);
  p.value = value;
  return true;
}

MidiDev::Exchanging QnSysEx::Handshake(uint8_t code) {
  auto& request = CutRequest();
  request[5] = static_cast<uint8_t>((kHandshakeCommand << 4) | (request[5] & 0x0F));
  request[6] = 0;
  request[7] = 0;
  request.push_back(code);
  request.push_back(kEnd);
  device_->SetWaitReply(code != kEndOfData ? 1 : 0);
  return Exchange();
}

Task<void> QnSysEx::SendBlocks() {
  SysExAddress& a = Address();
  const uint32_t bufferWords = a.words != nullptr ? a.wordCount : 0;
  int allowance = kResendAllowance;
  int emptyAnswers = 0;
  blockNumber_ = 0;
  Header()[7] = kBlockByte7;

  device_->SetWaitReply(1);
  while (a.bytesRemaining != 0) {
    auto& request = CutRequest();
    request.push_back(static_cast<uint8_t>(blockNumber_ & 0x7F));
    request.push_back(static_cast<uint8_t>((blockNumber_ >> 7) & 0x7F));
    // An odd last byte goes out in a word of its own.
    const uint32_t k =
        a.bytesRemaining > kWordsPerBlock * 2 ? kWordsPerBlock : (a.bytesRemaining + 1) / 2;
    wordsInBlock_ = k;
    request.push_back(static_cast<uint8_t>(k & 0x7F));
    uint8_t sum = 0;
    for (uint32_t i = 0; i < k; ++i) {
      const uint32_t index = blockNumber_ * kWordsPerBlock + i;
      const uint16_t word = index < bufferWords ? a.words[index] : 0;
      for (const uint8_t byte :
           {static_cast<uint8_t>(word & 0x7F), static_cast<uint8_t>((word >> 7) & 0x7F),
            static_cast<uint8_t>((word >> 14) & 0x7F)}) {
        request.push_back(byte);
        sum = (sum + byte) & 0x7F;
      }
    }
    request.push_back(static_cast<uint8_t>((0x80 - sum) & 0x7F));
    request.push_back(kEnd);

    device_->SetWaitReply(1);
    MidiDev::Exchanging block = Exchange();
    co_await block;
    const auto& reply = device_->Reply();
    if (reply.empty()) {
      // The same block again; a link that never answers with anything must
      // not hold the program for ever.
      if (++emptyAnswers >= kUnsoundLimit) throw QnSysExException(kCommunication);
      continue;
    }
    emptyAnswers = 0;
    const uint8_t code = reply.size() > kCodeOffset ? reply[kCodeOffset] : 0xFF;
    switch (code) {
      case kAccepted:
        a.bytesRemaining -= std::min(a.bytesRemaining, 2 * k);
        ++blockNumber_;
        Notify();
        break;
      case kKeyboardRejected:
        throw QnSysExException(kRejected);
      case kKeyboardSendAgain:
        if (allowance == 0) throw QnSysExException(kCommunication);
        --allowance;
        break;
      case kKeyboardError:
        throw QnSysExException(kCommunication);
      default:
        throw QnSysExException(kUnknownAnswer);
    }
  }
  MidiDev::Exchanging end = Handshake(kEndOfData);
  co_await end;
}

Task<void> QnSysEx::ReceiveBlocks() {
  auto& request = CutRequest();
  request[7] = 0;
  request.push_back(0);
  request.push_back(kEnd);

  wordsReceived_ = 0;
  device_->SetWaitReply(1);
  MidiDev::Exchanging asked = Exchange();
  co_await asked;
  int unsound = 0;
  for (;;) {
    const auto& reply = device_->Reply();
    const int command = reply.size() > 5 ? reply[5] >> 4 : -1;
    // Every answer that is not a sound block is answered with a request to
    // send again, but only so many times in a row.
    uint8_t next = kSendAgain;
    if (command == kDataBlockCommand && reply[0] == kStart) {
      if (DecodeBlock()) next = kNextBlock;
    } else if (command == kHandshakeCommand && reply[0] == kStart && reply.size() > kCodeOffset) {
      const uint8_t code = reply[kCodeOffset] & 0x0F;
      if (code == kEndOfData) break;
      if (code == kKeyboardRejected) throw QnSysExException(kCommunication);
    }
    if (next == kNextBlock) {
      unsound = 0;
    } else {
      wordsInBlock_ = 0;
      if (++unsound >= kUnsoundLimit) throw QnSysExException(kCommunication);
    }
    MidiDev::Exchanging handshake = Handshake(next);
    co_await handshake;
    Notify();
  }
}

bool QnSysEx::DecodeBlock() {
  const auto& reply = device_->Reply();
  wordsInBlock_ = 0;
  const size_t length = reply.size();
  if (length < kSmallestBlock || reply[0] != kStart || (reply[5] >> 4) != kDataBlockCommand ||
      reply[length - 1] != kEnd || (length - kSmallestBlock) % 3 != 0)
    return false;
  // Not kept to 16 bits: a high block number must not wrap onto the start of
  // the item.
  const uint32_t first =
      ((reply[kBlockNumberLow] & 0x7Fu) + (reply[kBlockNumberHigh] & 0x7Fu) * 128u) *
      kWordsPerBlock;
  const uint32_t count = static_cast<uint32_t>((length - kSmallestBlock) / 3);
  const SysExAddress* a = address_;
  const uint32_t bufferWords = a != nullptr && a->words != nullptr ? a->wordCount : 0;
  if (count > bufferWords || first > bufferWords - count) return false;
  uint8_t sum = 0;
  for (size_t offset = kFirstDataByte; offset < length - 2; ++offset)
    sum = (sum + reply[offset]) & 0x7F;
  if (((sum + reply[length - 2]) & 0x7F) != 0) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t offset = kFirstDataByte + 3 * i;
    a->words[first + i] = static_cast<uint16_t>(reply[offset] + reply[offset + 1] * 128u +
                                                reply[offset + 2] * 16384u);
  }
  wordsInBlock_ = count;
  if (first <= wordsReceived_) wordsReceived_ = std::max(wordsReceived_, first + count);
  return true;
}
