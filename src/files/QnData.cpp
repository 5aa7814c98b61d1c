#include "files/QnData.h"

#include <cstring>

#include "files/QnDataDirectory.h"
#include "files/QnDataDrive.h"
#include "files/QnDataFile.h"

namespace {

constexpr char kSignature[16] = "VARDO Music Lib";
constexpr size_t kSizeOffset = 16;
constexpr size_t kModelOffset = 20;
constexpr size_t kTypeOffset = 22;

uint16_t GetBig16(const QnData::Header& h, size_t at) {
  return static_cast<uint16_t>((h[at] << 8) | h[at + 1]);
}

void PutBig16(QnData::Header& h, size_t at, uint16_t value) {
  h[at] = static_cast<uint8_t>(value >> 8);
  h[at + 1] = static_cast<uint8_t>(value);
}

}  // namespace

QnData::QnData(uint16_t type) {
  std::memcpy(header_.data(), kSignature, sizeof kSignature);
  SetType(type);
}

void QnData::DestroyEntry(QnData* entry) {
  if (entry == nullptr) return;
  // Directories carry the directory flag without the drive flag, so the
  // order of these tests picks the most derived class.
  const uint8_t kind = entry->Kind();
  if (kind & kKindDrive) {
    delete static_cast<QnDataDrive*>(entry);
  } else if (kind & kKindDirectory) {
    delete static_cast<QnDataDirectory*>(entry);
  } else if (kind & kKindFile) {
    delete static_cast<QnDataFile*>(entry);
  } else {
    delete entry;
  }
}

uint16_t QnData::Type() const { return GetBig16(header_, kTypeOffset); }

void QnData::SetType(uint16_t type) { PutBig16(header_, kTypeOffset, type); }

uint32_t QnData::Size() const {
  return (static_cast<uint32_t>(header_[kSizeOffset]) << 24) |
         (static_cast<uint32_t>(header_[kSizeOffset + 1]) << 16) |
         (static_cast<uint32_t>(header_[kSizeOffset + 2]) << 8) | header_[kSizeOffset + 3];
}

void QnData::SetSize(uint32_t size) {
  header_[kSizeOffset] = static_cast<uint8_t>(size >> 24);
  header_[kSizeOffset + 1] = static_cast<uint8_t>(size >> 16);
  header_[kSizeOffset + 2] = static_cast<uint8_t>(size >> 8);
  header_[kSizeOffset + 3] = static_cast<uint8_t>(size);
}

uint16_t QnData::ModelCode() const { return GetBig16(header_, kModelOffset); }

void QnData::SetModelCode(uint16_t code) { PutBig16(header_, kModelOffset, code); }
