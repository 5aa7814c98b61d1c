#include "protocol/KeyboardProbe.h"

#include <algorithm>
#include <utility>

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

// Runs `end` however the work that holds it ends, also when its task is
// destroyed unfinished.
template <class F>
class AtEnd {
 public:
  explicit AtEnd(F end) : end_(std::move(end)) {}
  ~AtEnd() { end_(); }
  AtEnd(const AtEnd&) = delete;
  AtEnd& operator=(const AtEnd&) = delete;

 private:
  F end_;
};

}  // namespace

std::vector<KeyboardProbe::Keyboard> KeyboardProbe::Result::Served() const {
  std::vector<Keyboard> served;
  for (const Keyboard& k : keyboards)
    if (k.type == kServedType) served.push_back(k);
  return served;
}

KeyboardProbe::KeyboardProbe(ProbePorts& ports, MidiClock& clock, std::set<unsigned> skipInputs,
                             std::set<unsigned> skipOutputs)
    : ports_(ports),
      clock_(clock),
      skipInputs_(std::move(skipInputs)),
      skipOutputs_(std::move(skipOutputs)) {}

std::vector<uint8_t> KeyboardProbe::TypeRequest() {
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

bool KeyboardProbe::IsTypeAnswer(const uint8_t* message, size_t size, int32_t& type) {
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

void KeyboardProbe::Arrived(unsigned input, const uint8_t* message, size_t size) {
  // Outside a probe window a message answers nothing asked.
  if (!waiting_) return;
  arrivals_.push_back(
      {input, std::vector<uint8_t>(message, message + std::min(size, kBufferSize))});
  Resume();
}

void KeyboardProbe::Expire(MidiClock::TimePoint now) {
  if (waiting_ && deadline_ && now >= *deadline_) Resume();
}

std::optional<MidiClock::TimePoint> KeyboardProbe::Deadline() const {
  if (!waiting_) return std::nullopt;
  return deadline_;
}

void KeyboardProbe::Resume() {
  co::coroutine_handle<> work = std::exchange(waiting_, {});
  work.resume();
}

Task<KeyboardProbe::Result> KeyboardProbe::Detect() {
  const AtEnd ending([this] {
    waiting_ = {};
    deadline_.reset();
    arrivals_.clear();
    ports_.CloseAll();
  });
  Result result;
  inputs_.clear();
  const std::vector<std::string> inputNames = ports_.InputNames();
  for (unsigned n = 0; n < inputNames.size(); ++n) {
    if (skipInputs_.count(n) != 0) continue;
    if (ports_.OpenIn(n))
      inputs_.push_back({n, inputNames[n]});
    else
      result.unopenedInputs.push_back({n, inputNames[n]});
  }

  // Every output is opened before the first probe: a port's connection may
  // take a moment to carry messages after it is made, and by the time its
  // turn comes the others' openings have given it that moment.
  std::vector<Port> outputs;
  const std::vector<std::string> outputNames = ports_.OutputNames();
  for (unsigned n = 0; n < outputNames.size(); ++n) {
    if (skipOutputs_.count(n) != 0) continue;
    if (ports_.OpenOut(n))
      outputs.push_back({n, outputNames[n]});
    else
      result.unopenedOutputs.push_back({n, outputNames[n]});
  }
  std::vector<Keyboard> found;
  for (const Port& output : outputs) {
    Task<bool> probe = Probe(output, found);
    const bool sent = co_await probe;
    if (!sent) result.unopenedOutputs.push_back(output);
  }
  // An answer later than the probe window arrives in the next output's and
  // would pair the keyboard with that output: a pair stands only when its
  // output, probed again alone, gets the same answer on the same input.
  for (const Port& output : outputs) {
    const auto onPort = [&output](const Keyboard& k) { return k.out.number == output.number; };
    if (std::none_of(found.begin(), found.end(), onPort)) continue;
    std::vector<Keyboard> again;
    Task<bool> probe = Probe(output, again);
    co_await probe;
    for (const Keyboard& k : found) {
      if (!onPort(k)) continue;
      const bool confirmed = std::any_of(again.begin(), again.end(), [&k](const Keyboard& a) {
        return a.in.number == k.in.number && a.type == k.type;
      });
      if (confirmed) result.keyboards.push_back(k);
    }
  }
  co_return result;
}

Task<bool> KeyboardProbe::Probe(Port output, std::vector<Keyboard>& found) {
  // What came before this probe answers another output, or nothing.
  arrivals_.clear();
  const std::vector<uint8_t> request = TypeRequest();
  deadline_ = clock_.Now() + kProbeWindow;
  if (!ports_.Send(output.number, request)) co_return false;

  std::set<unsigned> answered;
  while (true) {
    Waiting wait(*this);
    co_await wait;
    const bool expired = arrivals_.empty();
    for (const Arrival& arrival : arrivals_) {
      const auto input = std::find_if(inputs_.begin(), inputs_.end(), [&arrival](const Port& p) {
        return p.number == arrival.input;
      });
      int32_t type = 0;
      if (input != inputs_.end() &&
          IsTypeAnswer(arrival.message.data(), arrival.message.size(), type) &&
          answered.insert(input->number).second) {
        found.push_back({*input, output, type});
      }
    }
    arrivals_.clear();
    if (expired) break;
    if (!answered.empty()) deadline_ = std::min(*deadline_, clock_.Now() + kAfterAnswer);
  }
  deadline_.reset();
  co_return true;
}
