#include "files/SlotAddress.h"

#include "files/QnData.h"
#include "files/QnDataDrive.h"

namespace {

struct Kind {
  const char* word;
  uint16_t type;
  uint32_t banks;  // 0: the kind has no banks
  int32_t slots;
};

constexpr Kind kKinds[] = {
    {"tone", QnData::kTypeTone, 0, 10},       {"dsp", QnData::kTypeDsp, 0, 10},
    {"reg", QnData::kTypeRegistration, 4, 4}, {"song", QnData::kTypeSong, 0, 2},
    {"rhythm", QnData::kTypeRhythm, 0, 4},
};

const Kind* KindOfType(uint16_t type) {
  for (const Kind& kind : kKinds) {
    if (kind.type == type) return &kind;
  }
  return nullptr;
}

// A number of one decimal digit below `limit`.
std::optional<uint32_t> Digit(const std::string& text, uint32_t limit) {
  if (text.size() != 1 || text[0] < '0' || text[0] > '9') return std::nullopt;
  uint32_t value = static_cast<uint32_t>(text[0] - '0');
  if (value >= limit) return std::nullopt;
  return value;
}

}  // namespace

std::optional<SlotAddress> SlotAddress::Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (const Kind& kind : kKinds) {
    if (parts[0] != kind.word) continue;
    if (kind.banks == 0) {
      if (parts.size() != 2) return std::nullopt;
      auto slot = Digit(parts[1], static_cast<uint32_t>(kind.slots));
      if (!slot) return std::nullopt;
      return SlotAddress(kind.type, 0, static_cast<int32_t>(*slot));
    }
    if (parts.size() != 3) return std::nullopt;
    auto bank = Digit(parts[1], kind.banks);
    auto slot = Digit(parts[2], static_cast<uint32_t>(kind.slots));
    if (!bank || !slot) return std::nullopt;
    return SlotAddress(kind.type, *bank, static_cast<int32_t>(*slot));
  }
  return std::nullopt;
}

std::optional<SlotAddress> SlotAddress::Parse(const std::string& text) { return Split(text, '/'); }

std::optional<SlotAddress> SlotAddress::FromBackupFileName(const std::string& fileName) {
  static const std::string kExtension = ".lqd";
  if (fileName.size() <= kExtension.size() ||
      fileName.compare(fileName.size() - kExtension.size(), kExtension.size(), kExtension) != 0) {
    return std::nullopt;
  }
  return Split(fileName.substr(0, fileName.size() - kExtension.size()), '-');
}

std::optional<SlotAddress> SlotAddress::FromEntry(const QnData& entry) {
  if ((entry.Kind() & (QnData::kKindDrive | QnData::kKindDirectory)) != 0) return std::nullopt;
  const Kind* kind = KindOfType(entry.Type());
  if (kind == nullptr || entry.SlotNumber() < 0 || entry.SlotNumber() >= kind->slots) {
    return std::nullopt;
  }
  uint32_t bank = kind->banks == 0 ? 0 : entry.BankNumber();
  if (kind->banks != 0 && bank >= kind->banks) return std::nullopt;
  return SlotAddress(kind->type, bank, entry.SlotNumber());
}

std::vector<SlotAddress> SlotAddress::All() {
  std::vector<SlotAddress> all;
  for (const Kind& kind : kKinds) {
    for (uint32_t bank = 0; bank < (kind.banks == 0 ? 1 : kind.banks); ++bank) {
      for (int32_t slot = 0; slot < kind.slots; ++slot) all.push_back({kind.type, bank, slot});
    }
  }
  return all;
}

std::string SlotAddress::Syntax() {
  return "tone/0-9, dsp/0-9, reg/0-3/0-3, song/0-1 or rhythm/0-3";
}

std::string SlotAddress::ToString() const {
  const Kind* kind = KindOfType(type_);
  std::string text = kind->word;
  if (kind->banks != 0) {
    text += '/';
    text += std::to_string(bank_);
  }
  text += '/';
  text += std::to_string(slot_);
  return text;
}

std::string SlotAddress::BackupFileName() const {
  std::string name = ToString();
  for (char& c : name) {
    if (c == '/') c = '-';
  }
  return name + ".lqd";
}

bool SlotAddress::IsDeletable() const {
  return type_ == QnData::kTypeSong || type_ == QnData::kTypeRhythm;
}

bool SlotAddress::Names(const QnData& entry) const {
  auto address = FromEntry(entry);
  return address && *address == *this;
}

QnData* SlotAddress::Find(const QnDataDrive& root) const {
  for (size_t i = 0; i < root.ChildCount(); ++i) {
    QnData* child = root.Child(i);
    QnData* found = (child->Kind() & (QnData::kKindDrive | QnData::kKindDirectory)) != 0
                        ? Find(*static_cast<QnDataDrive*>(child))
                        : (Names(*child) ? child : nullptr);
    if (found != nullptr) return found;
  }
  return nullptr;
}
