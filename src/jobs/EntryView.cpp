#include "jobs/EntryView.h"

#include "files/KeyboardText.h"
#include "files/QnData.h"

EntryView::EntryView(const QnData& entry)
    : caption_(Caption(entry.Name())),
      folder_((entry.Kind() & (QnData::kKindDrive | QnData::kKindDirectory)) != 0),
      present_(entry.IsPresent()),
      type_(entry.Type()),
      size_(entry.Size()),
      address_(SlotAddress::FromEntry(entry)) {}

const char* EntryView::TypeWord(uint16_t type, Spelling spelling) {
  switch (type) {
    case QnData::kTypeTone:
      return "Tone";
    case QnData::kTypeDsp:
      return "DSP";
    case QnData::kTypeSong:
      return "Song";
    case QnData::kTypeRhythm:
      return "Rhythm";
    case QnData::kTypeRegistration:
      return spelling == Spelling::List ? "Registraion" : "Regstration";
    default:
      return "";
  }
}

std::string EntryView::Caption(const std::string& name) {
  return KeyboardText::ToUtf8(name.substr(0, name.find('\0')));
}

std::string EntryView::AddressText() const {
  return address_ ? address_->ToString() : std::string();
}
