// LoadDataName and StoreDataName on entries with any header and data, with
// the type, size and buffer changing between the calls as a command's reuse
// of an entry may change them.
//
// Input: the 64-byte header, then operations, one byte each followed by
// their operands: 0 load the name; 1 store a name (length byte, text);
// 2 set the size (2 bytes, high first); 3 set the type (1 byte); 4 fill the
// data (as many bytes as the size, or what is left); 5 change a reserved
// header byte (offset, value).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "files/KeyboardText.h"
#include "files/QnDataFile.h"

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  size_t Left() const { return size_ - at_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  const uint8_t* Take(size_t count) {
    const uint8_t* from = data_ + at_;
    at_ += std::min(count, Left());
    return from;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Where the name lands, when a store reaches it: the header for a
// registration, else the data when the buffer exists and is long enough.
bool StoreLands(QnDataFile& file) {
  size_t offset = 0;
  switch (file.Type()) {
    case QnData::kTypeRegistration:
      return true;
    case QnData::kTypeTone:
      offset = 36;
      break;
    case QnData::kTypeDsp:
      offset = 0;
      break;
    case QnData::kTypeSong:
      offset = 4;
      break;
    case QnData::kTypeRhythm:
      offset = 2;
      break;
    default:
      return false;
  }
  return file.HasData() && offset + QnData::kNameLength <= file.Size();
}

// What people and file systems see of a name: its file name never leaves the
// folder, and the text of every byte that has a character types back as
// that byte. Read as typed text, any bytes give at most one byte each.
void CheckText(const std::string& name) {
  for (const char c : KeyboardText::ToFileName(name)) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) std::abort();
  }
  std::string typable;
  for (const char c : name) {
    if (KeyboardText::Character(static_cast<unsigned char>(c)) != 0 && c != '~') typable += c;
  }
  if (KeyboardText::FromUtf8(KeyboardText::ToUtf8(typable)) != typable) std::abort();
  if (KeyboardText::FromUtf8(name).size() > name.size()) std::abort();
}

constexpr uint16_t kTypes[] = {
    QnData::kTypeTone,         QnData::kTypeDsp,      QnData::kTypeSong,    QnData::kTypeRhythm,
    QnData::kTypeRegistration, QnData::kTypeKeyboard, QnData::kTypeUnknown, 0x0102};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < QnData::kHeaderSize) return 0;
  Input in(data, size);
  QnDataFile file;
  std::copy_n(in.Take(QnData::kHeaderSize), QnData::kHeaderSize, file.HeaderBytes().begin());
  // Sizes stay small enough to allocate; every other header byte is as given.
  file.SetSize(file.Size() & 0xFFFF);

  while (!in.Empty()) {
    switch (in.Byte() % 6) {
      case 0:
        file.LoadDataName();
        CheckText(file.Name());
        break;
      case 1: {
        const size_t length = std::min<size_t>(in.Byte() % 16, in.Left());
        const std::string text(reinterpret_cast<const char*>(in.Take(length)), length);
        file.StoreDataName(text);
        if (file.Name() != text) std::abort();
        if (StoreLands(file)) {
          file.LoadDataName();
          std::string expected = text.substr(0, QnData::kNameLength);
          expected.resize(QnData::kNameLength, ' ');
          if (file.Name() != expected) {
            std::fprintf(stderr, "stored \"%s\", loaded \"%s\"\n", text.c_str(),
                         file.Name().c_str());
            std::abort();
          }
        }
        break;
      }
      case 2: {
        const uint32_t high = in.Byte();
        file.SetSize(high << 8 | in.Byte());
        break;
      }
      case 3:
        file.SetType(kTypes[in.Byte() % std::size(kTypes)]);
        break;
      case 4: {
        uint8_t* bytes = file.Data();
        const size_t count = std::min<size_t>(file.Size(), in.Left());
        std::copy_n(in.Take(count), count, bytes);
        break;
      }
      case 5: {
        const size_t offset = 24 + in.Byte() % 40;
        file.HeaderBytes()[offset] = in.Byte();
        break;
      }
    }
    if (file.Name().size() > QnData::kNameLength + 15) std::abort();
  }
  return 0;
}
