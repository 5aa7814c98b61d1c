#include "platform/ShellInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

QMimeType ShellInfo::TypeOf(const QFileInfo& info) const {
  return mimes_.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
}

QIcon ShellInfo::FolderIcon() const { return provider_.icon(QFileIconProvider::Folder); }

QIcon ShellInfo::DriveIcon() const { return provider_.icon(QFileIconProvider::Drive); }

QIcon ShellInfo::Icon(const QFileInfo& info) const {
  if (info.isRoot()) return DriveIcon();
  if (info.isDir()) return FolderIcon();
  const QMimeType type = TypeOf(info);
  auto cached = icons_.constFind(type.name());
  if (cached != icons_.constEnd()) return *cached;
  QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
  if (icon.isNull()) icon = provider_.icon(info);
  if (icon.isNull()) icon = provider_.icon(QFileIconProvider::File);
  icons_.insert(type.name(), icon);
  return icon;
}

QString ShellInfo::TypeName(const QFileInfo& info) const {
  if (info.isDir()) return mimes_.mimeTypeForName(QStringLiteral("inode/directory")).comment();
  const QMimeType type = TypeOf(info);
  if (!type.isDefault()) return type.comment();
  // A type the desktop does not know is named after its extension, as the
  // Windows shell does ("LQD File").
  const QString suffix = info.suffix().toUpper();
  const bool japanese = QLocale().language() == QLocale::Japanese;
  if (suffix.isEmpty()) return japanese ? QStringLiteral("ファイル") : QStringLiteral("File");
  return suffix + (japanese ? QStringLiteral(" ファイル") : QStringLiteral(" File"));
}
