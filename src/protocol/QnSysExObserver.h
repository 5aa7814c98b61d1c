#pragma once

#include "protocol/Observer.h"

class QnSysEx;

class QnSysExObserver : public Observer {
 public:
  // Remembers the protocol object and registers with it.
  virtual void Attach(QnSysEx* protocol) = 0;

 protected:
  QnSysEx* subject_ = nullptr;
};
