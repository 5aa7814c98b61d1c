#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "midi/MidiDev.h"
#include "protocol/QnSysEx.h"
#include "protocol/QnSysExObserver.h"

// Records the message the program has just sent to the keyboard each time
// the protocol object completes a step (a parameter transaction, or one
// accepted block), so that tests can assert the order of requests on the
// real link. Markers stand for things that happen between steps.
class RequestLog : public QnSysExObserver {
 public:
  using Message = std::vector<uint8_t>;

  void Attach(QnSysEx* protocol) override {
    subject_ = protocol;
    protocol->Attach(this);
  }
  void Update() override { messages_.push_back(MidiDev::Instance()->Request()); }

  void Mark(const std::string& what) { marks_.push_back({messages_.size(), what}); }
  void Clear() {
    messages_.clear();
    marks_.clear();
  }
  const std::vector<Message>& Messages() const { return messages_; }

  // Each step in words, markers in their place: "read 22 c0 i0 x0",
  // "write 21 x0 v3", "block 2 k22", "handshake 1", "request c2 i384".
  std::vector<std::string> Steps() const {
    std::vector<std::string> steps;
    size_t mark = 0;
    for (size_t i = 0; i <= messages_.size(); ++i) {
      while (mark < marks_.size() && marks_[mark].first == i)
        steps.push_back(marks_[mark++].second);
      if (i < messages_.size()) steps.push_back(Describe(messages_[i]));
    }
    return steps;
  }

  static std::string Describe(const Message& m) {
    if (m.size() < 12) return "short";
    const int command = m[5] >> 4;
    const int category = m[5] & 0x0F;
    const int item = m[8] + m[9] * 128;
    char text[64];
    switch (command) {
      case QnSysEx::kRead:
        std::snprintf(text, sizeof text, "read %02X c%d i%d x%d", m[6], category, item, m[10]);
        break;
      case QnSysEx::kWrite: {
        uint32_t value = 0;
        for (size_t i = 11; i + 1 < m.size(); ++i) value |= uint32_t{m[i]} << (7 * (i - 11));
        std::snprintf(text, sizeof text, "write %02X x%d v%u", m[6], m[10], value);
        break;
      }
      case QnSysEx::kSendBlocks:
        std::snprintf(text, sizeof text, "block %d k%d", m[10] + m[11] * 128, m[12]);
        break;
      case QnSysEx::kReceiveBlocks:
        std::snprintf(text, sizeof text, "request c%d i%d", category, item);
        break;
      case 7:
        std::snprintf(text, sizeof text, "handshake %d", m[10]);
        break;
      default:
        std::snprintf(text, sizeof text, "command %d", command);
    }
    return text;
  }

 private:
  std::vector<Message> messages_;
  std::vector<std::pair<size_t, std::string>> marks_;
};
