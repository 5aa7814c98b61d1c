#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/midi/RtMidiService.h"
#ifdef RAVLIN_HAVE_JACK
#include "platform/midi/JackMidiService.h"
#endif

namespace {

// No MIDI service on the machine: no ALSA sequencer, and a JACK server name
// under which none runs.
class RtMidiServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
    const char* server = getenv("JACK_DEFAULT_SERVER");
    if (server != nullptr) savedServer_ = server;
    setenv("JACK_DEFAULT_SERVER", ("ravlin-none-" + std::to_string(getpid())).c_str(), 1);
  }
  void TearDown() override {
    if (savedServer_.empty())
      unsetenv("JACK_DEFAULT_SERVER");
    else
      setenv("JACK_DEFAULT_SERVER", savedServer_.c_str(), 1);
  }

  // Lists and opens, expecting nothing to be there and nothing printed.
  static void ExpectNoService(const std::string& api) {
    ::testing::internal::CaptureStderr();
    {
      RtMidiService service(api);
      EXPECT_EQ(service.ApiName(), "");
      ExpectNothingThere(service);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "API " << api;
  }

  static void ExpectNothingThere(MidiService& service) {
    EXPECT_TRUE(service.InputNames().empty());
    EXPECT_TRUE(service.OutputNames().empty());
    std::unique_ptr<MidiInPort> in;
    std::unique_ptr<MidiOutPort> out;
    EXPECT_NE(service.OpenIn(
                  0, [](const uint8_t*, size_t, MidiArrival) {}, in),
              midi_result::kOk);
    EXPECT_NE(service.OpenOut(0, out), midi_result::kOk);
    EXPECT_FALSE(in);
    EXPECT_FALSE(out);
  }

 private:
  std::string savedServer_;
};

}  // namespace

TEST_F(RtMidiServiceTest, NoServiceListsNothingAndSaysNothing) {
  ExpectNoService("");
  ExpectNoService("alsa");
  ExpectNoService("jack");
  ExpectNoService("no-such-api");
}

#ifdef RAVLIN_HAVE_JACK
TEST_F(RtMidiServiceTest, NoJackServerListsNothingAndSaysNothing) {
  ::testing::internal::CaptureStderr();
  {
    JackMidiService service("Ravlin");
    EXPECT_FALSE(service.Works());
    ExpectNothingThere(service);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}
#endif
