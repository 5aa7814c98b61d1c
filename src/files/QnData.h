#pragma once

#include <array>
#include <cstdint>
#include <string>

// One slot of the keyboard's memory, or the base of a drive, folder or item
// with data. No virtual operations: `Kind()` tells the class apart, and
// owners destroy entries through DestroyEntry, which dispatches on it.
class QnData {
 public:
  static constexpr uint8_t kKindEntry = 1;
  static constexpr uint8_t kKindDrive = 2;
  static constexpr uint8_t kKindDirectory = 4;
  static constexpr uint8_t kKindFile = 8;

  static constexpr uint16_t kTypeTone = 2;
  static constexpr uint16_t kTypeDsp = 9;
  static constexpr uint16_t kTypeSong = 10;
  static constexpr uint16_t kTypeRhythm = 11;
  static constexpr uint16_t kTypeRegistration = 12;
  static constexpr uint16_t kTypeKeyboard = 13;
  static constexpr uint16_t kTypeUnknown = 0xFFFF;

  static constexpr size_t kHeaderSize = 64;
  static constexpr size_t kNameLength = 8;
  using Header = std::array<uint8_t, kHeaderSize>;

  explicit QnData(uint16_t type);
  QnData(const QnData&) = delete;
  QnData& operator=(const QnData&) = delete;

  // Destroys an entry of any class as the class its kind names.
  static void DestroyEntry(QnData* entry);

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  uint32_t BankNumber() const { return bankNumber_; }
  void SetBankNumber(uint32_t bank) { bankNumber_ = bank; }
  int32_t SlotNumber() const { return slotNumber_; }
  void SetSlotNumber(int32_t slot) { slotNumber_ = slot; }
  bool IsPresent() const { return present_ != 0; }
  void MarkPresent() { present_ = 1; }
  void MarkAbsent() { present_ = 0; }
  uint8_t Kind() const { return kind_; }

  uint16_t Type() const;
  void SetType(uint16_t type);
  uint32_t Size() const;
  void SetSize(uint32_t size);
  uint16_t ModelCode() const;
  void SetModelCode(uint16_t code);
  Header& HeaderBytes() { return header_; }
  const Header& HeaderBytes() const { return header_; }

 protected:
  ~QnData() = default;  // only through DestroyEntry or the concrete class
  uint8_t kind_ = kKindEntry;

 private:
  std::string name_;
  uint32_t bankNumber_ = 0;
  int32_t slotNumber_ = 0;
  uint8_t present_ = 0;
  Header header_{};
};
