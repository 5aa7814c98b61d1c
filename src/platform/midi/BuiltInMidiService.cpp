#include "platform/midi/BuiltInMidiService.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <utility>

#include "platform/midi/MidiSystem.h"
#include "platform/midi/TimedQueue.h"
#include "sim/SimLink.h"
#include "sim/Trv408.h"

namespace {
class BuiltInIn;
class BuiltInOut;
}  // namespace

// Shared by the service and its open ports, so that a port closed after the
// service is gone (at program end) finds what it unregisters from.
struct BuiltInMidiService::Core {
  // The link's events run on the queue's thread, which ends before the link
  // and the keyboard go.
  struct Sim {
    ~Sim() { queue.Stop(); }
    sim::Trv408 keyboard;
    TimedQueue queue;
    sim::SimLink link{keyboard, sim::Timing{}, queue};
  };

  // Callbacks name the link they come from; those of a replaced one are
  // ignored (a link has stopped calling before its memory is reused).
  void Deliver(const Sim* from, const sim::Message& message, MidiArrival at);
  void Sent(const Sim* from, const BuiltInOut* port, const std::function<void()>& sent);

  // Guards everything below except `pending`.
  std::mutex mutex;
  std::shared_ptr<Sim> sim;
  BuiltInIn* input = nullptr;
  BuiltInOut* output = nullptr;
  std::atomic<int> pending{0};  // sends that will still go out
};

namespace {

using Core = BuiltInMidiService::Core;

class BuiltInIn : public MidiInPort {
 public:
  BuiltInIn(std::shared_ptr<Core> core, MidiReceiver receiver)
      : core_(std::move(core)), receiver_(std::move(receiver)) {}

  ~BuiltInIn() override {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (core_->input == this) core_->input = nullptr;
  }

  // With the core mutex held.
  void Deliver(const sim::Message& message, MidiArrival at) {
    receiver_(message.data(), message.size(), at);
  }

 private:
  std::shared_ptr<Core> core_;
  MidiReceiver receiver_;
};

class BuiltInOut : public MidiOutPort {
 public:
  explicit BuiltInOut(std::shared_ptr<Core> core) : core_(std::move(core)) {}

  ~BuiltInOut() override {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (core_->output == this) core_->output = nullptr;
  }

  MidiResult Send(const uint8_t* data, size_t size, std::function<void()> sent) override {
    if (size == 0) return midi_result::kInvalidParam;
    const sim::Message message(data, data + size);
    std::shared_ptr<Core::Sim> sim;
    {
      std::lock_guard<std::mutex> lock(core_->mutex);
      sim = core_->sim;
      if (!sim) return midi_result::kInvalidHandle;  // the service is gone
      if (sim->keyboard.CurrentFault() != sim::Fault::StallOutput) ++core_->pending;
    }
    std::weak_ptr<Core> core = core_;
    sim->link.Send(message, [core, from = sim.get(), port = this, sent = std::move(sent)] {
      if (auto alive = core.lock()) alive->Sent(from, port, sent);
    });
    return midi_result::kOk;
  }

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace

// Stamped with the moment the link delivers it, however late its thread runs.
void Core::Deliver(const Sim* from, const sim::Message& message, MidiArrival at) {
  std::lock_guard<std::mutex> lock(mutex);
  if (from == sim.get() && input != nullptr) input->Deliver(message, at);
}

// A port closed meanwhile, or another one opened at the same address, is
// told nothing.
void Core::Sent(const Sim* from, const BuiltInOut* port, const std::function<void()>& sent) {
  std::lock_guard<std::mutex> lock(mutex);
  if (from != sim.get()) return;
  // Told before the message counts as gone: a waiter that asks whether
  // anything is still on its way then finds the report already there.
  if (output == port && sent) sent();
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

MidiResult BuiltInMidiService::OpenIn(unsigned device, MidiReceiver receiver,
                                      std::unique_ptr<MidiInPort>& port) {
  if (device != 0) return midi_result::kBadDeviceId;
  std::lock_guard<std::mutex> lock(core_->mutex);
  if (core_->input != nullptr) return midi_result::kAllocated;
  auto opened = std::make_unique<BuiltInIn>(core_, std::move(receiver));
  core_->input = opened.get();
  port = std::move(opened);
  return midi_result::kOk;
}

MidiResult BuiltInMidiService::OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) {
  if (device != 0) return midi_result::kBadDeviceId;
  std::lock_guard<std::mutex> lock(core_->mutex);
  if (core_->output != nullptr) return midi_result::kAllocated;
  auto opened = std::make_unique<BuiltInOut>(core_);
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
  fresh->link.SetSink([core, from = fresh.get()](const sim::Message& message, MidiArrival at) {
    if (auto alive = core.lock()) alive->Deliver(from, message, at);
  });
  std::shared_ptr<Core::Sim> old;
  {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->pending = 0;
    old = std::exchange(core_->sim, fresh);
  }
}

bool BuiltInMidiService::OutputSettled() const { return core_->pending == 0; }

// Actions due at the same moment run in posting order: the first wait ends
// after the last message sent has been handled, which has scheduled its
// answers; the second after the last of those has been delivered.
void BuiltInMidiService::Flush() {
  std::shared_ptr<Core::Sim> sim;
  {
    std::lock_guard<std::mutex> lock(core_->mutex);
    sim = core_->sim;
  }
  if (sim->queue.OnQueueThread()) return;
  for (const bool answers : {false, true}) {
    std::promise<void> reached;
    std::future<void> future = reached.get_future();
    const auto at = answers ? sim->link.ProgramFreeAt() : sim->link.KeyboardFreeAt();
    sim->queue.At(std::max(sim->queue.Now(), at), [&reached] { reached.set_value(); });
    future.wait();
  }
}
