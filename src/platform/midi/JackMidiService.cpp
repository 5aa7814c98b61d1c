#include "platform/midi/JackMidiService.h"

#include "platform/midi/JackSysExClient.h"
#include "platform/midi/MidiInQueue.h"
#include "platform/midi/MidiOutBuffer.h"

namespace {

class JackInPort : public MidiInQueue {
 public:
  JackInPort(MidiEvent& event, std::shared_ptr<JackSysExClient> client)
      : MidiInQueue(event), client_(std::move(client)) {}

  ~JackInPort() override {
    Close();
    if (port_ >= 0) client_->CloseInput(port_);
  }

  bool Open(const std::string& source) {
    port_ = client_->OpenInput(
        source, [this](const uint8_t* message, size_t size) { Deliver(message, size); });
    return port_ >= 0;
  }

 private:
  std::shared_ptr<JackSysExClient> client_;
  int port_ = -1;
};

class JackOutPort : public MidiOutBuffer {
 public:
  JackOutPort(MidiEvent& event, std::shared_ptr<JackSysExClient> client)
      : MidiOutBuffer(event), client_(std::move(client)) {}

  ~JackOutPort() override {
    if (port_ >= 0) client_->CloseOutput(port_);
  }

  bool Open(const std::string& sink) {
    port_ = client_->OpenOutput(sink);
    return port_ >= 0;
  }

  // The message is the client's once queued; the next period takes it out.
  MidiResult LongMsg(MidiHeader& header) override {
    if (const MidiResult unsendable = Sendable(header); unsendable != midi_result::kOk)
      return unsendable;
    if (!client_->Send(port_, header.data, header.bufferLength)) return midi_result::kNotReady;
    event_.Post([&] { header.flags |= MidiHeader::kDone; });
    return midi_result::kOk;
  }

  MidiResult Reset() override { return midi_result::kOk; }

 private:
  std::shared_ptr<JackSysExClient> client_;
  int port_ = -1;
};

// Opens port `device` of `names` as a `Port` of the client.
template <typename Port, typename Base>
MidiResult OpenPort(const std::shared_ptr<JackSysExClient>& client,
                    const std::vector<std::string>& names, unsigned device, MidiEvent& event,
                    std::unique_ptr<Base>& port) {
  if (device >= names.size()) return midi_result::kBadDeviceId;
  auto opened = std::make_unique<Port>(event, client);
  if (!opened->Open(names[device])) return midi_result::kNotEnabled;
  port = std::move(opened);
  return midi_result::kOk;
}

}  // namespace

JackMidiService::JackMidiService(const std::string& clientName)
    : client_(JackSysExClient::Open(clientName)) {}

JackMidiService::~JackMidiService() = default;

std::vector<std::string> JackMidiService::InputNames() {
  return client_ ? client_->Sources() : std::vector<std::string>();
}

std::vector<std::string> JackMidiService::OutputNames() {
  return client_ ? client_->Sinks() : std::vector<std::string>();
}

MidiResult JackMidiService::OpenIn(unsigned device, MidiEvent& event,
                                   std::unique_ptr<MidiInPort>& port) {
  if (!client_) return midi_result::kNoDriver;
  return OpenPort<JackInPort>(client_, client_->Sources(), device, event, port);
}

MidiResult JackMidiService::OpenOut(unsigned device, MidiEvent& event,
                                    std::unique_ptr<MidiOutPort>& port) {
  if (!client_) return midi_result::kNoDriver;
  return OpenPort<JackOutPort>(client_, client_->Sinks(), device, event, port);
}
