#include "midi/MidiDev.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "midi/MidiDriver.h"
#include "midi/QnException.h"

namespace {

std::atomic<MidiDev*> instance{nullptr};
MidiDriver* driverForInstance = nullptr;
MidiMessageObserver* observerForInstance = nullptr;

constexpr uint8_t kStart = 0xF0;

}  // namespace

MidiDev* MidiDev::Instance() {
  if (instance.load() == nullptr) {
    if (driverForInstance == nullptr) throw std::logic_error("no MIDI driver chosen");
    auto* made = new MidiDev(*driverForInstance, driverForInstance->Clock());
    made->SetObserver(observerForInstance);
    instance.store(made);
  }
  return instance.load();
}

void MidiDev::RequestCancelOfInstance() {
  if (MidiDev* device = instance.load()) device->RequestCancel();
}

void MidiDev::UseDriver(MidiDriver* driver) { driverForInstance = driver; }

void MidiDev::UseObserver(MidiMessageObserver* observer) {
  observerForInstance = observer;
  if (MidiDev* device = instance.load()) device->SetObserver(observer);
}

MidiDev::MidiDev(MidiDriver& driver, MidiClock& clock) : driver_(&driver), clock_(&clock) {}

MidiDev::~MidiDev() {
  Close();
  MidiDev* self = this;
  instance.compare_exchange_strong(self, nullptr);
}

void MidiDev::Fail(int32_t code, uint32_t subCode) {
  errorCode_ = code;
  errorSubCode_ = subCode;
  RaiseError();
}

void MidiDev::RaiseError() {
  if (observer_ != nullptr) observer_->Failed(clock_->Now(), errorCode_, errorSubCode_);
  throw MidiDevException(errorCode_, errorSubCode_);
}

// A number already open is kept; no port open means nothing to keep, whatever
// number is recorded.
void MidiDev::OpenIn(int device) {
  if (inDevice_ != kNoDevice && static_cast<uint32_t>(device) == inDevice_) return;
  if (inDevice_ != kNoDevice) driver_->CloseIn();
  inDevice_ = kNoDevice;
  const MidiResult result =
      device < 0 ? midi_result::kBadDeviceId : driver_->OpenIn(static_cast<unsigned>(device));
  if (result != midi_result::kOk) Fail(kInputFailed, result);
  inDevice_ = static_cast<uint32_t>(device);
}

void MidiDev::OpenOut(int device) {
  if (outDevice_ != kNoDevice && static_cast<uint32_t>(device) == outDevice_) return;
  if (outDevice_ != kNoDevice) driver_->CloseOut();
  outDevice_ = kNoDevice;
  const MidiResult result =
      device < 0 ? midi_result::kBadDeviceId : driver_->OpenOut(static_cast<unsigned>(device));
  if (result != midi_result::kOk) Fail(kOutputFailed, result);
  outDevice_ = static_cast<uint32_t>(device);
}

void MidiDev::Close() {
  if (inDevice_ != kNoDevice) driver_->CloseIn();
  if (outDevice_ != kNoDevice) driver_->CloseOut();
  inDevice_ = kNoDevice;
  outDevice_ = kNoDevice;
}

// Returns false when the exchange failed before anything went out: the work
// then resumes at once and Finish throws.
bool MidiDev::Begin(co::coroutine_handle<> work) {
  if (waiting_) throw std::logic_error("a second exchange while one waits");
  failed_ = false;
  outputDone_ = false;
  reply_.clear();
  try {
    if (outDevice_ == kNoDevice) Fail(kOutputFailed, midi_result::kInvalidHandle);
    if (inDevice_ == kNoDevice) Fail(kInputFailed, midi_result::kInvalidHandle);
    // Nothing the protocol sends comes near the buffer size; a longer
    // request is refused rather than sent.
    if (request_.size() > kBufferSize) Fail(kOutputFailed, midi_result::kInvalidParam);
    startTime_ = clock_->Now();
    const MidiResult result = driver_->Send(request_.data(), request_.size());
    if (result != midi_result::kOk) Fail(kOutputFailed, result);
  } catch (const MidiDevException&) {
    failed_ = true;
    return false;
  } catch (...) {
    // Anything else (no memory for the message, say) is reported as a
    // buffer failure, so that the caller always gets a MidiDevException.
    errorCode_ = kNoBuffer;
    errorSubCode_ = 0;
    failed_ = true;
    return false;
  }
  if (observer_ != nullptr) observer_->Sent(startTime_, request_.data(), request_.size());
  waiting_ = work;
  return true;
}

