#pragma once

#include <cstdint>
#include <string>

#include "midi/Task.h"
#include "protocol/SysExAddress.h"
#include "protocol/SysExParam.h"

class QnSysEx;
class QnSysExObserver;

// Every question about the keyboard's memory and every deletion it orders,
// each a coroutine that awaits its exchanges.
class QnKbd {
 public:
  static constexpr uint32_t kToneSize = 60;
  static constexpr uint32_t kDspSize = 36;
  static constexpr uint32_t kRegistrationSize = 176;

  QnKbd();
  ~QnKbd();  // deletes the protocol object and with it the MIDI device
  QnKbd(const QnKbd&) = delete;
  QnKbd& operator=(const QnKbd&) = delete;

  Task<void> Open(int32_t inDevice, int32_t outDevice);
  Task<int32_t> KeyboardType();
  Task<uint32_t> FreeBytes();
  uint32_t ToneSize() const;
  uint32_t DspSize() const;
  uint32_t RegistrationSize() const;
  Task<std::string> ToneName(uint8_t tone);
  Task<std::string> DspName(uint8_t dsp);
  std::string RegistrationName(uint8_t bank, uint8_t number) const;
  Task<uint32_t> RhythmSize(uint8_t rhythm);
  Task<std::string> RhythmName(uint8_t rhythm);
  Task<uint32_t> SongSize(uint8_t song);
  Task<std::string> SongName(uint8_t song);
  Task<void> DeleteSong(uint8_t song);
  Task<void> DeleteRhythm(uint8_t rhythm);
  void AttachObserver(QnSysExObserver* observer);
  // Lets go of the MIDI ports; the next request opens them again.
  void CloseDevices();
  // Throws the cancel error when the user asked to stop (QnSysEx::CheckCancel).
  void CheckCancel() const;

  int32_t InputDevice() const { return inDevice_; }
  int32_t OutputDevice() const { return outDevice_; }

 private:
  void SetRequest(uint8_t category, uint32_t item, uint8_t parameter, uint8_t width, uint8_t index);
  Task<uint32_t> ReadValue();
  Task<void> WriteValue(uint32_t value);
  Task<std::string> ReadName();

  QnSysEx* protocol_;
  int32_t inDevice_ = 0;
  int32_t outDevice_ = 0;
  int32_t keyboardType_ = -1;
  SysExAddress address_;
  SysExParam parameter_;
};
