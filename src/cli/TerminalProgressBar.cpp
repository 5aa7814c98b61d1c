#include "TerminalProgressBar.h"

#include <unistd.h>

#include <algorithm>

#include "CliError.h"

namespace {
constexpr int kBarWidth = 30;
}

TerminalProgressBar::TerminalProgressBar(std::FILE* stream)
    : stream_(stream), shown_(isatty(fileno(stream)) != 0) {}

void TerminalProgressBar::Begin(const std::string& label, int maximum) {
  label_ = label;
  SetRange(0, maximum);
  SetPosition(0);
  active_ = true;
  Repaint();
}

void TerminalProgressBar::End() {
  if (active_ && shown_) {
    std::fputs("\r\033[K", stream_);
    std::fflush(stream_);
  }
  active_ = false;
  SetPosition(0);
}

void TerminalProgressBar::SetPosition(int position) {
  position_ = std::clamp(position, minimum_, std::max(minimum_, maximum_));
}

void TerminalProgressBar::SetRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = maximum;
  SetPosition(position_);
}

void TerminalProgressBar::Repaint() {
  if (!active_ || !shown_) return;
  int span = maximum_ - minimum_;
  int done = span > 0 ? (position_ - minimum_) * kBarWidth / span : kBarWidth;
  std::string bar(static_cast<size_t>(done), '#');
  bar.append(static_cast<size_t>(kBarWidth - done), '-');
  const std::string count = CliError::Text(
      MsgStr::kWordCliProgressBytes, {std::to_string(position_ - minimum_), std::to_string(span)});
  std::fprintf(stream_, "\r\033[K%s [%s] %s", label_.c_str(), bar.c_str(), count.c_str());
  std::fflush(stream_);
}
