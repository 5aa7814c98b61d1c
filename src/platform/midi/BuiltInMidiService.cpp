#include "platform/midi/BuiltInMidiService.h"

#include <atomic>
#include <mutex>
#include <utility>

#include "platform/midi/MidiInQueue.h"
#include "platform/midi/MidiOutBuffer.h"
#include "platform/midi/MidiSystem.h"
#include "sim/SimLink.h"
#include "sim/Trv408.h"

namespace {
class BuiltInIn;
class BuiltInOut;
}  // namespace

// Shared by the service and its open ports, so that a port closed after the
// service is gone (at program end) finds what it unregisters from.
struct BuiltInMidiService::Core {
  struct Sim {
    sim::Trv408 keyboard;
    sim::SimLink link{keyboard, sim::Timing{}};
  };

  // Callbacks name the link they come from; those of a replaced one are
  // ignored (a link has stopped calling before its memory is reused).
  void Deliver(const Sim* from, const sim::Message& message);
  void Sent(const Sim* from, uint64_t serial);

  // Guards everything below except `pending`; taken before an event mutex.
  std::mutex mutex;
  std::shared_ptr<Sim> sim;
  BuiltInIn* input = nullptr;
  BuiltInOut* output = nullptr;
  std::atomic<int> pending{0};  // sends that will still go out
};

namespace {

using Core = BuiltInMidiService::Core;

class BuiltInIn : public MidiInQueue {
 public:
  BuiltInIn(std::shared_ptr<Core> core, MidiEvent& event)
      : MidiInQueue(event), core_(std::move(core)) {}

  ~BuiltInIn() override {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (core_->input == this) core_->input = nullptr;
  }

  using MidiInQueue::Deliver;

 private:
  std::shared_ptr<Core> core_;
};

// The link reports a message gone out on its own thread, maybe long after
// the port gave up on it; `serial_` tells whether it is still the one the
// header carries.
class BuiltInOut : public MidiOutBuffer {
 public:
  BuiltInOut(std::shared_ptr<Core> core, MidiEvent& event)
      : MidiOutBuffer(event), core_(std::move(core)) {}

  ~BuiltInOut() override {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (core_->output == this) core_->output = nullptr;
  }

  MidiResult LongMsg(MidiHeader& header) override {
    const MidiResult result = Sendable(header);
    if (result != midi_result::kOk) return result;

    const sim::Message message(header.data, header.data + header.bufferLength);
    std::shared_ptr<Core::Sim> sim;
    uint64_t serial = 0;
    {
      std::lock_guard<std::mutex> lock(core_->mutex);
      sim = core_->sim;
      serial = ++serial_;
      sending_ = &header;
      const bool stalls = sim->keyboard.CurrentFault() == sim::Fault::StallOutput;
      event_.Post([&] {
        header.flags = (header.flags & ~MidiHeader::kDone) | MidiHeader::kInQueue;
        if (!stalls) ++core_->pending;
      });
    }
    std::weak_ptr<Core> core = core_;
    sim->link.Send(message, [core, from = sim.get(), serial] {
      if (auto alive = core.lock()) alive->Sent(from, serial);
    });
    return midi_result::kOk;
  }

  MidiResult Reset() override {
    std::lock_guard<std::mutex> lock(core_->mutex);
    ++serial_;
    if (sending_ != nullptr) Finish(false);
    return midi_result::kOk;
  }

  // With the core mutex held.
  void Finish(bool wentOut) {
    event_.Post([&] {
      sending_->flags = (sending_->flags & ~MidiHeader::kInQueue) | MidiHeader::kDone;
      if (wentOut) --core_->pending;
    });
    sending_ = nullptr;
  }
  bool Carries(uint64_t serial) const { return sending_ != nullptr && serial_ == serial; }

 private:
  std::shared_ptr<Core> core_;
  MidiHeader* sending_ = nullptr;
  uint64_t serial_ = 0;
};

}  // namespace

void Core::Deliver(const Sim* from, const sim::Message& message) {
  std::lock_guard<std::mutex> lock(mutex);
  if (from == sim.get() && input != nullptr) input->Deliver(message.data(), message.size());
}

void Core::Sent(const Sim* from, uint64_t serial) {
  std::lock_guard<std::mutex> lock(mutex);
  if (from != sim.get()) return;
  if (output != nullptr && output->Carries(serial))
    output->Finish(true);
  else
    --pending;
}

BuiltInMidiService::BuiltInMidiService() : core_(std::make_shared<Core>()) { Reset(); }

// The link's thread must end here, not on itself through a callback that
// happens to hold the last reference to the core.
BuiltInMidiService::~BuiltInMidiService() {
  std::shared_ptr<Core::Sim> sim;
  {
    std::lock_guard<std::mutex> lock(core_->mutex);
    sim = std::move(core_->sim);
  }
}

std::vector<std::string> BuiltInMidiService::InputNames() { return {MidiSystem::kBuiltInName}; }

std::vector<std::string> BuiltInMidiService::OutputNames() { return {MidiSystem::kBuiltInName}; }

MidiResult BuiltInMidiService::OpenIn(unsigned device, MidiEvent& event,
                                      std::unique_ptr<MidiInPort>& port) {
  if (device != 0) return midi_result::kBadDeviceId;
  std::lock_guard<std::mutex> lock(core_->mutex);
  if (core_->input != nullptr) return midi_result::kAllocated;
  auto opened = std::make_unique<BuiltInIn>(core_, event);
  core_->input = opened.get();
  port = std::move(opened);
  return midi_result::kOk;
}

MidiResult BuiltInMidiService::OpenOut(unsigned device, MidiEvent& event,
                                       std::unique_ptr<MidiOutPort>& port) {
  if (device != 0) return midi_result::kBadDeviceId;
  std::lock_guard<std::mutex> lock(core_->mutex);
  if (core_->output != nullptr) return midi_result::kAllocated;
  auto opened = std::make_unique<BuiltInOut>(core_, event);
  core_->output = opened.get();
  port = std::move(opened);
  return midi_result::kOk;
}

sim::Trv408& BuiltInMidiService::Keyboard() {
  std::lock_guard<std::mutex> lock(core_->mutex);
  return core_->sim->keyboard;
}

sim::SimLink& BuiltInMidiService::Link() {
  std::lock_guard<std::mutex> lock(core_->mutex);
  return core_->sim->link;
}

void BuiltInMidiService::Reset() {
  auto fresh = std::make_shared<Core::Sim>();
  std::weak_ptr<Core> core = core_;
  fresh->link.SetSink([core, from = fresh.get()](const sim::Message& message) {
    if (auto alive = core.lock()) alive->Deliver(from, message);
  });
  std::shared_ptr<Core::Sim> old;
  {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->pending = 0;
    old = std::exchange(core_->sim, fresh);
  }
}

bool BuiltInMidiService::OutputSettled() const { return core_->pending == 0; }
