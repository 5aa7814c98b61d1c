#pragma once

#include <cstdint>
#include <string>

#include "protocol/SysExAddress.h"
#include "protocol/SysExParam.h"

class QnSysEx;
class QnSysExObserver;

// Every question about the keyboard's memory and every deletion it orders.
class QnKbd {
 public:
  static constexpr uint32_t kToneSize = 60;
  static constexpr uint32_t kDspSize = 36;
  static constexpr uint32_t kRegistrationSize = 176;

  QnKbd();
  ~QnKbd();  // deletes the protocol object and with it the MIDI device
  QnKbd(const QnKbd&) = delete;
  QnKbd& operator=(const QnKbd&) = delete;

  void Open(int32_t inDevice, int32_t outDevice);
  int32_t KeyboardType();
  uint32_t FreeBytes();
  uint32_t ToneSize() const;
  uint32_t DspSize() const;
  uint32_t RegistrationSize() const;
  std::string ToneName(uint8_t tone);
  std::string DspName(uint8_t dsp);
  std::string RegistrationName(uint8_t bank, uint8_t number) const;
  uint32_t RhythmSize(uint8_t rhythm);
  std::string RhythmName(uint8_t rhythm);
  uint32_t SongSize(uint8_t song);
  std::string SongName(uint8_t song);
  void DeleteSong(uint8_t song);
  void DeleteRhythm(uint8_t rhythm);
  void AttachObserver(QnSysExObserver* observer);
  // Lets go of the MIDI ports; the next request opens them again.
  void CloseDevices();

  int32_t InputDevice() const { return inDevice_; }
  int32_t OutputDevice() const { return outDevice_; }

 private:
  void SetRequest(uint8_t category, uint32_t item, uint8_t parameter, uint8_t width, uint8_t index);
  uint32_t ReadValue();
  void WriteValue(uint32_t value);
  std::string ReadName();

  QnSysEx* protocol_;
  int32_t inDevice_ = 0;
  int32_t outDevice_ = 0;
  int32_t keyboardType_ = -1;
  SysExAddress address_;
  SysExParam parameter_;
};
