#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "files/QnData.h"

// An item together with its data bytes, held in memory word order (each
// 16-bit word low byte first).
class QnDataFile : public QnData {
 public:
  explicit QnDataFile(uint16_t type = kTypeUnknown);
  ~QnDataFile() = default;

  // The data buffer; created with Size() bytes on first use.
  uint8_t* Data();
  bool HasData() const { return data_ != nullptr; }
  size_t DataCapacity() const { return dataSize_; }

  void LoadDataName();
  void StoreDataName(const std::string& text);

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t dataSize_ = 0;
};
