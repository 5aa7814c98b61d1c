#include "platform/midi/MidiSystem.h"

#include "platform/midi/BuiltInMidiService.h"
#include "platform/midi/RtMidiService.h"

MidiSystem& MidiSystem::Instance() {
  static MidiSystem system;
  return system;
}

MidiSystem::MidiSystem()
    : system_(std::make_unique<RtMidiService>()),
      builtIn_(std::make_unique<BuiltInMidiService>()) {}

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
MidiResult MidiSystem::OpenIn(unsigned device, MidiEvent& event,
                              std::unique_ptr<MidiInPort>& port) {
  const unsigned count = static_cast<unsigned>(Front().InputNames().size());
  if (device < count) return Front().OpenIn(device, event, port);
  return builtIn_->OpenIn(device - count, event, port);
}

MidiResult MidiSystem::OpenOut(unsigned device, MidiEvent& event,
                               std::unique_ptr<MidiOutPort>& port) {
  const unsigned count = static_cast<unsigned>(Front().OutputNames().size());
  if (device < count) return Front().OpenOut(device, event, port);
  return builtIn_->OpenOut(device - count, event, port);
}

unsigned MidiSystem::BuiltInInput() { return static_cast<unsigned>(Front().InputNames().size()); }

unsigned MidiSystem::BuiltInOutput() { return static_cast<unsigned>(Front().OutputNames().size()); }

sim::Trv408& MidiSystem::BuiltInKeyboard() { return builtIn_->Keyboard(); }

sim::SimLink& MidiSystem::BuiltInLink() { return builtIn_->Link(); }

std::string MidiSystem::ApiName() const { return system_->ApiName(); }
