#pragma once

#include "protocol/QnSysExObserver.h"

class ProgressBar;

// Advances a progress bar by the bytes of every completed step of the
// protocol object.
class PBarObserver : public QnSysExObserver {
 public:
  explicit PBarObserver(ProgressBar* bar) : bar_(bar) {}
  void Update() override;
  void Attach(QnSysEx* protocol) override;

 private:
  ProgressBar* bar_;
};
