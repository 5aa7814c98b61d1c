#pragma once

#include <emscripten/val.h>

#include <string>
#include <vector>

#include "protocol/KeyboardProbe.h"

// Every Web MIDI port of the page, for a detection: the page lists, opens
// and sends (host.probeInputs(), probeOutputs(), probeOpenIn(i),
// probeOpenOut(o), probeSend(o, bytes), probeClose()) and hands what an
// input receives to the engine. The simulator in the page is never among
// them.
class WebProbePorts : public ProbePorts {
 public:
  explicit WebProbePorts(emscripten::val host) : host_(std::move(host)) {}

  std::vector<std::string> InputNames() override;
  std::vector<std::string> OutputNames() override;
  bool OpenIn(unsigned input) override;
  bool OpenOut(unsigned output) override;
  bool Send(unsigned output, const std::vector<uint8_t>& message) override;
  void CloseAll() override;

 private:
  emscripten::val host_;
};
