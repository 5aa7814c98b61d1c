#include "protocol/MessageRecorder.h"

void MessageRecorder::Sent(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) {
  Add({at, Kind::Sent, std::vector<uint8_t>(bytes, bytes + size)});
}

void MessageRecorder::Received(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) {
  Add({at, Kind::Received, std::vector<uint8_t>(bytes, bytes + size)});
}

void MessageRecorder::Stray(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) {
  Add({at, Kind::Stray, std::vector<uint8_t>(bytes, bytes + size)});
}

void MessageRecorder::Failed(MidiClock::TimePoint at, int32_t code, uint32_t subCode) {
  Add({at, Kind::Failed, {}, code, subCode});
}

void MessageRecorder::Add(Record record) {
  std::lock_guard lock(mutex_);
  if (capacity_ == 0) return;
  if (records_.size() == capacity_) {
    records_.pop_front();
    ++dropped_;
  }
  records_.push_back(std::move(record));
}

std::vector<MessageRecorder::Record> MessageRecorder::Take() {
  std::lock_guard lock(mutex_);
  std::vector<Record> taken(std::make_move_iterator(records_.begin()),
                            std::make_move_iterator(records_.end()));
  records_.clear();
  return taken;
}

uint64_t MessageRecorder::Dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}
