#include "ScriptedMidiService.h"

#include <utility>

#include "platform/midi/MidiInQueue.h"
#include "platform/midi/MidiOutBuffer.h"

namespace {
class ScriptedIn;
}  // namespace

// The far end, shared with the open ports so that either may outlive the other.
struct ScriptedMidiService::Far {
  // The next record if it arrives at `timing`; kAnswer takes any record.
  bool Take(Script::Timing timing, Message& message);
  void Arrive(Script::Timing timing);

  std::mutex mutex;  // guards everything below; never held while a port's event is posted
  std::deque<Script::Record> script;
  Listener listener;
  ScriptedIn* input = nullptr;
  bool outputOpen = false;
};

namespace {

using Far = ScriptedMidiService::Far;

class ScriptedIn : public MidiInQueue {
 public:
  ScriptedIn(std::shared_ptr<Far> far, MidiEvent& event)
      : MidiInQueue(event), far_(std::move(far)) {}

  ~ScriptedIn() override {
    std::lock_guard<std::mutex> lock(far_->mutex);
    if (far_->input == this) far_->input = nullptr;
  }

  MidiResult AddBuffer(MidiHeader& header) override {
    const MidiResult result = MidiInQueue::AddBuffer(header);
    far_->Arrive(Script::Timing::kBetween);
    return result;
  }

  MidiResult Start() override {
    const MidiResult result = MidiInQueue::Start();
    far_->Arrive(Script::Timing::kEarly);
    return result;
  }

  using MidiInQueue::Deliver;

 private:
  std::shared_ptr<Far> far_;
};

// Every message goes out at once: the header is handed back before LongMsg
// returns, and the answer follows.
class ScriptedOut : public MidiOutBuffer {
 public:
  ScriptedOut(std::shared_ptr<Far> far, MidiEvent& event)
      : MidiOutBuffer(event), far_(std::move(far)) {}

  ~ScriptedOut() override {
    std::lock_guard<std::mutex> lock(far_->mutex);
    far_->outputOpen = false;
  }

  MidiResult LongMsg(MidiHeader& header) override {
    const MidiResult result = Sendable(header);
    if (result != midi_result::kOk) return result;
    const ScriptedMidiService::Message sent(header.data, header.data + header.bufferLength);
    event_.Post([&] { header.flags |= MidiHeader::kDone; });
    ScriptedMidiService::Listener listener;
    {
      std::lock_guard<std::mutex> lock(far_->mutex);
      listener = far_->listener;
    }
    if (listener) listener(sent);
    far_->Arrive(Script::Timing::kAnswer);
    return midi_result::kOk;
  }

  MidiResult Reset() override { return midi_result::kOk; }

 private:
  std::shared_ptr<Far> far_;
};

}  // namespace

bool Far::Take(Script::Timing timing, Message& message) {
  if (script.empty()) return false;
  if (timing != Script::Timing::kAnswer && script.front().timing != timing) return false;
  message = std::move(script.front().message);
  script.pop_front();
  return true;
}

// The port's queue posts the port's event; the far end's lock is let go
// first, so that the two locks are never nested.
void Far::Arrive(Script::Timing timing) {
  Message message;
  ScriptedIn* in = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!Take(timing, message)) return;
    in = input;
  }
  if (in != nullptr) in->Deliver(message.data(), message.size());
}

ScriptedMidiService::ScriptedMidiService() : far_(std::make_shared<Far>()) {}

ScriptedMidiService::~ScriptedMidiService() = default;

void ScriptedMidiService::Play(const uint8_t* data, size_t size) {
  auto records = Script::Parse(data, size);
  std::lock_guard<std::mutex> lock(far_->mutex);
  far_->script.assign(std::make_move_iterator(records.begin()),
                      std::make_move_iterator(records.end()));
}

void ScriptedMidiService::Queue(Script::Timing timing, const Message& message) {
  std::lock_guard<std::mutex> lock(far_->mutex);
  far_->script.push_back({timing, message});
}

void ScriptedMidiService::Listen(Listener listener) {
  std::lock_guard<std::mutex> lock(far_->mutex);
  far_->listener = std::move(listener);
}

std::vector<std::string> ScriptedMidiService::InputNames() { return {"Scripted keyboard"}; }

std::vector<std::string> ScriptedMidiService::OutputNames() { return {"Scripted keyboard"}; }

MidiResult ScriptedMidiService::OpenIn(unsigned device, MidiEvent& event,
                                       std::unique_ptr<MidiInPort>& port) {
  if (device != 0) return midi_result::kBadDeviceId;
  std::lock_guard<std::mutex> lock(far_->mutex);
  if (far_->input != nullptr) return midi_result::kAllocated;
  auto opened = std::make_unique<ScriptedIn>(far_, event);
  far_->input = opened.get();
  port = std::move(opened);
  return midi_result::kOk;
}

MidiResult ScriptedMidiService::OpenOut(unsigned device, MidiEvent& event,
                                        std::unique_ptr<MidiOutPort>& port) {
  if (device != 0) return midi_result::kBadDeviceId;
  std::lock_guard<std::mutex> lock(far_->mutex);
  if (far_->outputOpen) return midi_result::kAllocated;
  port = std::make_unique<ScriptedOut>(far_, event);
  far_->outputOpen = true;
  return midi_result::kOk;
}
