#pragma once

#include <cstdint>
#include <string>

class QnData;
class QnDataFile;
class QnKbdDrv;
class QnSysEx;
class QnSysExObserver;

// Moves one item's data between a QnDataFile and a keyboard slot named by its
// keyboard path ("Tone:\User 0", "Song Rhythm:\Song\Song 1").
class LqdMidiStream {
 public:
  // Error codes carried by LqdStreamException.
  enum : int32_t { kNotLqd = 0, kTypeDiffers = 1, kNoMemory = 2, kNoSlot = 3 };

  LqdMidiStream(const std::string& path, int32_t inDevice, int32_t outDevice);

  void Attach(QnSysExObserver* observer);
  uint32_t TargetSize() const;
  void Send(QnDataFile& file);
  void Receive(QnDataFile& file);
  QnData* Target() const { return target_; }

 private:
  uint32_t FreeMemory();

  QnSysEx* protocol_;
  QnData* target_ = nullptr;
  QnKbdDrv* keyboard_;
  std::string directory_;
};
