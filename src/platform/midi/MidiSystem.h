#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/midi/MidiService.h"
#include "protocol/KeyboardProbe.h"
#include "sim/Trv408.h"

namespace sim {
class Trv408;
class SimLink;
}  // namespace sim

class BuiltInMidiService;

// The MIDI service the program uses: the ports of the operating system's
// service first (the environment variable RAVLIN_MIDI_API chooses the API,
// otherwise the first one that works; JACK through JackMidiService, the
// others through RtMidi), then the built-in simulator's
// one input and one output. A machine without any MIDI service lists only
// the built-in device.
class MidiSystem : public MidiService {
 public:
  static constexpr const char* kBuiltInName = sim::Trv408::kPortName;

  static MidiSystem& Instance();
  // The name the program goes by on the MIDI service ("Ravlin" unless set
  // before the first Instance()).
  static void SetClientName(const std::string& name);

  std::vector<std::string> InputNames() override;
  std::vector<std::string> OutputNames() override;
  MidiResult OpenIn(unsigned device, MidiReceiver receiver,
                    std::unique_ptr<MidiInPort>& port) override;
  MidiResult OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) override;

  // Every port but the built-in simulator's, on the real clock, waiting for
  // the answers: what the command-line tool asks.
  KeyboardProbe::Result DetectKeyboards();

  // Device numbers of the built-in simulator's ports.
  unsigned BuiltInInput();
  unsigned BuiltInOutput();
  sim::Trv408& BuiltInKeyboard();
  sim::SimLink& BuiltInLink();
  BuiltInMidiService& BuiltIn() { return *builtIn_; }
  // Name of the system API in use ("alsa", "jack", ...), empty when none works.
  std::string ApiName() const;
  // Lists `service`'s ports in place of the operating system's (nullptr: the
  // system's again), for tests that need the built-in device at a number
  // other than 0 on a machine without any MIDI service.
  void UseSystemService(MidiService* service) { front_ = service; }

 private:
  MidiSystem();
  ~MidiSystem();
  MidiService& Front();
  void OpenSystem(const std::string& api);

  std::unique_ptr<MidiService> system_;
  std::string apiName_;
  MidiService* front_ = nullptr;
  std::unique_ptr<BuiltInMidiService> builtIn_;
};
