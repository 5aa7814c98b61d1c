#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "WebSimulator.h"
#include "midi/MidiClock.h"
#include "midi/MidiDriver.h"
#include "protocol/KeyboardProbe.h"

// Runs the engine's jobs in the page, where nothing may block: the page hands
// in what its MIDI input brings (with the event's time stamp) and a tick when
// the deadline it was told of has come; messages go out through `send`
// (false when the chosen port is gone or refuses them), and
// `wake` asks for the next tick (a delay in ms, or a negative one for none).
// Its clock is the page's performance.now(), the time base of MIDI events.
// Port kPagePort is the pair of Web MIDI ports the page chose; kBuiltInPort
// the simulator in the page. A detection runs the same way on the probe,
// which asks every Web MIDI port itself.
class WebDriver : public MidiDriver, public MidiClock {
 public:
  static constexpr unsigned kPagePort = 0;
  static constexpr unsigned kBuiltInPort = 1;

  using SendOut = std::function<bool(const uint8_t* data, size_t size)>;
  using Wake = std::function<void(double delayMs)>;

  WebDriver(SendOut send, Wake wake);

  WebSimulator& Simulator() { return simulator_; }

  // From the page.
  void Arrived(const uint8_t* data, size_t size, double atMs);
  void ProbeArrived(unsigned input, const uint8_t* data, size_t size);
  void Tick();

  TimePoint Now() override;
  MidiClock& Clock() override { return *this; }

  MidiResult OpenIn(unsigned device) override;
  MidiResult OpenOut(unsigned device) override;
  void CloseIn() override { in_.reset(); }
  void CloseOut() override { out_.reset(); }
  MidiResult Send(const uint8_t* data, size_t size) override;
  void Start(MidiDev& device, Task<void>& task, std::function<void()> ended) override;
  // Runs `task`, which awaits `probe`'s detection, as Start runs a device's.
  void StartProbe(KeyboardProbe& probe, Task<void>& task, std::function<void()> ended);

 private:
  static TimePoint FromMs(double ms);
  // Hands the device everything that is due, ends the work once its task is
  // done, else asks the page for a tick at the next moment something is due.
  void Pump();
  void Begin(Task<void>& task, std::function<void()> ended);
  void End();

  SendOut send_;
  Wake wake_;
  WebSimulator simulator_;
  std::optional<unsigned> in_;
  std::optional<unsigned> out_;
  MidiDev* running_ = nullptr;
  KeyboardProbe* probe_ = nullptr;
  Task<void>* task_ = nullptr;
  std::function<void()> ended_;
  bool pumping_ = false;
  uint64_t sent_ = 0;  // serial of the last message sent
  // Web MIDI never tells when a message has gone out: it counts as gone
  // once handed over.
  std::optional<TimePoint> handedOver_;
};
