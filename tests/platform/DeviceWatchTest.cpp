#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/DeviceWatch.h"

namespace {

using Names = std::vector<std::string>;

const std::string kBuiltIn = "TRV-408 Simulator (built-in)";

class DeviceWatchTest : public ::testing::Test {
 protected:
  Names inputs_;
  Names outputs_;
  DeviceWatch watch_{[this] { return inputs_; }, [this] { return outputs_; }};
};

// A followed port is found by name wherever the lists move it; while it is
// gone it has a number that names no port, however the lists change, and it
// is the same port again once it is back.
TEST_F(DeviceWatchTest, FollowsThePortByNameAndNeverLendsItsNumber) {
  inputs_ = {"USB In", kBuiltIn};
  outputs_ = {"USB Out", kBuiltIn};
  int32_t in = 0;
  int32_t out = 0;
  watch_.Follow(in, out, "USB In", "USB Out");
  EXPECT_EQ(in, 0);
  EXPECT_FALSE(watch_.InputMissing());

  struct Step {
    Names inputs;
    int32_t in;  // where the followed input stands
  };
  const std::vector<Step> steps{
      {{"Synth", "USB In", kBuiltIn}, 1},
      {{kBuiltIn}, DeviceWatch::kGone},
      {{"Synth", kBuiltIn}, DeviceWatch::kGone},
      {{"Synth", "Other", "Third", kBuiltIn}, DeviceWatch::kGone},
      {{"Synth", "Other", "USB In", kBuiltIn}, 2},
      {{}, DeviceWatch::kGone},
      {{"USB In", kBuiltIn}, 0},
  };
  for (const Step& step : steps) {
    inputs_ = step.inputs;
    watch_.Refresh(in, out);
    EXPECT_EQ(in, step.in) << step.inputs.size();
    EXPECT_EQ(watch_.InputMissing(), step.in == DeviceWatch::kGone) << step.inputs.size();
    EXPECT_EQ(watch_.InputName(), "USB In");
    EXPECT_EQ(out, 0);
    EXPECT_FALSE(watch_.OutputMissing());
  }
}

TEST_F(DeviceWatchTest, FollowTakesNamesOrTheNumbersOfAStoreWithout) {
  inputs_ = {"Twin", "Twin", kBuiltIn};
  outputs_ = {"Out A", kBuiltIn};

  // Of two ports with one name, the number chosen stays while it names it.
  int32_t in = 1;
  int32_t out = 0;
  EXPECT_TRUE(watch_.Follow(in, out, "Twin", ""));
  EXPECT_EQ(in, 1);
  EXPECT_EQ(watch_.OutputName(), "Out A");

  // A name given wins over the number: the dialog's choice, made on a list
  // that has changed since.
  in = 2;
  out = 1;
  EXPECT_FALSE(watch_.Follow(in, out, "Twin", "Out A"));
  EXPECT_EQ(in, 0);
  EXPECT_EQ(out, 0);

  // A name that is not there now is followed all the same.
  EXPECT_FALSE(watch_.Follow(in, out, "Gone In", "Out A"));
  EXPECT_EQ(in, DeviceWatch::kGone);
  EXPECT_TRUE(watch_.InputMissing());
  EXPECT_EQ(watch_.InputName(), "Gone In");

  // Without a name, a number that names no port is kept and shown missing.
  in = 5;
  EXPECT_FALSE(watch_.Follow(in, out, "", "Out A"));
  EXPECT_EQ(in, 5);
  EXPECT_TRUE(watch_.InputMissing());
  EXPECT_EQ(watch_.InputName(), "");

  // Refresh tells a changed list from the same one read again.
  EXPECT_FALSE(watch_.Refresh(in, out));
  outputs_.push_back("New Out");
  EXPECT_TRUE(watch_.Refresh(in, out));
  EXPECT_FALSE(watch_.Refresh(in, out));
}

}  // namespace
