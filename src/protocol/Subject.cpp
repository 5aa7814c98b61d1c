#include "protocol/Subject.h"

#include <algorithm>
#include <functional>

void Subject::Attach(Observer* observer) {
  observers_.push_back(observer);
  std::sort(observers_.begin(), observers_.end(), std::less<Observer*>());
  observers_.erase(std::unique(observers_.begin(), observers_.end()), observers_.end());
}

void Subject::Notify() {
  for (Observer* observer : observers_) observer->Update();
}
