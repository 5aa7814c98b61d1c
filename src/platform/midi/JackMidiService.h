#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/midi/MidiService.h"

class JackSysExClient;

// The MIDI ports of a JACK server, all through one client of the program
// (its own ports are left out of the lists). Without a server the lists are
// empty and nothing fails.
class JackMidiService : public MidiService {
 public:
  explicit JackMidiService(const std::string& clientName);
  ~JackMidiService() override;

  // A server answered.
  bool Works() const { return client_ != nullptr; }

  std::vector<std::string> InputNames() override;
  std::vector<std::string> OutputNames() override;
  MidiResult OpenIn(unsigned device, MidiReceiver receiver,
                    std::unique_ptr<MidiInPort>& port) override;
  MidiResult OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) override;

 private:
  // Shared with the open ports, which may outlive the service.
  std::shared_ptr<JackSysExClient> client_;
};
