#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string>

class QnKbdDrv;

// The keyboard's filled tree as the list and free commands print it: an
// aligned table for people, JSON for programs.
class ListPrinter {
 public:
  static QString ListText(QnKbdDrv& keyboard);
  static QByteArray ListJson(QnKbdDrv& keyboard);
  static QString FreeText(QnKbdDrv& keyboard);
  static QByteArray FreeJson(QnKbdDrv& keyboard);

  // The type names of the property dialog; empty for an unknown type.
  static QString TypeName(uint16_t type);
  // A size as the program shows sizes: "600byte(s)".
  static QString SizeText(uint32_t bytes);
  // A display name up to its first NUL, trailing blanks kept.
  static QString DisplayName(const std::string& name);
};
