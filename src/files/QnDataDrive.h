#pragma once

#include <cstdint>
#include <vector>

#include "files/QnData.h"

// A memory area of the keyboard (and the root that stands for the keyboard);
// owns its children.
class QnDataDrive : public QnData {
 public:
  explicit QnDataDrive(uint16_t type);
  ~QnDataDrive();

  size_t ChildCount() const { return children_.size(); }
  QnData* Child(size_t index) const { return children_[index]; }
  void AddChild(QnData* entry);  // takes ownership
  bool HasSubdirectories() const;

  uint32_t FreeBytes() const { return freeBytes_; }
  void SetFreeBytes(uint32_t bytes) { freeBytes_ = bytes; }
  uint32_t Capacity() const { return capacity_; }
  void SetCapacity(uint32_t bytes) { capacity_ = bytes; }
  uint32_t UsedBytes() const { return capacity_ - freeBytes_; }

 private:
  uint32_t freeBytes_ = 0;
  uint32_t capacity_ = 0;
  std::vector<QnData*> children_;
};
