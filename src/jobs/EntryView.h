#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "files/SlotAddress.h"

class QnData;

// One entry of the keyboard tree as every list shows it: the window's list,
// the page's list and the command line's table and JSON all read their rows
// from here, so that a caption, a type word or what may be deleted is decided
// once.
class EntryView {
 public:
  // The keyboard list spells a registration "Registraion", the Properties
  // dialogs "Regstration".
  enum class Spelling { List, Properties };

  explicit EntryView(const QnData& entry);

  // A data type's word; empty for a type no slot holds.
  static const char* TypeWord(uint16_t type, Spelling spelling);
  // A name as the lists show it: up to its first NUL, blanks kept, the
  // keyboard's bytes as UTF-8.
  static std::string Caption(const std::string& name);

  const std::string& Caption() const { return caption_; }
  // A drive or a folder: it holds entries and is no item of its own.
  bool IsFolder() const { return folder_; }
  bool IsPresent() const { return present_; }
  uint16_t Type() const { return type_; }
  const char* TypeWord(Spelling spelling) const { return TypeWord(type_, spelling); }
  uint32_t Size() const { return size_; }
  // The slot's address; none for a folder.
  const std::optional<SlotAddress>& Address() const { return address_; }
  // The address as the command line writes it; empty for a folder.
  std::string AddressText() const;
  // Only a song or a rhythm slot can be deleted; a folder never.
  bool IsDeletable() const { return address_ && address_->IsDeletable(); }

 private:
  std::string caption_;
  bool folder_;
  bool present_;
  uint16_t type_;
  uint32_t size_;
  std::optional<SlotAddress> address_;
};
