#include <gtest/gtest.h>

#include <vector>

#include "protocol/Subject.h"

namespace {

class Counter : public Observer {
 public:
  explicit Counter(std::vector<const Counter*>& log) : log_(log) {}
  void Update() override { log_.push_back(this); }

 private:
  std::vector<const Counter*>& log_;
};

TEST(SubjectTest, NotifiesEachObserverOnceInAddressOrder) {
  std::vector<const Counter*> log;
  Counter counters[3] = {Counter(log), Counter(log), Counter(log)};
  Subject subject;
  subject.Attach(&counters[2]);
  subject.Attach(&counters[0]);
  subject.Attach(&counters[2]);
  subject.Attach(&counters[1]);
  subject.Attach(&counters[0]);

  subject.Notify();
  EXPECT_EQ(log, (std::vector<const Counter*>{&counters[0], &counters[1], &counters[2]}));
  subject.Notify();
  EXPECT_EQ(log.size(), 6u);
}

}  // namespace
