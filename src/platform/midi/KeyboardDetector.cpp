#include "platform/midi/KeyboardDetector.h"

#include <algorithm>

#include "protocol/QnSysEx.h"

namespace {

constexpr uint8_t kStart = 0xF0;
constexpr uint8_t kEnd = 0xF7;
constexpr uint8_t kManufacturer = 0x44;
constexpr uint8_t kTypeParameter = 0x00;
constexpr uint8_t kReadCommand = 0x10;          // read, category 0
constexpr uint8_t kOneIndexWidth14 = 0x0D;      // one index byte, 14-bit value
constexpr size_t kAnswerSize = 10 + 1 + 2 + 1;  // header, index, two groups, end
constexpr size_t kBufferSize = 256;             // what a port's buffer holds of a message
constexpr int32_t kServedType = 0;

}  // namespace

// An open input; what it receives is queued for the detector.
struct KeyboardDetector::Input {
  unsigned number;
  std::string name;
  std::unique_ptr<MidiInPort> port;
};

std::vector<KeyboardDetector::Keyboard> KeyboardDetector::Result::Served() const {
  std::vector<Keyboard> served;
  for (const Keyboard& k : keyboards)
    if (k.type == kServedType) served.push_back(k);
  return served;
}

KeyboardDetector::KeyboardDetector(MidiService& service, WaitClock& clock,
                                   std::set<unsigned> skipInputs, std::set<unsigned> skipOutputs)
    : service_(service),
      clock_(clock),
      skipInputs_(std::move(skipInputs)),
      skipOutputs_(std::move(skipOutputs)) {}

KeyboardDetector::~KeyboardDetector() = default;

std::vector<uint8_t> KeyboardDetector::TypeRequest() {
  const uint16_t model = QnSysEx::kModelCode;
  return {kStart,
          kManufacturer,
          static_cast<uint8_t>(model >> 8),
          static_cast<uint8_t>(model & 0xFF),
          QnSysEx::kDeviceNumber,
          kReadCommand,
          kTypeParameter,
          kOneIndexWidth14,
          0x00,
          0x00,
          0x00,
          kEnd};
}

bool KeyboardDetector::IsTypeAnswer(const uint8_t* message, size_t size, int32_t& type) {
  const std::vector<uint8_t> request = TypeRequest();
  // The echo of the request has the request's length, so it is never taken.
  if (size < kAnswerSize || message[size - 1] != kEnd) return false;
  // The maker, model and device, a parameter value, the type parameter.
  for (size_t i = 0; i < 5; ++i) {
    if (message[i] != request[i]) return false;
  }
  if ((message[5] & 0xF0) != kReadCommand || message[6] != kTypeParameter) return false;
  for (size_t i = 1; i < size - 1; ++i) {
    if (message[i] >= 0x80) return false;
  }
  type = message[11] | message[12] << 7;
  return true;
}

KeyboardDetector::Result KeyboardDetector::Detect() {
  Result result;
  std::vector<Input> inputs;
  const std::vector<std::string> inputNames = service_.InputNames();
  for (unsigned n = 0; n < inputNames.size(); ++n) {
    if (skipInputs_.count(n) != 0) continue;
    Input input{n, inputNames[n], nullptr};
    const size_t index = inputs.size();
    const MidiReceiver receiver = [this, index](const uint8_t* message, size_t size) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        arrivals_.push_back({index, std::vector<uint8_t>(message, message + size)});
      }
      arrived_.notify_all();
    };
    if (service_.OpenIn(n, receiver, input.port) != midi_result::kOk || !input.port) {
      result.unopenedInputs.push_back({n, inputNames[n]});
      continue;
    }
    inputs.push_back(std::move(input));
  }

  // Every output is opened before the first probe: a port's connection may
  // take a moment to carry messages after it is made, and by the time its
  // turn comes the others' openings have given it that moment.
  std::vector<std::pair<Port, std::unique_ptr<MidiOutPort>>> outputs;
  const std::vector<std::string> outputNames = service_.OutputNames();
  for (unsigned n = 0; n < outputNames.size(); ++n) {
    if (skipOutputs_.count(n) != 0) continue;
    std::unique_ptr<MidiOutPort> port;
    if (service_.OpenOut(n, port) != midi_result::kOk || !port) {
      result.unopenedOutputs.push_back({n, outputNames[n]});
      continue;
    }
    outputs.emplace_back(Port{n, outputNames[n]}, std::move(port));
  }
  std::vector<Keyboard> found;
  for (auto& [port, out] : outputs) {
    if (!Probe(port, *out, inputs, found)) result.unopenedOutputs.push_back(port);
  }
  // An answer later than the probe window arrives in the next output's and
  // would pair the keyboard with that output: a pair stands only when its
  // output, probed again alone, gets the same answer on the same input.
  for (auto& [port, out] : outputs) {
    const auto onPort = [&port = port](const Keyboard& k) { return k.out.number == port.number; };
    if (std::none_of(found.begin(), found.end(), onPort)) continue;
    std::vector<Keyboard> again;
    Probe(port, *out, inputs, again);
    for (const Keyboard& k : found) {
      if (!onPort(k)) continue;
      const bool confirmed = std::any_of(again.begin(), again.end(), [&k](const Keyboard& a) {
        return a.in.number == k.in.number && a.type == k.type;
      });
      if (confirmed) result.keyboards.push_back(k);
    }
  }
  outputs.clear();

  // Closed ports call no more; what they queued goes with the detector.
  inputs.clear();
  return result;
}

bool KeyboardDetector::Probe(const Port& output, MidiOutPort& port,
                             const std::vector<Input>& inputs, std::vector<Keyboard>& found) {
  // What came before this probe answers another output, or nothing.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    arrivals_.clear();
  }
  const std::vector<uint8_t> request = TypeRequest();
  MidiClock::TimePoint deadline = clock_.Now() + kProbeWindow;
  if (port.Send(request.data(), request.size(), nullptr) != midi_result::kOk) return false;

  std::set<unsigned> answered;
  for (bool woke = true; woke;) {
    std::deque<Arrival> arrived;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      woke = clock_.WaitUntil(lock, arrived_, deadline, [&] { return !arrivals_.empty(); });
      arrived.swap(arrivals_);
    }
    for (const Arrival& arrival : arrived) {
      const Input& input = inputs[arrival.input];
      const size_t size = std::min(arrival.message.size(), kBufferSize);
      int32_t type = 0;
      if (IsTypeAnswer(arrival.message.data(), size, type) &&
          answered.insert(input.number).second) {
        found.push_back({{input.number, input.name}, output, type});
      }
    }
    if (!answered.empty()) deadline = std::min(deadline, clock_.Now() + kAfterAnswer);
  }
  return true;
}
