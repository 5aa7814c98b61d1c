#pragma once

#include <vector>

#include "protocol/Observer.h"

// Holds each observer once, in ascending order of address; there is no
// detach, so an observer must outlive the subject's notifications.
class Subject {
 public:
  void Attach(Observer* observer);
  void Notify();

 private:
  std::vector<Observer*> observers_;
};
