#include "midi/MidiDev.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "midi/QnException.h"
#include "platform/midi/MidiSystem.h"

namespace {

MidiDev* instance = nullptr;
MidiService* serviceForInstance = nullptr;
MidiMessageObserver* observerForInstance = nullptr;

bool IsDone(const MidiHeader& header) { return (header.flags & MidiHeader::kDone) != 0; }

}  // namespace

MidiDev* MidiDev::Instance() {
  if (instance == nullptr) {
    MidiService& service =
        serviceForInstance != nullptr ? *serviceForInstance : MidiSystem::Instance();
    instance = new MidiDev(service, MidiClock::Steady());
    instance->SetObserver(observerForInstance);
  }
  return instance;
}

void MidiDev::UseService(MidiService* service) { serviceForInstance = service; }

void MidiDev::UseObserver(MidiMessageObserver* observer) {
  observerForInstance = observer;
  if (instance != nullptr) instance->SetObserver(observer);
}

MidiDev::MidiDev(MidiService& service, MidiClock& clock) : service_(&service), clock_(&clock) {}

MidiDev::~MidiDev() {
  // Closing a port stops it from touching the headers, so close before freeing.
  in_.reset();
  out_.reset();
  for (MidiHeader* header : {inHeader_, outHeader_}) {
    if (header == nullptr) continue;
    std::free(header->data);
    std::free(header);
  }
  if (instance == this) instance = nullptr;
}

void MidiDev::Fail(int32_t code, MidiResult subCode) {
  errorCode_ = code;
  errorSubCode_ = subCode;
  RaiseError();
}

void MidiDev::RaiseError() {
  if (MidiMessageObserver* observer = observer_.load()) {
    observer->Failed(clock_->Now(), errorCode_, errorSubCode_);
  }
  throw MidiDevException(errorCode_, errorSubCode_);
}

MidiHeader* MidiDev::AllocateHeader() {
  auto* header = static_cast<MidiHeader*>(std::calloc(1, sizeof(MidiHeader)));
  auto* data = static_cast<uint8_t*>(std::calloc(1, kBufferSize));
  if (header == nullptr || data == nullptr) {
    std::free(header);
    std::free(data);
    errorCode_ = kNoBuffer;
    RaiseError();
  }
  header->data = data;
  header->bufferLength = kBufferSize;
  return header;
}

// A number already open is kept; no port open means nothing to keep, whatever
// number is recorded.
void MidiDev::OpenIn(int device) {
  if (inHeader_ == nullptr) inHeader_ = AllocateHeader();
  if (in_ && static_cast<uint32_t>(device) == inDevice_) return;
  in_.reset();
  inDevice_ = kNoDevice;
  const MidiResult result =
      device < 0 ? midi_result::kBadDeviceId : service_->OpenIn(device, event_, in_);
  if (result != midi_result::kOk || !in_) {
    in_.reset();
    Fail(kInputFailed, result != midi_result::kOk ? result : midi_result::kError);
  }
  inDevice_ = static_cast<uint32_t>(device);
}

void MidiDev::OpenOut(int device) {
  if (outHeader_ == nullptr) outHeader_ = AllocateHeader();
  if (out_ && static_cast<uint32_t>(device) == outDevice_) return;
  out_.reset();
  outDevice_ = kNoDevice;
  const MidiResult result =
      device < 0 ? midi_result::kBadDeviceId : service_->OpenOut(device, event_, out_);
  if (result != midi_result::kOk || !out_) {
    out_.reset();
    Fail(kOutputFailed, result != midi_result::kOk ? result : midi_result::kError);
  }
  outDevice_ = static_cast<uint32_t>(device);
}

void MidiDev::Close() {
  in_.reset();
  out_.reset();
  inDevice_ = kNoDevice;
  outDevice_ = kNoDevice;
}

void MidiDev::ArmInput() {
  if (!in_ || inHeader_ == nullptr) Fail(kInputFailed, midi_result::kInvalidHandle);
  MidiResult result = in_->Reset();
  if (result == midi_result::kOk) {
    event_.Post([&] { inHeader_->flags = 0; });
    result = in_->Prepare(*inHeader_);
  }
  if (result == midi_result::kOk) result = in_->AddBuffer(*inHeader_);
  if (result == midi_result::kOk) return;

  in_->Prepare(*inHeader_);
  in_->AddBuffer(*inHeader_);
  if (out_ && outHeader_ != nullptr) out_->Unprepare(*outHeader_);
  Fail(kInputFailed, result);
}

