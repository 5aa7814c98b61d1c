#include "ListPrinter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <vector>

#include "files/QnDataDrive.h"
#include "jobs/EntryView.h"
#include "keyboard/QnKbdDrv.h"

namespace {

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QJsonArray EntriesJson(const QnDataDrive& folder) {
  QJsonArray entries;
  for (size_t i = 0; i < folder.ChildCount(); ++i) {
    const QnData& child = *folder.Child(i);
    const EntryView row(child);
    const QString caption = QString::fromStdString(row.Caption());
    if (row.IsFolder()) {
      entries.append(QJsonObject{{"folder", caption},
                                 {"present", row.IsPresent()},
                                 {"entries", EntriesJson(static_cast<const QnDataDrive&>(child))}});
      continue;
    }
    entries.append(QJsonObject{{"address", QString::fromStdString(row.AddressText())},
                               {"type", row.Type()},
                               {"bank", static_cast<qint64>(child.BankNumber())},
                               {"slot", child.SlotNumber()},
                               {"present", row.IsPresent()},
                               {"size", static_cast<qint64>(row.Size())},
                               {"name", caption}});
  }
  return entries;
}

void SlotRows(const QnDataDrive& folder, const QString& path, std::vector<QStringList>& rows) {
  for (size_t i = 0; i < folder.ChildCount(); ++i) {
    const QnData& child = *folder.Child(i);
    const EntryView row(child);
    const QString caption = QString::fromStdString(row.Caption());
    if (row.IsFolder()) {
      SlotRows(static_cast<const QnDataDrive&>(child), path + caption + "\\", rows);
      continue;
    }
    rows.push_back({QString::fromStdString(row.AddressText()), path,
                    QString::fromLatin1(row.TypeWord(EntryView::Spelling::Properties)),
                    row.IsPresent() ? "present" : "empty", ListPrinter::SizeText(row.Size()),
                    caption});
  }
}

std::vector<const QnDataDrive*> Drives(QnKbdDrv& keyboard) {
  std::vector<const QnDataDrive*> drives;
  for (int i = 0; i < keyboard.GetDriveCount(); ++i) {
    drives.push_back(keyboard.GetDrive(keyboard.GetDriveName(i)));
  }
  return drives;
}

QJsonObject DriveSpace(const QnDataDrive& drive) {
  return QJsonObject{{"name", Latin1(drive.Name())},
                     {"capacity", static_cast<qint64>(drive.Capacity())},
                     {"used", static_cast<qint64>(drive.UsedBytes())},
                     {"free", static_cast<qint64>(drive.FreeBytes())}};
}

}  // namespace

QString ListPrinter::Table(const std::vector<QStringList>& rows, const std::vector<int>& right) {
  std::vector<qsizetype> widths;
  for (const QStringList& row : rows) {
    widths.resize(std::max<size_t>(widths.size(), static_cast<size_t>(row.size())), 0);
    for (qsizetype c = 0; c < row.size(); ++c) {
      widths[static_cast<size_t>(c)] = std::max(widths[static_cast<size_t>(c)], row[c].size());
    }
  }
  QString text;
  for (const QStringList& row : rows) {
    QString line;
    for (qsizetype c = 0; c < row.size(); ++c) {
      const qsizetype width = widths[static_cast<size_t>(c)];
      const bool last = c + 1 == row.size();
      const bool alignRight = std::find(right.begin(), right.end(), c) != right.end();
      if (c > 0) line += "  ";
      if (alignRight) {
        line += row[c].rightJustified(width);
      } else {
        line += last ? row[c] : row[c].leftJustified(width);
      }
    }
    text += line + "\n";
  }
  return text;
}

QString ListPrinter::SizeText(uint32_t bytes) { return QString::number(bytes) + "byte(s)"; }

QString ListPrinter::ListText(QnKbdDrv& keyboard) {
  std::vector<QStringList> rows{{"ADDRESS", "FOLDER", "TYPE", "STATE", "SIZE", "NAME"}};
  for (const QnDataDrive* drive : Drives(keyboard)) {
    SlotRows(*drive, Latin1(drive->Name()) + "\\", rows);
  }
  return Table(rows, {4});
}

QByteArray ListPrinter::ListJson(QnKbdDrv& keyboard) {
  QJsonArray drives;
  for (const QnDataDrive* drive : Drives(keyboard)) {
    QJsonObject object = DriveSpace(*drive);
    object.insert("entries", EntriesJson(*drive));
    drives.append(object);
  }
  QJsonObject list{{"model", Latin1(keyboard.Root()->Name())}, {"drives", drives}};
  return QJsonDocument(list).toJson(QJsonDocument::Indented);
}

QString ListPrinter::FreeText(QnKbdDrv& keyboard) {
  std::vector<QStringList> rows{{"DRIVE", "CAPACITY", "USED", "FREE"}};
  for (const QnDataDrive* drive : Drives(keyboard)) {
    rows.push_back({Latin1(drive->Name()), SizeText(drive->Capacity()),
                    SizeText(drive->UsedBytes()), SizeText(drive->FreeBytes())});
  }
  return Table(rows, {1, 2, 3});
}

QByteArray ListPrinter::FreeJson(QnKbdDrv& keyboard) {
  QJsonArray drives;
  for (const QnDataDrive* drive : Drives(keyboard)) drives.append(DriveSpace(*drive));
  QJsonObject free{{"model", Latin1(keyboard.Root()->Name())}, {"drives", drives}};
  return QJsonDocument(free).toJson(QJsonDocument::Indented);
}
