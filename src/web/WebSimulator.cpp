#include "WebSimulator.h"

WebSimulator::WebSimulator(MidiClock& clock)
    : clock_(clock), link_(keyboard_, sim::Timing{true, {}}, *this) {}

void WebSimulator::At(Clock::time_point when, std::function<void()> action) {
  events_.emplace(std::pair{when, posted_++}, std::move(action));
}

bool WebSimulator::RunDue(Clock::time_point limit) {
  if (events_.empty() || events_.begin()->first.first > limit) return false;
  auto first = events_.begin();
  std::function<void()> action = std::move(first->second);
  events_.erase(first);
  action();
  return true;
}

std::optional<WebSimulator::Clock::time_point> WebSimulator::NextEvent() const {
  if (events_.empty()) return std::nullopt;
  return events_.begin()->first.first;
}
