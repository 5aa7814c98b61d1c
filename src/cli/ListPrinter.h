#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

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
  // Columns padded to their widest cell; the columns listed in `right` are
  // aligned to the right, and the last column is never padded.
  static QString Table(const std::vector<QStringList>& rows, const std::vector<int>& right);
};
