#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QnData;
class QnDataDrive;

// A keyboard slot as the command line names it: "tone/N", "dsp/N",
// "reg/B/N", "song/N" or "rhythm/N"; in a backup folder the same with
// hyphens, plus ".lqd".
class SlotAddress {
 public:
  static std::optional<SlotAddress> Parse(const std::string& text);
  static std::optional<SlotAddress> FromBackupFileName(const std::string& fileName);
  // The address of a slot entry of the keyboard tree; none for folders.
  static std::optional<SlotAddress> FromEntry(const QnData& entry);
  // Every slot of the keyboard, in the order of its memory map.
  static std::vector<SlotAddress> All();
  static std::string Syntax();

  std::string ToString() const;
  std::string BackupFileName() const;
  uint16_t Type() const { return type_; }
  uint32_t Bank() const { return bank_; }
  int32_t Slot() const { return slot_; }
  // Only songs and rhythms can be deleted on the keyboard.
  bool IsDeletable() const;
  // Whether `entry` is the slot entry this address names.
  bool Names(const QnData& entry) const;
  // The slot entry this address names under `root`, or nullptr.
  QnData* Find(const QnDataDrive& root) const;

  bool operator==(const SlotAddress& other) const = default;

 private:
  SlotAddress(uint16_t type, uint32_t bank, int32_t slot) : type_(type), bank_(bank), slot_(slot) {}
  static std::optional<SlotAddress> Split(const std::string& text, char separator);

  uint16_t type_;
  uint32_t bank_;
  int32_t slot_;
};
