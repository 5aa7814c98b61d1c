#include "files/QnDataDrive.h"

QnDataDrive::QnDataDrive(uint16_t type) : QnData(type) { kind_ = kKindEntry | kKindDrive; }

QnDataDrive::~QnDataDrive() {
  for (QnData* child : children_) DestroyEntry(child);
}

void QnDataDrive::AddChild(QnData* entry) {
  if (entry == nullptr) return;
  try {
    children_.push_back(entry);
  } catch (...) {
    // The drive owns the entry from the call on, also when it cannot keep it.
    DestroyEntry(entry);
    throw;
  }
}

bool QnDataDrive::HasSubdirectories() const {
  for (const QnData* child : children_) {
    if (child->Kind() & kKindDirectory) return true;
  }
  return false;
}
