#pragma once

#include <QFileIconProvider>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>

class QFileInfo;

// What the desktop shows for a file or folder of the PC: its icon and its
// type name. Files are told apart by their name only, never by reading
// them, and icons are looked up once per type, so that a folder of many
// thousand files lists quickly.
class ShellInfo {
 public:
  QIcon Icon(const QFileInfo& info) const;
  QIcon FolderIcon() const;
  QIcon DriveIcon() const;
  QString TypeName(const QFileInfo& info) const;

 private:
  QMimeType TypeOf(const QFileInfo& info) const;

  QFileIconProvider provider_;
  QMimeDatabase mimes_;
  mutable QHash<QString, QIcon> icons_;
};
