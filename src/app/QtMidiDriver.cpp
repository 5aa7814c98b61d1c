#include "QtMidiDriver.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <utility>

#include "midi/MidiDev.h"
#include "platform/midi/MidiSystem.h"

QtMidiDriver::QtMidiDriver() : stampClock_(&MidiClock::Steady()) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, &context_, [this] { TimeUp(); });
}

// The ports go first: their threads may still queue reports.
QtMidiDriver::~QtMidiDriver() {
  in_.reset();
  out_.reset();
}

MidiResult QtMidiDriver::OpenIn(unsigned device) {
  in_.reset();
  return MidiSystem::Instance().OpenIn(
      device,
      [this](const uint8_t* message, size_t size, MidiArrival arrived) {
        Queue({false, 0, std::vector<uint8_t>(message, message + size),
               StampClock().FromSteady(arrived)});
      },
      in_);
}

MidiResult QtMidiDriver::OpenOut(unsigned device) {
  out_.reset();
  return MidiSystem::Instance().OpenOut(device, out_);
}

void QtMidiDriver::CloseIn() { in_.reset(); }

void QtMidiDriver::CloseOut() { out_.reset(); }

// What came in before the request goes out answers no request of this
// exchange: the device is shown it first, while nothing waits.
MidiResult QtMidiDriver::Send(const uint8_t* data, size_t size) {
  if (!out_) return midi_result::kInvalidHandle;
  Report early;
  while (running_ != nullptr && Next(early)) Hand(early);
  const uint64_t serial = ++serial_;
  return out_->Send(data, size, [this, serial] { Queue({true, serial, {}, StampClock().Now()}); });
}

void QtMidiDriver::Queue(Report report) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back(std::move(report));
  }
  QMetaObject::invokeMethod(
      &context_, [this] { Deliver(); }, Qt::QueuedConnection);
}

bool QtMidiDriver::Next(Report& report, const MidiClock::TimePoint* before) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (reports_.empty() || (before != nullptr && reports_.front().at >= *before)) return false;
  report = std::move(reports_.front());
  reports_.pop_front();
  return true;
}

void QtMidiDriver::Hand(const Report& report) {
  if (!report.sent) {
    running_->Arrived(report.message.data(), report.message.size(), report.at);
  } else if (report.serial == serial_) {
    running_->OutputDone(report.at);
  }
}

// Between two works, what comes in waits for the next request, as a stray.
void QtMidiDriver::Deliver() {
  Report report;
  while (running_ != nullptr && !task_->Done() && Next(report)) Hand(report);
  if (running_ != nullptr) Settle();
}

// The loop may have been busy past the deadline: what the ports reported
// before it still counts, whenever its turn in the loop would have come.
void QtMidiDriver::TimeUp() {
  while (running_ != nullptr && !task_->Done()) {
    const std::optional<MidiClock::TimePoint> deadline = running_->Deadline();
    if (!deadline || running_->Clock().Now() < *deadline) break;
    Report early;
    if (Next(early, &*deadline)) {
      Hand(early);
    } else {
      running_->Expire(running_->Clock().Now());
    }
  }
  if (running_ != nullptr) Settle();
}

void QtMidiDriver::Settle() {
  if (task_->Done()) {
    End();
    return;
  }
  const std::optional<MidiClock::TimePoint> deadline = running_->Deadline();
  if (!deadline) {
    timer_.stop();
    return;
  }
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(*deadline - running_->Clock().Now());
  timer_.start(static_cast<int>(std::max<int64_t>(0, left.count())));
}

void QtMidiDriver::Start(MidiDev& device, Task<void>& task, std::function<void()> ended) {
  if (running_ != nullptr) throw std::logic_error("a second work while one runs");
  running_ = &device;
  task_ = &task;
  ended_ = std::move(ended);
  stampClock_ = &device.Clock();
  task.Start();
  if (!task.Done()) {
    Settle();
    return;
  }
  // Ended before its first exchange: the caller still hears of it from the loop.
  QMetaObject::invokeMethod(
      &context_,
      [this] {
        if (running_ != nullptr) Settle();
      },
      Qt::QueuedConnection);
}

// Nothing of the work is touched after `ended`, which may start the next.
void QtMidiDriver::End() {
  timer_.stop();
  running_ = nullptr;
  task_ = nullptr;
  std::function<void()> ended = std::move(ended_);
  ended_ = nullptr;
  if (ended) ended();
}
