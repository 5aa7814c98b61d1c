#include "protocol/KeyboardDetector.h"

#include <algorithm>

#include "platform/midi/MidiSystem.h"
#include "protocol/QnSysEx.h"

namespace {

constexpr uint8_t kStart = 0xF0;
constexpr uint8_t kEnd = 0xF7;
constexpr uint8_t kManufacturer = 0x44;
constexpr uint8_t kTypeParameter = 0x00;
constexpr uint8_t kReadCommand = 0x10;          // read, category 0
constexpr uint8_t kOneIndexWidth14 = 0x0D;      // one index byte, 14-bit value
constexpr size_t kAnswerSize = 10 + 1 + 2 + 1;  // header, index, two groups, end
constexpr size_t kBuffersPerInput = 8;          // an echo and an answer may come together
constexpr uint32_t kBufferSize = 256;
constexpr int32_t kServedType = 0;

}  // namespace

// An open input with its buffers, all signalling the detector's one event.
struct KeyboardDetector::Input {
  unsigned number;
  std::string name;
  std::unique_ptr<MidiInPort> port;
  std::vector<std::unique_ptr<MidiHeader>> headers;
  std::vector<std::vector<uint8_t>> data;
};

std::vector<KeyboardDetector::Keyboard> KeyboardDetector::Result::Served() const {
  std::vector<Keyboard> served;
  for (const Keyboard& k : keyboards)
    if (k.type == kServedType) served.push_back(k);
  return served;
}

KeyboardDetector::KeyboardDetector(MidiService& service, MidiClock& clock,
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

KeyboardDetector::Result KeyboardDetector::DetectOnMidiSystem() {
  MidiSystem& midi = MidiSystem::Instance();
  return KeyboardDetector(midi, MidiClock::Steady(), {midi.BuiltInInput()}, {midi.BuiltInOutput()})
      .Detect();
}

KeyboardDetector::Result KeyboardDetector::Detect() {
  Result result;
  std::vector<Input> inputs;
  const std::vector<std::string> inputNames = service_.InputNames();
  for (unsigned n = 0; n < inputNames.size(); ++n) {
    if (skipInputs_.count(n) != 0) continue;
    Input input{n, inputNames[n], nullptr, {}, {}};
    if (service_.OpenIn(n, event_, input.port) != midi_result::kOk || !input.port) {
      result.unopenedInputs.push_back({n, inputNames[n]});
      continue;
    }
    for (size_t b = 0; b < kBuffersPerInput; ++b) {
      input.data.emplace_back(kBufferSize);
      auto header = std::make_unique<MidiHeader>();
      *header = MidiHeader{};
      header->data = input.data.back().data();
      header->bufferLength = kBufferSize;
      input.port->Prepare(*header);
      input.port->AddBuffer(*header);
      input.headers.push_back(std::move(header));
    }
    input.port->Start();
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
    if (service_.OpenOut(n, event_, port) != midi_result::kOk || !port) {
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

  for (Input& input : inputs) {
    input.port->Stop();
    input.port->Reset();
    for (auto& header : input.headers) input.port->Unprepare(*header);
    input.port.reset();  // closed before its buffers go
  }
  return result;
}

// Buffers an input has handed back, each with its message; the caller puts
// them back in the queue once it has let go of the event's lock.
std::vector<std::pair<MidiInPort*, MidiHeader*>> KeyboardDetector::Returned(
    std::vector<Input>& inputs) {
  std::vector<std::pair<MidiInPort*, MidiHeader*>> returned;
  for (Input& input : inputs) {
    for (auto& header : input.headers) {
      if ((header->flags & MidiHeader::kDone) && !(header->flags & MidiHeader::kInQueue)) {
        returned.emplace_back(input.port.get(), header.get());
      }
    }
  }
  return returned;
}

bool KeyboardDetector::Probe(const Port& output, MidiOutPort& port, std::vector<Input>& inputs,
                             std::vector<Keyboard>& found) {
  // What came before this probe answers another output, or nothing.
  std::vector<std::pair<MidiInPort*, MidiHeader*>> stale;
  {
    std::lock_guard<std::mutex> lock(event_.Mutex());
    stale = Returned(inputs);
  }
  for (auto [in, header] : stale) in->AddBuffer(*header);

  std::vector<uint8_t> request = TypeRequest();
  MidiHeader out{};
  out.data = request.data();
  out.bufferLength = static_cast<uint32_t>(request.size());
  MidiClock::TimePoint deadline = clock_.Now() + kProbeWindow;
  if (port.Prepare(out) != midi_result::kOk || port.LongMsg(out) != midi_result::kOk) {
    port.Reset();
    port.Unprepare(out);
    return false;
  }

  std::set<unsigned> answered;
  for (bool woke = true; woke;) {
    std::vector<std::pair<MidiInPort*, MidiHeader*>> returned;
    {
      std::unique_lock<std::mutex> lock(event_.Mutex());
      woke = clock_.WaitUntil(lock, event_.Condition(), deadline,
                              [&] { return !Returned(inputs).empty(); });
      if (woke) returned = Returned(inputs);
      for (auto [in, header] : returned) {
        const auto input = std::find_if(inputs.begin(), inputs.end(),
                                        [in = in](const Input& i) { return i.port.get() == in; });
        int32_t type = 0;
        if (IsTypeAnswer(header->data, header->bytesRecorded, type) &&
            answered.insert(input->number).second) {
          found.push_back({{input->number, input->name}, output, type});
        }
      }
    }
    for (auto [in, header] : returned) in->AddBuffer(*header);
    if (!answered.empty()) deadline = std::min(deadline, clock_.Now() + kAfterAnswer);
  }
  port.Reset();
  port.Unprepare(out);
  return true;
}