// Anything else thrown during an exchange (the reply cannot grow, say) is
// reported as a buffer failure, code 2, so that the caller always gets a
// MidiDevException and the buffers are queued again as after any failure.
void MidiDev::Exchange() {
  try {
    Transfer();
  } catch (const MidiDevException&) {
    Requeue();
    throw;
  } catch (...) {
    errorCode_ = kNoBuffer;
    errorSubCode_ = 0;
    Requeue();
    RaiseError();
  }
  Requeue();
}

void MidiDev::Transfer() {
  if (!out_ || outHeader_ == nullptr) Fail(kOutputFailed, midi_result::kInvalidHandle);
  if (!in_ || inHeader_ == nullptr) Fail(kInputFailed, midi_result::kInvalidHandle);
  // Nothing the protocol sends comes near the buffer size; a longer request
  // is refused rather than written past the buffer.
  if (request_.size() > kBufferSize) Fail(kOutputFailed, midi_result::kInvalidParam);

  // A message that came after the last answer (a second device on the cable,
  // a duplicated handshake) has already filled the buffer queued for this
  // exchange. Left so, the exchange would end at once without its own answer,
  // and every later answer would be one behind: queue the buffer again empty.
  bool stale = false;
  event_.Post([&] { stale = IsDone(*inHeader_); });
  if (stale) {
    MidiResult requeued = in_->Prepare(*inHeader_);
    if (requeued == midi_result::kOk) requeued = in_->AddBuffer(*inHeader_);
    if (requeued != midi_result::kOk) Fail(kInputFailed, requeued);
  }

  event_.Post([&] {
    std::copy(request_.begin(), request_.end(), outHeader_->data);
    outHeader_->bufferLength = static_cast<uint32_t>(request_.size());
    inHeader_->bytesRecorded = 0;
  });
  MidiResult result = in_->Start();
  if (result != midi_result::kOk) Fail(kInputFailed, result);

  startTime_ = clock_->Now();
  result = out_->Prepare(*outHeader_);
  if (result != midi_result::kOk) Fail(kOutputFailed, result);
  event_.Post([&] { outHeader_->flags &= ~MidiHeader::kDone; });
  result = out_->LongMsg(*outHeader_);
  if (result != midi_result::kOk) Fail(kOutputFailed, result);
  MidiMessageObserver* observer = observer_.load();
  if (observer != nullptr) observer->Sent(startTime_, request_.data(), request_.size());

  if (!WaitDone(*outHeader_)) {
    errorCode_ = kOutputTimeout;
    RaiseError();
  }
  if (waitReply_ != 0 && !WaitDone(*inHeader_)) {
    errorCode_ = kReplyTimeout;
    RaiseError();
  }

  {
    std::unique_lock<std::mutex> lock(event_.Mutex());
    const uint32_t count = std::min(inHeader_->bytesRecorded, kBufferSize);
    reply_.assign(inHeader_->data, inHeader_->data + count);
  }
  if (observer != nullptr && waitReply_ != 0) {
    observer->Received(clock_->Now(), reply_.data(), reply_.size());
  }
}

// Both waits of one exchange share the deadline: more than 1000 ms after
// the request started out, the exchange has failed.
bool MidiDev::WaitDone(MidiHeader& header) {
  const auto deadline = startTime_ + std::chrono::milliseconds(kTimeLimitMs + 1);
  std::unique_lock<std::mutex> lock(event_.Mutex());
  return clock_->WaitUntil(lock, event_.Condition(), deadline, [&] { return IsDone(header); });
}

// After every exchange: the output buffer is free again and the input buffer
// waits for the next one. An output the port never finished is abandoned
// first, or its buffer could never carry another request.
void MidiDev::Requeue() {
  if (out_ && outHeader_ != nullptr) {
    bool stalled = false;
    event_.Post([&] { stalled = !IsDone(*outHeader_); });
    if (stalled) out_->Reset();
    out_->Unprepare(*outHeader_);
  }
  if (in_ && inHeader_ != nullptr) {
    in_->Prepare(*inHeader_);
    in_->AddBuffer(*inHeader_);
  }
}

void MidiDev::EndExchange() {
  if (in_ && inHeader_ != nullptr) {
    in_->Stop();
    in_->Reset();
    in_->Unprepare(*inHeader_);
  }
  if (out_ && outHeader_ != nullptr) out_->Unprepare(*outHeader_);
}
