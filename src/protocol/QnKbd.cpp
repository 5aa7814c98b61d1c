#include "protocol/QnKbd.h"

#include "protocol/QnSysEx.h"
#include "protocol/QnSysExObserver.h"

namespace {

// Parameter numbers and the items they are asked at.
constexpr uint8_t kKeyboardTypeParam = 0x00;
constexpr uint8_t kDeleteSongParam = 0x20;
constexpr uint8_t kDeleteRhythmParam = 0x21;
constexpr uint8_t kFreeBytesParam = 0x22;
constexpr uint8_t kRhythmSizeParam = 0x23;
constexpr uint8_t kRhythmNameParam = 0x24;
constexpr uint8_t kSongSizeParam = 0x26;
constexpr uint8_t kSongNameParam = 0x27;
constexpr uint8_t kDspNameParam = 0x30;
constexpr uint8_t kToneNameParam = 0x60;

constexpr uint8_t kGeneralCategory = 0;
constexpr uint8_t kToneCategory = 2;
constexpr uint8_t kDspCategory = 9;
constexpr uint32_t kFirstUserTone = 384;
constexpr uint32_t kFirstUserDsp = 100;

constexpr int32_t kServedType = 0;

// Up to four characters: the most significant byte first, ending before the
// first zero byte counted from the least significant one.
std::string NamePart(uint32_t value) {
  std::string part;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((value >> (8 * i)) & 0xFF);
    if (c == 0) break;
    part.insert(part.begin(), c);
  }
  return part;
}

}  // namespace

QnKbd::QnKbd() : protocol_(QnSysEx::Instance()) {}

QnKbd::~QnKbd() { delete protocol_; }

void QnKbd::SetRequest(uint8_t category, uint32_t item, uint8_t parameter, uint8_t width,
                       uint8_t index) {
  address_ = SysExAddress{};
  address_.category = category;
  address_.itemNumber = item;
  parameter_ = SysExParam{};
  parameter_.number = parameter;
  parameter_.width = width;
  parameter_.indexCount = 1;
  parameter_.index[0] = index;
}

Task<uint32_t> QnKbd::ReadValue() {
  protocol_->OpenIn(inDevice_);
  protocol_->OpenOut(outDevice_);
  protocol_->SetModel(QnSysEx::kModelCode);
  protocol_->SetDevice(QnSysEx::kDeviceNumber);
  protocol_->SetCommand(QnSysEx::kRead);
  protocol_->SetAddress(&address_);
  protocol_->SetParameter(&parameter_);
  Task<void> read = protocol_->Transact();
  co_await read;
  co_return parameter_.value;
}

Task<void> QnKbd::WriteValue(uint32_t value) {
  parameter_.value = value;
  protocol_->OpenIn(inDevice_);
  protocol_->OpenOut(outDevice_);
  protocol_->SetModel(QnSysEx::kModelCode);
  protocol_->SetDevice(QnSysEx::kDeviceNumber);
  protocol_->SetCommand(QnSysEx::kWrite);
  protocol_->SetAddress(&address_);
  protocol_->SetParameter(&parameter_);
  Task<void> written = protocol_->Transact();
  co_await written;
}

Task<std::string> QnKbd::ReadName() {
  Task<uint32_t> first = ReadValue();
  std::string name = NamePart(co_await first);
  ++parameter_.number;
  Task<uint32_t> second = ReadValue();
  name += NamePart(co_await second);
  co_return name;
}

Task<void> QnKbd::Open(int32_t inDevice, int32_t outDevice) {
  inDevice_ = inDevice;
  outDevice_ = outDevice;
  Task<int32_t> type = KeyboardType();
  keyboardType_ = co_await type;
}

Task<int32_t> QnKbd::KeyboardType() {
  SetRequest(kGeneralCategory, 0, kKeyboardTypeParam, 14, 0);
  Task<uint32_t> read = ReadValue();
  const auto type = static_cast<int32_t>(co_await read);
  protocol_->LearnWhetherAnswersRepeat();
  co_return type;
}

Task<uint32_t> QnKbd::FreeBytes() {
  SetRequest(kGeneralCategory, 0, kFreeBytesParam, 32, 0);
  return ReadValue();
}

uint32_t QnKbd::ToneSize() const { return keyboardType_ == kServedType ? kToneSize : 0; }

uint32_t QnKbd::DspSize() const { return keyboardType_ == kServedType ? kDspSize : 0; }

uint32_t QnKbd::RegistrationSize() const {
  return keyboardType_ == kServedType ? kRegistrationSize : 0;
}

Task<std::string> QnKbd::ToneName(uint8_t tone) {
  SetRequest(kToneCategory, kFirstUserTone + tone, kToneNameParam, 32, 0);
  return ReadName();
}

Task<std::string> QnKbd::DspName(uint8_t dsp) {
  SetRequest(kDspCategory, kFirstUserDsp + dsp, kDspNameParam, 32, 0);
  return ReadName();
}

std::string QnKbd::RegistrationName(uint8_t bank, uint8_t number) const {
  if (keyboardType_ != kServedType) return {};
  std::string name = "Preset";
  name += static_cast<char>('0' + bank);
  name += '-';
  name += static_cast<char>('1' + number);
  return name;
}

Task<uint32_t> QnKbd::RhythmSize(uint8_t rhythm) {
  SetRequest(kGeneralCategory, 0, kRhythmSizeParam, 32, rhythm);
  return ReadValue();
}

Task<std::string> QnKbd::RhythmName(uint8_t rhythm) {
  SetRequest(kGeneralCategory, 0, kRhythmNameParam, 32, rhythm);
  return ReadName();
}

Task<uint32_t> QnKbd::SongSize(uint8_t song) {
  SetRequest(kGeneralCategory, 0, kSongSizeParam, 32, song);
  return ReadValue();
}

Task<std::string> QnKbd::SongName(uint8_t song) {
  SetRequest(kGeneralCategory, 0, kSongNameParam, 32, song);
  return ReadName();
}

Task<void> QnKbd::DeleteSong(uint8_t song) {
  SetRequest(kGeneralCategory, 0, kDeleteSongParam, 8, 0);
  return WriteValue(song);
}

Task<void> QnKbd::DeleteRhythm(uint8_t rhythm) {
  SetRequest(kGeneralCategory, 0, kDeleteRhythmParam, 8, 0);
  return WriteValue(rhythm);
}

void QnKbd::AttachObserver(QnSysExObserver* observer) { observer->Attach(protocol_); }

void QnKbd::CloseDevices() { protocol_->CloseDevices(); }

void QnKbd::CheckCancel() const { protocol_->CheckCancel(); }
