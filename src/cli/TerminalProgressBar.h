#pragma once

#include <cstdio>
#include <string>

#include "files/ProgressBar.h"

// A one-line progress bar on a terminal stream, redrawn in place, for one
// transfer at a time between Begin and End.
class TerminalProgressBar : public ProgressBar {
 public:
  explicit TerminalProgressBar(std::FILE* stream);

  // Whether the stream is a terminal; elsewhere the bar draws nothing.
  bool IsShown() const { return shown_; }
  void Begin(const std::string& label, int maximum);
  void End();

  int Position() const override { return position_; }
  void SetPosition(int position) override;
  void SetRange(int minimum, int maximum) override;
  void Repaint() override;

 private:
  std::FILE* stream_;
  bool shown_;
  bool active_ = false;
  std::string label_;
  int minimum_ = 0;
  int maximum_ = 0;
  int position_ = 0;
};
