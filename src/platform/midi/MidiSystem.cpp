#include "platform/midi/MidiSystem.h"

#include <cstdlib>

#include "platform/midi/BuiltInMidiService.h"
#include "platform/midi/KeyboardDetector.h"
#include "platform/midi/RtMidiService.h"
#ifdef RAVLIN_HAVE_JACK
#include "platform/midi/JackMidiService.h"
#endif

namespace {

std::string& ClientName() {
  static std::string name = "Ravlin";
  return name;
}

}  // namespace

MidiSystem& MidiSystem::Instance() {
  static MidiSystem system;
  return system;
}

void MidiSystem::SetClientName(const std::string& name) { ClientName() = name; }

MidiSystem::MidiSystem() : builtIn_(std::make_unique<BuiltInMidiService>()) {
  const char* api = std::getenv("RAVLIN_MIDI_API");
  OpenSystem(api != nullptr ? api : "");
}

// RtMidi tries its APIs in the order it was built with, JACK after ALSA; JACK
// is left to JackMidiService, which comes in where RtMidi would have tried it.
void MidiSystem::OpenSystem(const std::string& api) {
#ifdef RAVLIN_HAVE_JACK
  if (api == "jack") {
    auto jack = std::make_unique<JackMidiService>(ClientName());
    if (jack->Works()) apiName_ = api;
    system_ = std::move(jack);
    return;
  }
#endif
  auto rt = std::make_unique<RtMidiService>(api);
  apiName_ = rt->ApiName();
  system_ = std::move(rt);
#ifdef RAVLIN_HAVE_JACK
  if (api.empty() && apiName_.empty()) {
    auto jack = std::make_unique<JackMidiService>(ClientName());
    if (!jack->Works()) return;
    apiName_ = "jack";
    system_ = std::move(jack);
  }
#endif
}

MidiSystem::~MidiSystem() = default;

MidiService& MidiSystem::Front() {
  if (front_) return *front_;
  return *system_;
}

std::vector<std::string> MidiSystem::InputNames() {
  std::vector<std::string> names = Front().InputNames();
  for (auto& name : builtIn_->InputNames()) names.push_back(std::move(name));
  return names;
}

std::vector<std::string> MidiSystem::OutputNames() {
  std::vector<std::string> names = Front().OutputNames();
  for (auto& name : builtIn_->OutputNames()) names.push_back(std::move(name));
  return names;
}

// The numbers follow the lists as they are now: the system's ports, then the
// built-in ones.
MidiResult MidiSystem::OpenIn(unsigned device, MidiReceiver receiver,
                              std::unique_ptr<MidiInPort>& port) {
  const unsigned count = static_cast<unsigned>(Front().InputNames().size());
  if (device < count) return Front().OpenIn(device, std::move(receiver), port);
  return builtIn_->OpenIn(device - count, std::move(receiver), port);
}

MidiResult MidiSystem::OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) {
  const unsigned count = static_cast<unsigned>(Front().OutputNames().size());
  if (device < count) return Front().OpenOut(device, port);
  return builtIn_->OpenOut(device - count, port);
}

KeyboardProbe::Result MidiSystem::DetectKeyboards() {
  return KeyboardDetector(*this, WaitClock::Steady(), {BuiltInInput()}, {BuiltInOutput()}).Detect();
}

unsigned MidiSystem::BuiltInInput() { return static_cast<unsigned>(Front().InputNames().size()); }

unsigned MidiSystem::BuiltInOutput() { return static_cast<unsigned>(Front().OutputNames().size()); }

sim::Trv408& MidiSystem::BuiltInKeyboard() { return builtIn_->Keyboard(); }

sim::SimLink& MidiSystem::BuiltInLink() { return builtIn_->Link(); }

std::string MidiSystem::ApiName() const { return apiName_; }
