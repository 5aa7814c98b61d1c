#include "sim/Fault.h"

#include <array>
#include <utility>

namespace sim {

namespace {

constexpr std::array<std::pair<Fault, const char*>, 13> kNames{{
    {Fault::None, "none"},
    {Fault::NoAnswer, "no-answer"},
    {Fault::BadChecksum, "bad-checksum"},
    {Fault::ResendRequests, "resend"},
    {Fault::Reject, "reject"},
    {Fault::Error15, "error15"},
    {Fault::UnknownCode, "unknown-code"},
    {Fault::LongAnswer, "long-answer"},
    {Fault::ForeignFirst, "foreign-first"},
    {Fault::StallOutput, "stall-output"},
    {Fault::Echo, "echo"},
    {Fault::DuplicateAnswer, "duplicate-answer"},
    {Fault::HugeSize, "huge-size"},
}};

}  // namespace

std::optional<Fault> ParseFault(const std::string& name) {
  for (const auto& [fault, text] : kNames) {
    if (name == text) return fault;
  }
  return std::nullopt;
}

std::string FaultNames() {
  std::string names;
  for (const auto& [fault, text] : kNames) {
    if (fault == Fault::None) continue;
    if (!names.empty()) names += ", ";
    names += text;
  }
  return names;
}

std::string FaultName(Fault fault) {
  for (const auto& [f, text] : kNames) {
    if (f == fault) return text;
  }
  return "none";
}

}  // namespace sim
