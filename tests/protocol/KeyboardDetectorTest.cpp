#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "protocol/KeyboardDetector.h"
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
  MidiResult OpenIn(unsigned device, MidiEvent& event, std::unique_ptr<MidiInPort>& port) override {
    auto in = std::make_unique<In>(event);
    ins_[device] = in.get();
    port = std::move(in);
    return midi_result::kOk;
  }
  MidiResult OpenOut(unsigned device, MidiEvent&, std::unique_ptr<MidiOutPort>& port) override {
    port = std::make_unique<Out>(*this, device);
    return midi_result::kOk;
  }

 private:
  class In : public MidiInPort {
   public:
    explicit In(MidiEvent& event) : event_(event) {}
    MidiResult Reset() override {
      event_.Post([this] {
        for (MidiHeader* header : queue_)
          header->flags = (header->flags & ~MidiHeader::kInQueue) | MidiHeader::kDone;
        queue_.clear();
      });
      return midi_result::kOk;
    }
    MidiResult Prepare(MidiHeader&) override { return midi_result::kOk; }
    MidiResult Unprepare(MidiHeader&) override { return midi_result::kOk; }
    MidiResult AddBuffer(MidiHeader& header) override {
      event_.Post([&] {
        header.flags = (header.flags & ~MidiHeader::kDone) | MidiHeader::kInQueue;
        queue_.push_back(&header);
      });
      return midi_result::kOk;
    }
    MidiResult Start() override { return midi_result::kOk; }
    MidiResult Stop() override { return midi_result::kOk; }
    void Answer() {
      std::vector<uint8_t> answer = KeyboardDetector::TypeRequest();
      answer.resize(5);
      answer.insert(answer.end(), {0x10, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7});
      event_.Post([&] {
        if (queue_.empty()) return;
        MidiHeader* header = queue_.front();
        queue_.pop_front();
        std::copy(answer.begin(), answer.end(), header->data);
        header->bytesRecorded = static_cast<uint32_t>(answer.size());
        header->flags = (header->flags & ~MidiHeader::kInQueue) | MidiHeader::kDone;
      });
    }

   private:
    MidiEvent& event_;
    std::deque<MidiHeader*> queue_;
  };

  class Out : public MidiOutPort {
   public:
    Out(ScriptedPorts& ports, unsigned number) : ports_(ports), number_(number) {}
    MidiResult Prepare(MidiHeader&) override { return midi_result::kOk; }
    MidiResult Unprepare(MidiHeader&) override { return midi_result::kOk; }
    MidiResult LongMsg(MidiHeader& header) override {
      header.flags |= MidiHeader::kDone;
      ports_.Sent(number_);
      return midi_result::kOk;
    }
    MidiResult Reset() override { return midi_result::kOk; }

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
    const KeyboardDetector::Result result = KeyboardDetector(ports, clock).Detect();
    Pairs pairs;
    for (const KeyboardDetector::Keyboard& k : result.keyboards)
      pairs.emplace_back(k.in.number, k.out.number);
    EXPECT_EQ(pairs, c.pairs) << c.what;
    EXPECT_TRUE(result.unopenedInputs.empty() && result.unopenedOutputs.empty()) << c.what;
  }
}

}  // namespace
