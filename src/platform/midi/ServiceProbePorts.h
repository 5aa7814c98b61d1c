#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/midi/MidiService.h"
#include "protocol/KeyboardProbe.h"

// The ports of a MIDI service as a probe asks them. What an open input
// receives goes to `arrived` on the service's thread, with the input's
// number and the moment it came; the driver of the probe carries it over.
class ServiceProbePorts : public ProbePorts {
 public:
  using Arrived =
      std::function<void(unsigned input, const uint8_t* message, size_t size, MidiArrival at)>;

  ServiceProbePorts(MidiService& service, Arrived arrived);
  ~ServiceProbePorts() override;
  ServiceProbePorts(const ServiceProbePorts&) = delete;
  ServiceProbePorts& operator=(const ServiceProbePorts&) = delete;

  std::vector<std::string> InputNames() override { return service_.InputNames(); }
  std::vector<std::string> OutputNames() override { return service_.OutputNames(); }
  bool OpenIn(unsigned input) override;
  bool OpenOut(unsigned output) override;
  bool Send(unsigned output, const std::vector<uint8_t>& message) override;
  // Once it returns, `arrived` is not called again.
  void CloseAll() override;

 private:
  MidiService& service_;
  Arrived arrived_;
  std::map<unsigned, std::unique_ptr<MidiInPort>> inputs_;
  std::map<unsigned, std::unique_ptr<MidiOutPort>> outputs_;
};
