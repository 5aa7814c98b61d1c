#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "files/QnData.h"

// An item together with its data bytes, held in memory word order (each
// 16-bit word low byte first).
class QnDataFile : public QnData {
 public:
  // No item of any keyboard memory comes near this many bytes (the largest,
  // "Song Rhythm:", holds 21504): a larger size is a damaged header or a
  // wrong answer, and no buffer is ever made for it.
  static constexpr uint32_t kMaxDataSize = 1u << 20;

  explicit QnDataFile(uint16_t type = kTypeUnknown);
  ~QnDataFile() = default;

  // The data buffer; created with Size() bytes on first use. A Size() beyond
  // kMaxDataSize throws std::length_error instead: callers check sizes that
  // come from outside before they get here.
  uint8_t* Data();
  bool HasData() const { return data_ != nullptr; }
  size_t DataCapacity() const { return dataSize_; }

  void LoadDataName();
  void StoreDataName(const std::string& text);

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t dataSize_ = 0;
};
