#include "platform/midi/MidiOutBuffer.h"

MidiResult MidiOutBuffer::Prepare(MidiHeader& header) {
  if (header.data == nullptr) return midi_result::kInvalidParam;
  event_.Post([&] { header.flags |= MidiHeader::kPrepared; });
  return midi_result::kOk;
}

MidiResult MidiOutBuffer::Unprepare(MidiHeader& header) {
  MidiResult result = midi_result::kOk;
  event_.Post([&] {
    if (header.flags & MidiHeader::kInQueue)
      result = midi_result::kStillPlaying;
    else
      header.flags &= ~MidiHeader::kPrepared;
  });
  return result;
}

MidiResult MidiOutBuffer::Sendable(MidiHeader& header) {
  MidiResult result = midi_result::kOk;
  event_.Post([&] {
    if (!(header.flags & MidiHeader::kPrepared))
      result = midi_result::kUnprepared;
    else if (header.flags & MidiHeader::kInQueue)
      result = midi_result::kStillPlaying;
    else if (header.bufferLength == 0)
      result = midi_result::kInvalidParam;
  });
  return result;
}
