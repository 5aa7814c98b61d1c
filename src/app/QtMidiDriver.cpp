#include "QtMidiDriver.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

#include "midi/MidiDev.h"
#include "platform/midi/MidiSystem.h"

QtMidiDriver::QtMidiDriver()
    : stampClock_(&MidiClock::Steady()),
      probePorts_(MidiSystem::Instance(),
                  [this](unsigned input, const uint8_t* message, size_t size, MidiArrival at) {
                    Queue(probeReports_, {false, 0, std::vector<uint8_t>(message, message + size),
                                          StampClock().FromSteady(at), input});
                  }) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, &context_, [this] { TimeUp(); });
}

// The ports go first: their threads may still queue reports.
QtMidiDriver::~QtMidiDriver() {
  in_.reset();
  out_.reset();
  probePorts_.CloseAll();
}

MidiResult QtMidiDriver::OpenIn(unsigned device) {
  in_.reset();
  return MidiSystem::Instance().OpenIn(
      device,
      [this](const uint8_t* message, size_t size, MidiArrival arrived) {
        Queue(reports_, {false, 0, std::vector<uint8_t>(message, message + size),
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
  return out_->Send(data, size, [this, serial] {
    Queue(reports_, {true, serial, {}, StampClock().Now()});
  });
}

void QtMidiDriver::Queue(std::deque<Report>& queue, Report report) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue.push_back(std::move(report));
  }
  QMetaObject::invokeMethod(
      &context_, [this] { Deliver(); }, Qt::QueuedConnection);
}

// The device's reports wait while a detection runs: they belong to its next
// work.
bool QtMidiDriver::Next(Report& report, const MidiClock::TimePoint* before) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::deque<Report>& reports = probe_ != nullptr ? probeReports_ : reports_;
  if (reports.empty() || (before != nullptr && reports.front().at >= *before)) return false;
  report = std::move(reports.front());
  reports.pop_front();
  return true;
}

void QtMidiDriver::Hand(const Report& report) {
  if (probe_ != nullptr) {
    probe_->Arrived(report.input, report.message.data(), report.message.size());
  } else if (!report.sent) {
    running_->Arrived(report.message.data(), report.message.size(), report.at);
  } else if (report.serial == serial_) {
    running_->OutputDone(report.at);
  }
}

// Between two works, what comes in waits for the next request, as a stray.
void QtMidiDriver::Deliver() {
  Report report;
  while (task_ != nullptr && !task_->Done() && Next(report)) Hand(report);
  if (task_ != nullptr) Settle();
}

std::optional<MidiClock::TimePoint> QtMidiDriver::Deadline() const {
  return probe_ != nullptr ? probe_->Deadline() : running_->Deadline();
}

MidiClock& QtMidiDriver::WorkClock() const {
  return probe_ != nullptr ? probe_->Clock() : running_->Clock();
}

// The loop may have been busy past the deadline: what the ports reported
// before it still counts, whenever its turn in the loop would have come.
void QtMidiDriver::TimeUp() {
  while (task_ != nullptr && !task_->Done()) {
    const std::optional<MidiClock::TimePoint> deadline = Deadline();
    if (!deadline || WorkClock().Now() < *deadline) break;
    Report early;
    if (Next(early, &*deadline)) {
      Hand(early);
    } else if (probe_ != nullptr) {
      probe_->Expire(WorkClock().Now());
    } else {
      running_->Expire(WorkClock().Now());
    }
  }
  if (task_ != nullptr) Settle();
}

void QtMidiDriver::Settle() {
  if (task_->Done()) {
    End();
    return;
  }
  const std::optional<MidiClock::TimePoint> deadline = Deadline();
  if (!deadline) {
    timer_.stop();
    return;
  }
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - WorkClock().Now());
  timer_.start(static_cast<int>(std::max<int64_t>(0, left.count())));
}

void QtMidiDriver::Start(MidiDev& device, Task<void>& task, std::function<void()> ended) {
  if (task_ != nullptr) throw std::logic_error("a second work while one runs");
  running_ = &device;
  stampClock_ = &device.Clock();
  Begin(task, std::move(ended));
}

void QtMidiDriver::StartProbe(KeyboardProbe& probe, Task<void>& task, std::function<void()> ended) {
  if (task_ != nullptr) throw std::logic_error("a second work while one runs");
  probe_ = &probe;
  stampClock_ = &probe.Clock();
  {
    // A stopped detection's ports report until its task is gone: that
    // answers nothing asked now.
    std::lock_guard<std::mutex> lock(mutex_);
    probeReports_.clear();
  }
  Begin(task, std::move(ended));
}

void QtMidiDriver::StopProbe() {
  if (probe_ == nullptr) return;
  timer_.stop();
  probe_ = nullptr;
  task_ = nullptr;
  ended_ = nullptr;
}

void QtMidiDriver::Begin(Task<void>& task, std::function<void()> ended) {
  task_ = &task;
  ended_ = std::move(ended);
  task.Start();
  if (!task.Done()) {
    Settle();
    return;
  }
  // Ended before its first exchange: the caller still hears of it from the loop.
  QMetaObject::invokeMethod(
      &context_,
      [this] {
        if (task_ != nullptr) Settle();
      },
      Qt::QueuedConnection);
}

// Nothing of the work is touched after `ended`, which may start the next.
void QtMidiDriver::End() {
  timer_.stop();
  running_ = nullptr;
  probe_ = nullptr;
  task_ = nullptr;
  std::function<void()> ended = std::move(ended_);
  ended_ = nullptr;
  if (ended) ended();
}
