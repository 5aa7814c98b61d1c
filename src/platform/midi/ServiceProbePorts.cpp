#include "platform/midi/ServiceProbePorts.h"

#include <utility>

ServiceProbePorts::ServiceProbePorts(MidiService& service, Arrived arrived)
    : service_(service), arrived_(std::move(arrived)) {}

ServiceProbePorts::~ServiceProbePorts() { CloseAll(); }

bool ServiceProbePorts::OpenIn(unsigned input) {
  const MidiReceiver receiver = [this, input](const uint8_t* message, size_t size, MidiArrival at) {
    arrived_(input, message, size, at);
  };
  std::unique_ptr<MidiInPort> port;
  if (service_.OpenIn(input, receiver, port) != midi_result::kOk || !port) return false;
  inputs_[input] = std::move(port);
  return true;
}

bool ServiceProbePorts::OpenOut(unsigned output) {
  std::unique_ptr<MidiOutPort> port;
  if (service_.OpenOut(output, port) != midi_result::kOk || !port) return false;
  outputs_[output] = std::move(port);
  return true;
}

bool ServiceProbePorts::Send(unsigned output, const std::vector<uint8_t>& message) {
  const auto port = outputs_.find(output);
  return port != outputs_.end() &&
         port->second->Send(message.data(), message.size(), nullptr) == midi_result::kOk;
}

void ServiceProbePorts::CloseAll() {
  outputs_.clear();
  inputs_.clear();
}
