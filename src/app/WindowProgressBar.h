#pragma once

#include "files/ProgressBar.h"

class QProgressBar;

// The window's progress bar as the transfer layer sees it.
class WindowProgressBar : public ProgressBar {
 public:
  explicit WindowProgressBar(QProgressBar* bar) : bar_(bar) {}
  int Position() const override;
  void SetPosition(int position) override;
  void SetRange(int minimum, int maximum) override;
  void Repaint() override;

 private:
  QProgressBar* bar_;
};
