#include "platform/midi/MidiInQueue.h"

#include <algorithm>
#include <cstring>

MidiResult MidiInQueue::Reset() {
  event_.Post([&] {
    started_ = false;
    for (MidiHeader* header : queue_) {
      header->flags = (header->flags & ~MidiHeader::kInQueue) | MidiHeader::kDone;
    }
    queue_.clear();
  });
  return midi_result::kOk;
}

MidiResult MidiInQueue::Prepare(MidiHeader& header) {
  if (header.data == nullptr || header.bufferLength == 0) return midi_result::kInvalidParam;
  event_.Post([&] { header.flags |= MidiHeader::kPrepared; });
  return midi_result::kOk;
}

MidiResult MidiInQueue::Unprepare(MidiHeader& header) {
  MidiResult result = midi_result::kOk;
  event_.Post([&] {
    if (header.flags & MidiHeader::kInQueue)
      result = midi_result::kStillPlaying;
    else
      header.flags &= ~MidiHeader::kPrepared;
  });
  return result;
}

MidiResult MidiInQueue::AddBuffer(MidiHeader& header) {
  MidiResult result = midi_result::kOk;
  event_.Post([&] {
    if (!(header.flags & MidiHeader::kPrepared)) {
      result = midi_result::kUnprepared;
    } else if (header.flags & MidiHeader::kInQueue) {
      result = midi_result::kStillPlaying;
    } else {
      header.flags = (header.flags & ~MidiHeader::kDone) | MidiHeader::kInQueue;
      header.bytesRecorded = 0;
      queue_.push_back(&header);
    }
  });
  return result;
}

MidiResult MidiInQueue::Start() {
  event_.Post([&] { started_ = true; });
  return midi_result::kOk;
}

MidiResult MidiInQueue::Stop() {
  event_.Post([&] { started_ = false; });
  return midi_result::kOk;
}

void MidiInQueue::Deliver(const uint8_t* message, size_t size) {
  if (size == 0 || message[0] != 0xF0) return;
  event_.Post([&] {
    if (closed_ || !started_ || queue_.empty()) return;
    MidiHeader& header = *queue_.front();
    queue_.pop_front();
    const size_t count = std::min<size_t>(size, header.bufferLength);
    std::memcpy(header.data, message, count);
    header.bytesRecorded = static_cast<uint32_t>(count);
    header.flags = (header.flags & ~MidiHeader::kInQueue) | MidiHeader::kDone;
  });
}

void MidiInQueue::Close() {
  event_.Post([&] { closed_ = true; });
}
