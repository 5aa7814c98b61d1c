#include "sim/Trv408.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace sim {

namespace {

constexpr size_t kLongAnswerSize = 300;
// What Fault::HugeSize reports for a song or rhythm: far beyond the 21504
// bytes of memory, yet small enough that a program which trusts it can be
// watched doing so without harm.
constexpr uint32_t kHugeSize = 1u << 22;

// A message of another maker, as a second instrument on the same cable might send.
const Message kForeignMessage{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

constexpr uint8_t kEndOfData = 0;
constexpr uint8_t kAccepted = 1;
constexpr uint8_t kRejected = 2;
constexpr uint8_t kSendAgain = 3;
constexpr uint8_t kError = 15;
constexpr uint8_t kUndefinedCode = 9;

std::vector<uint16_t> ToWords(const std::vector<uint8_t>& data) {
  std::vector<uint16_t> words(data.size() / 2);
  for (size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
  }
  return words;
}

std::vector<uint8_t> ToBytes(const std::vector<uint16_t>& words) {
  std::vector<uint8_t> data;
  data.reserve(words.size() * 2);
  for (uint16_t w : words) {
    data.push_back(w >> 8);
    data.push_back(w & 0xFF);
  }
  return data;
}

}  // namespace

Trv408::Trv408() : memory_(Memory::Demo()) {}

std::optional<Trv408::Address> Trv408::AddressOf(int category, int item) {
  auto in = [item](int first, int count) { return item >= first && item < first + count; };
  switch (category) {
    case 2:
      if (in(384, Memory::kTones)) return Address{category, item, {Kind::Tone, 0, item - 384}};
      break;
    case 9:
      if (in(100, Memory::kDsps)) return Address{category, item, {Kind::Dsp, 0, item - 100}};
      break;
    case 10:
      if (in(0, Memory::kSongs)) return Address{category, item, {Kind::Song, 0, item}};
      break;
    case 11:
      if (in(100, Memory::kRhythms)) return Address{category, item, {Kind::Rhythm, 0, item - 100}};
      break;
    case 12:
      if (in(16, Memory::kBanks * Memory::kRegistrationsPerBank)) {
        return Address{category, item, {Kind::Registration, (item - 16) % 4, (item - 16) / 4}};
      }
      break;
  }
  return std::nullopt;
}

bool Trv408::Matches(const Address& address, const SysExCodec::Header& header) {
  return address.category == header.category && address.item == header.item;
}

std::vector<Message> Trv408::Receive(const Message& message) {
  std::lock_guard lock(mutex_);
  if (monitor_) monitor_(message);
  if (TakeFaultLocked(Fault::Echo)) return {message};
  const auto header = SysExCodec::ParseHeader(message);
  if (!header) return {};
  if (ExpectsAnswer(*header, message) && TakeFaultLocked(Fault::NoAnswer)) return {};
  auto answers = Handle(*header, message);
  if (!answers.empty() && TakeFaultLocked(Fault::DuplicateAnswer)) {
    answers.push_back(answers.back());
    // A block accepted twice: the next one is asked for again, and only a
    // program that waits for its own answer learns of it.
    const Message& last = answers.back();
    if (header->command == SysExCodec::kBlock && last.size() > 10 && last[10] == kAccepted) {
      resendNext_ = true;
    }
  }
  if (!answers.empty() && TakeFaultLocked(Fault::ForeignFirst)) {
    answers.insert(answers.begin(), kForeignMessage);
  }
  return answers;
}

void Trv408::SetMonitor(std::function<void(const Message&)> monitor) {
  std::lock_guard lock(mutex_);
  monitor_ = std::move(monitor);
}

bool Trv408::ExpectsAnswer(const SysExCodec::Header& header, const Message& message) const {
  switch (header.command) {
    case SysExCodec::kRead:
    case SysExCodec::kBlock:
    case SysExCodec::kRequestData:
      return true;
    case SysExCodec::kHandshake:
      return outgoing_ && message.size() > 10 && message[10] != kEndOfData;
    default:
      return false;
  }
}

std::vector<Message> Trv408::Handle(const SysExCodec::Header& header, const Message& message) {
  switch (header.command) {
    case SysExCodec::kRead:
      outgoing_.reset();
      incoming_.reset();
      resendNext_ = false;
      return ReadParameter(header, message);
    case SysExCodec::kWrite:
      outgoing_.reset();
      incoming_.reset();
      resendNext_ = false;
      WriteParameter(header, message);
      return {};
    case SysExCodec::kRequestData:
      outgoing_.reset();
      incoming_.reset();
      resendNext_ = false;
      return RequestData(header, message);
    case SysExCodec::kBlock:
      outgoing_.reset();
      return TakeBlock(header, message);
    case SysExCodec::kHandshake:
      // After the end of an upload no block is left to ask for again.
      if (message.size() > 10 && message[10] == kEndOfData) resendNext_ = false;
      return TakeHandshake(header, message);
    default:
      return {};
  }
}

std::vector<Message> Trv408::ReadParameter(const SysExCodec::Header& header,
                                           const Message& message) {
  const int indexCount = SysExCodec::IndexCount(header.format);
  const int width = SysExCodec::Width(header.format);
  if (message.size() != SysExCodec::kHeaderSize + indexCount + 1 || message.back() != 0xF7) {
    return {};
  }
  auto value = ParameterValue(header, message[10]);
  if (!value) return {};
  const bool size = header.category == 0 && (header.parameter == 0x23 || header.parameter == 0x26);
  if (size && TakeFaultLocked(Fault::HugeSize)) *value = kHugeSize;
  if (width < 32) *value &= (uint32_t{1} << width) - 1;

  Message answer = SysExCodec::Start(
      {SysExCodec::kRead, header.category, header.parameter, header.format, header.item});
  answer.insert(answer.end(), message.begin() + 10, message.begin() + 10 + indexCount);
  SysExCodec::AppendGroups(answer, *value, SysExCodec::GroupCount(width));
  if (TakeFaultLocked(Fault::LongAnswer)) answer.resize(kLongAnswerSize - 1, 0x00);
  answer.push_back(0xF7);
  return {answer};
}

std::optional<uint32_t> Trv408::ParameterValue(const SysExCodec::Header& header, int index) const {
  const int param = header.parameter;
  if (header.category == 0) {
    if (header.item != 0) return std::nullopt;
    const bool rhythm = index < Memory::kRhythms;
    const bool song = index < Memory::kSongs;
    switch (param) {
      case 0x00:
        if (index == 0) return static_cast<uint32_t>(keyboardType_);
        break;
      case 0x22:
        if (index == 0) return memory_.FreeBytes();
        break;
      case 0x23:
        if (rhythm) return memory_.Item({Kind::Rhythm, 0, index}).size();
        break;
      case 0x24:
      case 0x25:
        if (rhythm) return NameValue({Kind::Rhythm, 0, index}, param == 0x25);
        break;
      case 0x26:
        if (song) return memory_.Item({Kind::Song, 0, index}).size();
        break;
      case 0x27:
      case 0x28:
        if (song) return NameValue({Kind::Song, 0, index}, param == 0x28);
        break;
    }
    return std::nullopt;
  }
  if (index != 0) return std::nullopt;
  const auto address = AddressOf(header.category, header.item);
  if (!address) return std::nullopt;
  if (address->slot.kind == Kind::Dsp && (param == 0x30 || param == 0x31)) {
    return NameValue(address->slot, param == 0x31);
  }
  if (address->slot.kind == Kind::Tone && (param == 0x60 || param == 0x61)) {
    return NameValue(address->slot, param == 0x61);
  }
  return std::nullopt;
}

uint32_t Trv408::NameValue(SlotId slot, bool secondHalf) const {
  const auto& data = memory_.Item(slot);
  const auto offset = Memory::NameOffset(slot.kind);
  if (!offset) return 0;
  const size_t at = *offset + (secondHalf ? 4 : 0);
  if (data.size() < at + 4) return 0;
  return uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 | uint32_t{data[at + 2]} << 8 |
         data[at + 3];
}

void Trv408::WriteParameter(const SysExCodec::Header& header, const Message& message) {
  const int indexCount = SysExCodec::IndexCount(header.format);
  const int groups = SysExCodec::GroupCount(SysExCodec::Width(header.format));
  if (message.size() != SysExCodec::kHeaderSize + indexCount + groups + 1 ||
      message.back() != 0xF7) {
    return;
  }
  if (header.category != 0 || header.item != 0 || message[10] != 0) return;
  const uint32_t value = SysExCodec::ReadGroups(message, 10 + indexCount, groups);
  SlotId slot{Kind::Song, 0, 0};
  if (header.parameter == 0x20 && value < Memory::kSongs) {
    slot = {Kind::Song, 0, static_cast<int>(value)};
  } else if (header.parameter == 0x21 && value < Memory::kRhythms) {
    slot = {Kind::Rhythm, 0, static_cast<int>(value)};
  } else {
    return;
  }
  if (memory_.Item(slot).empty()) return;
  memory_.Clear(slot);
  Changed();
}

std::vector<Message> Trv408::RequestData(const SysExCodec::Header& header, const Message& message) {
  if (message.size() != SysExCodec::kHeaderSize + 2 || message.back() != 0xF7) return {};
  const auto address = AddressOf(header.category, header.item);
  if (!address) return {};
  const auto& data = memory_.Item(address->slot);
  if (data.empty()) return {SysExCodec::Handshake(header.category, header.item, kEndOfData)};
  outgoing_ = Outgoing{*address, ToWords(data), 0};
  return {CurrentBlock()};
}

Message Trv408::CurrentBlock() {
  const auto& out = *outgoing_;
  const size_t first = static_cast<size_t>(out.block) * SysExCodec::kWordsPerBlock;
  const size_t count = std::min<size_t>(SysExCodec::kWordsPerBlock, out.words.size() - first);
  const bool corrupt = TakeFaultLocked(Fault::BadChecksum);
  return SysExCodec::MakeBlock(out.address.category, out.address.item, out.block,
                               std::span(out.words).subspan(first, count), corrupt);
}

std::vector<Message> Trv408::TakeHandshake(const SysExCodec::Header& header,
                                           const Message& message) {
  if (message.size() != SysExCodec::kHeaderSize + 2 || message.back() != 0xF7) return {};
  const uint8_t code = message[10];
  if (outgoing_ && Matches(outgoing_->address, header)) {
    if (code == kAccepted) {
      const size_t sent = static_cast<size_t>(outgoing_->block + 1) * SysExCodec::kWordsPerBlock;
      if (sent >= outgoing_->words.size()) {
        outgoing_.reset();
        return {SysExCodec::Handshake(header.category, header.item, kEndOfData)};
      }
      ++outgoing_->block;
      return {CurrentBlock()};
    }
    if (code == kSendAgain) return {CurrentBlock()};
    if (code == kEndOfData) outgoing_.reset();
    return {};
  }
  if (incoming_ && Matches(incoming_->address, header) && code == kEndOfData) {
    Commit(*incoming_);
    incoming_.reset();
  }
  return {};
}

std::vector<Message> Trv408::TakeBlock(const SysExCodec::Header& header, const Message& message) {
  auto answer = [&header](uint8_t code) {
    return std::vector<Message>{SysExCodec::Handshake(header.category, header.item, code)};
  };
  const auto address = AddressOf(header.category, header.item);
  if (!address) return answer(kRejected);
  if (std::exchange(resendNext_, false) || TakeFaultLocked(Fault::ResendRequests)) {
    return answer(kSendAgain);
  }
  for (auto [fault, code] : {std::pair{Fault::Reject, kRejected}, std::pair{Fault::Error15, kError},
                             std::pair{Fault::UnknownCode, kUndefinedCode}}) {
    if (TakeFaultLocked(fault)) {
      incoming_.reset();
      return answer(code);
    }
  }
  auto block = SysExCodec::ReadBlock(message);
  if (!block) return answer(kSendAgain);

  if (block->number == 0) incoming_ = Incoming{*address, {}, 0, false};
  if (!incoming_ || !Matches(incoming_->address, header)) {
    incoming_.reset();
    return answer(kRejected);
  }
  // The next block, or the previous one again when its answer went astray.
  const bool next = block->number == incoming_->nextBlock && !incoming_->complete;
  const bool repeat = block->number + 1 == incoming_->nextBlock;
  const size_t first = static_cast<size_t>(block->number) * SysExCodec::kWordsPerBlock;
  const size_t end = first + block->words.size();
  const size_t fixed = Memory::FixedSize(address->slot.kind);
  const size_t room = fixed != 0 ? fixed : memory_.RoomFor(address->slot);
  if ((!next && !repeat) || end * 2 > room) {
    incoming_.reset();
    return answer(kRejected);
  }
  incoming_->words.resize(first);
  incoming_->words.insert(incoming_->words.end(), block->words.begin(), block->words.end());
  incoming_->nextBlock = block->number + 1;
  incoming_->complete = block->words.size() < SysExCodec::kWordsPerBlock;
  return answer(kAccepted);
}

void Trv408::Commit(const Incoming& incoming) {
  auto bytes = ToBytes(incoming.words);
  const SlotId slot = incoming.address.slot;
  if (Memory::FixedSize(slot.kind) != 0) {
    // A shorter item overwrites the start of the slot; the rest stays.
    auto data = memory_.Item(slot);
    std::copy(bytes.begin(), bytes.end(), data.begin());
    bytes = std::move(data);
  }
  try {
    memory_.SetItem(slot, std::move(bytes));
  } catch (const std::invalid_argument&) {
    return;  // the memory was filled otherwise while the item came in
  }
  Changed();
}

void Trv408::Changed() {
  if (!autoSavePath_.empty()) memory_.Save(autoSavePath_);
}

bool Trv408::TakeFault(Fault fault) {
  std::lock_guard lock(mutex_);
  return TakeFaultLocked(fault);
}

bool Trv408::TakeFaultLocked(Fault fault) {
  if (fault_ != fault || fault == Fault::None) return false;
  if (faultCount_ > 0 && --faultCount_ == 0) fault_ = Fault::None;
  return true;
}

void Trv408::SetKeyboardType(int type) {
  std::lock_guard lock(mutex_);
  keyboardType_ = type;
}

void Trv408::SetFault(Fault fault, int count) {
  std::lock_guard lock(mutex_);
  fault_ = fault;
  faultCount_ = fault == Fault::None ? 0 : count;
}

Fault Trv408::CurrentFault() const {
  std::lock_guard lock(mutex_);
  return fault_;
}

std::vector<uint8_t> Trv408::Item(SlotId id) const {
  std::lock_guard lock(mutex_);
  return memory_.Item(id);
}

void Trv408::SetItem(SlotId id, const std::vector<uint8_t>& data) {
  std::lock_guard lock(mutex_);
  memory_.SetItem(id, data);
  Changed();
}

void Trv408::Clear(SlotId id) {
  std::lock_guard lock(mutex_);
  memory_.Clear(id);
  Changed();
}

uint32_t Trv408::FreeBytes() const {
  std::lock_guard lock(mutex_);
  return memory_.FreeBytes();
}

bool Trv408::Load(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (!memory_.Load(path)) return false;
  outgoing_.reset();
  incoming_.reset();
  resendNext_ = false;
  Changed();
  return true;
}

bool Trv408::Save(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return memory_.Save(path);
}

void Trv408::SetAutoSave(const std::string& path) {
  std::lock_guard lock(mutex_);
  autoSavePath_ = path;
}

}  // namespace sim
