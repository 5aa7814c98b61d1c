#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

class QnKbdDrv;

// The keyboard's filled tree as the list and free commands print it: an
// aligned table for people, JSON for programs.
class ListPrinter {
 public:
  static QString ListText(QnKbdDrv& keyboard);
  static QByteArray ListJson(QnKbdDrv& keyboard);
  static QString FreeText(QnKbdDrv& keyboard);
  static QByteArray FreeJson(QnKbdDrv& keyboard);

  // A size as the program shows sizes: "600byte(s)".
  static QString SizeText(uint32_t bytes);
};
