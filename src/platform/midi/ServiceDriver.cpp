#include "platform/midi/ServiceDriver.h"

#include <chrono>
#include <utility>

#include "midi/MidiDev.h"
#include "platform/midi/MidiSystem.h"
#include "platform/midi/ShortSlice.h"

ServiceDriver::ServiceDriver(MidiService& service) : service_(&service) {}

// The ports go first: their threads may still queue reports.
ServiceDriver::~ServiceDriver() {
  in_.reset();
  out_.reset();
}

ServiceDriver& ServiceDriver::ForMidiSystem() {
  static ServiceDriver driver;
  return driver;
}

MidiService& ServiceDriver::Service() {
  return service_ != nullptr ? *service_ : MidiSystem::Instance();
}

MidiResult ServiceDriver::OpenIn(unsigned device) {
  in_.reset();
  return Service().OpenIn(
      device,
      [this](const uint8_t* message, size_t size, MidiArrival arrived) {
        Queue({false, 0, std::vector<uint8_t>(message, message + size), arrived});
      },
      in_);
}

MidiResult ServiceDriver::OpenOut(unsigned device) {
  out_.reset();
  return Service().OpenOut(device, out_);
}

void ServiceDriver::CloseIn() { in_.reset(); }

void ServiceDriver::CloseOut() { out_.reset(); }

// What came in before the request goes out answers no request of this
// exchange: the device is shown it first, while nothing waits.
MidiResult ServiceDriver::Send(const uint8_t* data, size_t size) {
  if (!out_) return midi_result::kInvalidHandle;
  if (running_ != nullptr) {
    Report early;
    while (Next(early)) Hand(*running_, early);
  }
  const uint64_t serial = ++serial_;
  return out_->Send(data, size, [this, serial] {
    Queue({true, serial, {}, std::chrono::steady_clock::now()});
  });
}

void ServiceDriver::Wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
  }
  arrived_.notify_all();
}

void ServiceDriver::Queue(Report report) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back(std::move(report));
  }
  arrived_.notify_all();
}

bool ServiceDriver::Next(Report& report) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (reports_.empty()) return false;
  report = std::move(reports_.front());
  reports_.pop_front();
  return true;
}

// Told in the time of the device's clock, which may be a test's own.
void ServiceDriver::Hand(MidiDev& device, const Report& report) {
  if (!report.sent) {
    device.Arrived(report.message.data(), report.message.size(),
                   device.Clock().FromSteady(report.at));
  } else if (report.serial == serial_) {
    device.OutputDone(device.Clock().FromSteady(report.at));
  }
}

void ServiceDriver::Start(MidiDev& device, Task<void>& task, std::function<void()> ended) {
  const ShortSlice slice;
  MidiDev* outer = std::exchange(running_, &device);
  task.Start();
  while (!task.Done()) {
    bool reported = false;
    bool woken = false;
    if (const auto deadline = device.Deadline()) {
      // A test's clock decides when its deadline has come.
      auto* clock = dynamic_cast<WaitClock*>(&device.Clock());
      std::unique_lock<std::mutex> lock(mutex_);
      const auto ready = [this] { return !reports_.empty() || woken_; };
      reported = clock != nullptr ? clock->WaitUntil(lock, arrived_, *deadline, ready)
                                  : arrived_.wait_until(lock, *deadline, ready);
      woken = std::exchange(woken_, false);
    }
    if (woken && device.Abandon()) continue;
    Report report;
    if (reported && Next(report)) {
      Hand(device, report);
    } else if (!woken) {
      device.Expire(device.Clock().Now());
    }
  }
  running_ = outer;
  if (ended) ended();
}
