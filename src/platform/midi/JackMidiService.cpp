#include "platform/midi/JackMidiService.h"

#include <utility>

#include "platform/midi/JackSysExClient.h"

namespace {

class JackInPort : public MidiInPort {
 public:
  explicit JackInPort(std::shared_ptr<JackSysExClient> client) : client_(std::move(client)) {}

  ~JackInPort() override {
    if (port_ >= 0) client_->CloseInput(port_);
  }

  bool Open(const std::string& source, MidiReceiver receiver) {
    port_ = client_->OpenInput(source, std::move(receiver));
    return port_ >= 0;
  }

 private:
  std::shared_ptr<JackSysExClient> client_;
  int port_ = -1;
};

class JackOutPort : public MidiOutPort {
 public:
  explicit JackOutPort(std::shared_ptr<JackSysExClient> client) : client_(std::move(client)) {}

  ~JackOutPort() override {
    if (port_ >= 0) client_->CloseOutput(port_);
  }

  bool Open(const std::string& sink) {
    port_ = client_->OpenOutput(sink);
    return port_ >= 0;
  }

  // The message is the client's once queued; the next period takes it out.
  MidiResult Send(const uint8_t* data, size_t size, std::function<void()> sent) override {
    if (size == 0) return midi_result::kInvalidParam;
    if (!client_->Send(port_, data, size)) return midi_result::kNotReady;
    if (sent) sent();
    return midi_result::kOk;
  }

 private:
  std::shared_ptr<JackSysExClient> client_;
  int port_ = -1;
};

// Opens port `device` of `names` as a `Port` of the client.
template <typename Port, typename Base, typename... Extra>
MidiResult OpenPort(const std::shared_ptr<JackSysExClient>& client,
                    const std::vector<std::string>& names, unsigned device,
                    std::unique_ptr<Base>& port, Extra&&... extra) {
  if (device >= names.size()) return midi_result::kBadDeviceId;
  auto opened = std::make_unique<Port>(client);
  if (!opened->Open(names[device], std::forward<Extra>(extra)...)) return midi_result::kNotEnabled;
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

MidiResult JackMidiService::OpenIn(unsigned device, MidiReceiver receiver,
                                   std::unique_ptr<MidiInPort>& port) {
  if (!client_) return midi_result::kNoDriver;
  return OpenPort<JackInPort>(client_, client_->Sources(), device, port, std::move(receiver));
}

MidiResult JackMidiService::OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) {
  if (!client_) return midi_result::kNoDriver;
  return OpenPort<JackOutPort>(client_, client_->Sinks(), device, port);
}
