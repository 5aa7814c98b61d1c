#include "files/QnDataFile.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// Where an item's data name lies: in the data or in the header, at a byte offset.
struct NamePlace {
  bool inHeader;
  size_t offset;
};

bool FindNamePlace(uint16_t type, NamePlace& place) {
  switch (type) {
    case QnData::kTypeTone:
      place = {false, 36};
      return true;
    case QnData::kTypeDsp:
      place = {false, 0};
      return true;
    case QnData::kTypeSong:
      place = {false, 4};
      return true;
    case QnData::kTypeRhythm:
      place = {false, 2};
      return true;
    case QnData::kTypeRegistration:
      place = {true, 24};
      return true;
    default:
      return false;
  }
}

}  // namespace

QnDataFile::QnDataFile(uint16_t type) : QnData(type) { kind_ = kKindEntry | kKindFile; }

uint8_t* QnDataFile::Data() {
  // Rounded up to whole words and zero-filled, so that word-wise readers stay
  // inside the buffer; grown (keeping its contents) when the size has grown
  // since, so that Size() bytes are always there.
  if (Size() > kMaxDataSize) throw std::length_error("data size beyond any keyboard memory");
  const size_t wanted = (static_cast<size_t>(Size()) + 1) & ~size_t{1};
  if (!data_ || dataSize_ < wanted) {
    auto grown = std::make_unique<uint8_t[]>(wanted);
    if (data_) std::memcpy(grown.get(), data_.get(), dataSize_);
    data_ = std::move(grown);
    dataSize_ = wanted;
  }
  return data_.get();
}

void QnDataFile::LoadDataName() {
  NamePlace place;
  if (!FindNamePlace(Type(), place)) return;
  const uint8_t* bytes;
  if (place.inHeader) {
    bytes = HeaderBytes().data() + place.offset;
  } else {
    // A name place past the end of the data (a truncated item) holds no name.
    if (place.offset + kNameLength > Size()) return;
    bytes = Data() + place.offset;
  }
  std::string name(kNameLength, ' ');
  for (size_t i = 0; i < kNameLength; i += 2) {
    name[i] = static_cast<char>(bytes[i + 1]);
    name[i + 1] = static_cast<char>(bytes[i]);
  }
  SetName(name);
}

void QnDataFile::StoreDataName(const std::string& text) {
  SetName(text);
  NamePlace place;
  if (!FindNamePlace(Type(), place)) return;
  uint8_t* bytes;
  if (place.inHeader) {
    bytes = HeaderBytes().data() + place.offset;
  } else {
    if (!HasData() || place.offset + kNameLength > Size()) return;
    bytes = Data() + place.offset;
  }
  std::memset(bytes, ' ', kNameLength);
  std::memcpy(bytes, text.data(), std::min(text.size(), kNameLength));
  for (size_t i = 0; i < kNameLength; i += 2) std::swap(bytes[i], bytes[i + 1]);
}
