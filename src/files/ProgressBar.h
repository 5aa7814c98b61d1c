#pragma once

// The progress display a transfer moves, kept free of any window toolkit.
class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  virtual int Position() const = 0;
  virtual void SetPosition(int position) = 0;  // clamped to the range by the bar
  virtual void SetRange(int minimum, int maximum) = 0;
  virtual void Repaint() = 0;  // shows the new position at once
};