void MidiDev::BeginPause(co::coroutine_handle<> work, std::chrono::milliseconds time) {
  if (waiting_) throw std::logic_error("a pause while an exchange waits");
  pausing_ = true;
  const MidiClock::TimePoint now = clock_->Now();
  pauseEnd_ = now + time;
  if (observer_ != nullptr) observer_->Paused(now, time);
  waiting_ = work;
}

void MidiDev::Finish() {
  if (!failed_) return;
  failed_ = false;
  throw MidiDevException(errorCode_, errorSubCode_);
}

void MidiDev::Resume() {
  co::coroutine_handle<> work = std::exchange(waiting_, {});
  work.resume();
}

// The first SysEx message after the request went out is the answer, as long
// as it comes from the keyboard's maker and model (the device number may
// differ) and, where the answer must repeat the request, repeats bytes 5-9.
bool MidiDev::IsAnswer(const uint8_t* message, size_t size, MidiClock::TimePoint at) const {
  if (!waiting_ || pausing_ || waitReply_ == 0 || at < startTime_) return false;
  if (size < 4 || request_.size() < 4 || !std::equal(message + 1, message + 4, &request_[1])) {
    return false;
  }
  if (mustRepeat_) {
    if (size < 10 || request_.size() < 10) return false;
    return std::equal(message + 5, message + 10, &request_[5]);
  }
  return true;
}

void MidiDev::Arrived(const uint8_t* message, size_t size, MidiClock::TimePoint at) {
  if (size == 0 || message[0] != kStart) return;
  if (!IsAnswer(message, size, at)) {
    if (observer_ != nullptr) observer_->Stray(at, message, size);
    return;
  }
  // An answer shows that the request went out, whatever the port says.
  outputDone_ = true;
  reply_.assign(message, message + std::min<size_t>(size, kBufferSize));
  if (observer_ != nullptr) observer_->Received(at, reply_.data(), reply_.size());
  Resume();
}

void MidiDev::OutputDone(MidiClock::TimePoint at) {
  if (!waiting_ || pausing_ || outputDone_ || at < startTime_) return;
  outputDone_ = true;
  if (waitReply_ == 0) Resume();
}

void MidiDev::Expire(MidiClock::TimePoint now) {
  const std::optional<MidiClock::TimePoint> deadline = Deadline();
  if (!deadline || now < *deadline) return;
  if (pausing_) {
    pausing_ = false;
    Resume();
    return;
  }
  // The sub-code stays that of the last failure of the service, as the
  // device has always reported it.
  errorCode_ = outputDone_ ? kReplyTimeout : kOutputTimeout;
  if (observer_ != nullptr) observer_->Failed(now, errorCode_, errorSubCode_);
  failed_ = true;
  Resume();
}

// Nothing is shown to the observer: the user asked for it and hears of it
// from the front end.
bool MidiDev::Abandon() {
  if (!waiting_ || pausing_ || !CancelRequested() || CancelHeldOff()) return false;
  errorCode_ = kAbandoned;
  errorSubCode_ = 0;
  failed_ = true;
  Resume();
  return true;
}

// Both waits of one exchange share the deadline: more than 1000 ms after
// the request started out, the exchange has failed.
std::optional<MidiClock::TimePoint> MidiDev::Deadline() const {
  if (!waiting_) return std::nullopt;
  if (pausing_) return pauseEnd_;
  return startTime_ + std::chrono::milliseconds(kTimeLimitMs + 1);
}

template <>
void RunToEnd(Task<void> task) {
  MidiDev& device = *MidiDev::Instance();
  bool ended = false;
  device.Driver().Start(device, task, [&ended] { ended = true; });
  if (!ended) throw std::logic_error("Drive on a driver that does not wait");
  task.Result();
}
