#include "WebProbePorts.h"

#include <emscripten/bind.h>

std::vector<std::string> WebProbePorts::InputNames() {
  return emscripten::vecFromJSArray<std::string>(host_.call<emscripten::val>("probeInputs"));
}

std::vector<std::string> WebProbePorts::OutputNames() {
  return emscripten::vecFromJSArray<std::string>(host_.call<emscripten::val>("probeOutputs"));
}

bool WebProbePorts::OpenIn(unsigned input) { return host_.call<bool>("probeOpenIn", input); }

bool WebProbePorts::OpenOut(unsigned output) { return host_.call<bool>("probeOpenOut", output); }

bool WebProbePorts::Send(unsigned output, const std::vector<uint8_t>& message) {
  const emscripten::val bytes(emscripten::typed_memory_view(message.size(), message.data()));
  return host_.call<bool>("probeSend", output, bytes);
}

void WebProbePorts::CloseAll() { host_.call<void>("probeClose"); }
