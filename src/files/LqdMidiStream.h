#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "midi/Task.h"
#include "protocol/SysExAddress.h"
#include "protocol/SysExParam.h"

class QnData;
class QnDataDrive;
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

  // The slot the path names. A path that names no slot, or more than one
  // (equal display names in one folder), raises kNoSlot.
  LqdMidiStream(const std::string& path, int32_t inDevice, int32_t outDevice);
  // A slot entry of the keyboard tree itself; anything else raises kNoSlot.
  LqdMidiStream(QnData* slot, int32_t inDevice, int32_t outDevice);

  void Attach(QnSysExObserver* observer);
  uint32_t TargetSize() const;
  // One item, finished once begun: a cancel asked meanwhile stops the work
  // that follows it (the delete of the old data, the upload, its closing
  // handshake and the free-space read are never split).
  Task<void> Send(QnDataFile& file);
  // Refuses a slot whose size is beyond its drive's capacity (QnSysExException
  // kSizeBeyondMemory, nothing allocated) and an item the keyboard ends before
  // all of it came (kCommunication).
  // Stops between two blocks on a cancel, and writes nothing into `file`'s
  // data then.
  Task<void> Receive(QnDataFile& file);
  QnData* Target() const { return target_; }


 private:
  static constexpr std::chrono::milliseconds kSettleTime{100};

  void OpenDevices();
  void FindTarget(const std::string& path);
  bool Locate(QnDataDrive* folder, const QnData* slot, const std::string& path);
  void Begin(uint8_t command);
  void FillAddress(const uint8_t* data, size_t size);
  void TakeWords(uint8_t* data, size_t size) const;
  Task<uint32_t> FreeMemory();

  QnSysEx* protocol_;
  QnData* target_ = nullptr;
  QnKbdDrv* keyboard_;
  std::string directory_;
  std::string driveName_;
  int32_t inDevice_;
  int32_t outDevice_;
  SysExAddress address_;
  SysExParam parameter_;
  std::vector<uint16_t> words_;  // the item's data during a transfer
};
