#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/midi/KeyboardDetector.h"
#include "support/TestClock.h"

namespace {

using Pairs = std::vector<std::pair<unsigned, unsigned>>;  // input, output

// Three inputs and three outputs wired as a test says: a request on an
// output is answered on the inputs wired to it, at once or, for a keyboard
// slower than the probe window, only when the next request goes out on any
// output.
class ScriptedPorts : public MidiService {
 public:
  struct Wire {
    unsigned out;
    unsigned in;
    bool late;
  };

  explicit ScriptedPorts(std::vector<Wire> wires) : wires_(std::move(wires)) {}

  std::vector<std::string> InputNames() override { return {"In 0", "In 1", "In 2"}; }
  std::vector<std::string> OutputNames() override { return {"Out 0", "Out 1", "Out 2"}; }
  MidiResult OpenIn(unsigned device, MidiReceiver receiver,
                    std::unique_ptr<MidiInPort>& port) override {
    auto in = std::make_unique<In>(std::move(receiver));
    ins_[device] = in.get();
    port = std::move(in);
    return midi_result::kOk;
  }
  MidiResult OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) override {
    port = std::make_unique<Out>(*this, device);
    return midi_result::kOk;
  }

 private:
  class In : public MidiInPort {
   public:
    explicit In(MidiReceiver receiver) : receiver_(std::move(receiver)) {}
    void Answer() {
      std::vector<uint8_t> answer = KeyboardProbe::TypeRequest();
      answer.resize(5);
      answer.insert(answer.end(), {0x10, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7});
      receiver_(answer.data(), answer.size(), std::chrono::steady_clock::now());
    }

   private:
    MidiReceiver receiver_;
  };

  class Out : public MidiOutPort {
   public:
    Out(ScriptedPorts& ports, unsigned number) : ports_(ports), number_(number) {}
    MidiResult Send(const uint8_t*, size_t, std::function<void()> sent) override {
      if (sent) sent();
      ports_.Sent(number_);
      return midi_result::kOk;
    }

   private:
    ScriptedPorts& ports_;
    unsigned number_;
  };

  void Sent(unsigned out) {
    const std::vector<unsigned> late = std::move(pending_);
    pending_.clear();
    for (unsigned in : late) ins_[in]->Answer();
    for (const Wire& wire : wires_) {
      if (wire.out != out) continue;
      if (wire.late)
        pending_.push_back(wire.in);
      else
        ins_[wire.in]->Answer();
    }
  }

  std::vector<Wire> wires_;
  std::map<unsigned, In*> ins_;
  std::vector<unsigned> pending_;
};

// A late answer is counted against the output probed when it comes; the
// second probe of that output alone finds no answer and drops the pair.
TEST(KeyboardDetectorTest, OnlyPairsThatAnswerASecondProbeStand) {
  struct Case {
    const char* what;
    std::vector<ScriptedPorts::Wire> wires;
    Pairs pairs;
  };
  const std::vector<Case> cases{
      {"prompt keyboard", {{1, 2, false}}, {{2, 1}}},
      {"two prompt keyboards", {{0, 1, false}, {2, 0, false}}, {{1, 0}, {0, 2}}},
      {"late keyboard", {{0, 0, true}}, {}},
      {"late answer beside a prompt one", {{0, 0, true}, {1, 1, false}}, {{1, 1}}},
      {"late keyboard on the last output but one", {{1, 2, true}}, {}},
  };
  for (const Case& c : cases) {
    ScriptedPorts ports(c.wires);
    TestClock clock;
    clock.ExpireWhenQuiet();
    const KeyboardProbe::Result result = KeyboardDetector(ports, clock).Detect();
    Pairs pairs;
    for (const KeyboardProbe::Keyboard& k : result.keyboards)
      pairs.emplace_back(k.in.number, k.out.number);
    EXPECT_EQ(pairs, c.pairs) << c.what;
    EXPECT_TRUE(result.unopenedInputs.empty() && result.unopenedOutputs.empty()) << c.what;
  }
}

}  // namespace
