#pragma once

#include <rtmidi/RtMidi.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/midi/MidiService.h"

// The operating system's MIDI ports through RtMidi, but for JACK (see
// JackMidiService). The API is the one named (RtMidi's names: "alsa", ...),
// or with no name the first compiled API that works on this machine. When none works the lists are
// empty and nothing fails. Ports that this program opened itself are left out of the lists, so that
// the numbers of the others do not shift.
class RtMidiService : public MidiService {
 public:
  // The API named by the environment variable RAVLIN_MIDI_API, if set.
  RtMidiService();
  explicit RtMidiService(const std::string& apiName);
  ~RtMidiService() override;

  std::vector<std::string> InputNames() override;
  std::vector<std::string> OutputNames() override;
  MidiResult OpenIn(unsigned device, MidiReceiver receiver,
                    std::unique_ptr<MidiInPort>& port) override;
  MidiResult OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) override;

  // RtMidi's name of the API in use; empty when none works.
  std::string ApiName() const;

 private:
  bool TryApi(RtMidi::Api api);

  struct Listers;  // one RtMidi object of each direction, for the lists

  std::mutex mutex_;
  RtMidi::Api api_ = RtMidi::UNSPECIFIED;
  std::unique_ptr<Listers> listers_;
};
