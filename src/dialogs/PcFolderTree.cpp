#include "dialogs/PcFolderTree.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTreeWidget>
#include <algorithm>

#include "platform/ShellInfo.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

constexpr QDir::Filters kFolders = QDir::Dirs | QDir::NoDotAndDotDot;

QString WithSeparator(const QString& text) {
  return text.endsWith(QDir::separator()) ? text : text + QDir::separator();
}

bool IsRemovable([[maybe_unused]] const QString& drive) {
#ifdef Q_OS_WIN
  return GetDriveTypeW(reinterpret_cast<const wchar_t*>(drive.utf16())) == DRIVE_REMOVABLE;
#else
  return false;
#endif
}

}  // namespace

PcFolderTree::PcFolderTree(QTreeWidget* view, const ShellInfo& shell, Order order)
    : view_(view), shell_(shell), order_(order) {}

void PcFolderTree::BuildDriveLevel() {
  view_->clear();
  for (const QFileInfo& drive : QDir::drives()) {
    const QString caption = QDir::toNativeSeparators(drive.absoluteFilePath());
    auto* node = new QTreeWidgetItem(view_, {caption});
    node->setIcon(0, shell_.DriveIcon());
    // Removable drives are left alone until selected: probing an empty one waits.
    const bool expandable = !IsRemovable(caption) && HasSubfolder(caption);
    node->setChildIndicatorPolicy(expandable ? QTreeWidgetItem::ShowIndicator
                                             : QTreeWidgetItem::DontShowIndicator);
  }
}

void PcFolderTree::ListSubfolders(QTreeWidgetItem* node) {
  qDeleteAll(node->takeChildren());
  const QString path = NodePath(node);
  QStringList names;
  for (QDirIterator it(path, kFolders); it.hasNext();) names << it.nextFileInfo().fileName();
  if (order_ == Order::ByCaption) {
    const QCollator collator;
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
  }
  const QIcon icon = shell_.FolderIcon();
  for (const QString& name : names) {
    auto* child = new QTreeWidgetItem(node, {name});
    child->setIcon(0, icon);
    child->setChildIndicatorPolicy(HasSubfolder(path + name + QDir::separator())
                                       ? QTreeWidgetItem::ShowIndicator
                                       : QTreeWidgetItem::DontShowIndicator);
  }
  node->setChildIndicatorPolicy(node->childCount() > 0 ? QTreeWidgetItem::ShowIndicator
                                                       : QTreeWidgetItem::DontShowIndicator);
}

QTreeWidgetItem* PcFolderTree::Find(const QString& folder) {
  const QString native = QDir::toNativeSeparators(folder);
  const QString drive = DriveText(native);
  if (drive.isEmpty()) return nullptr;
  for (int i = 0; i < view_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* node = view_->topLevelItem(i);
    if (node->text(0) == drive) return Search(node, WithSeparator(native));
  }
  return nullptr;
}

QTreeWidgetItem* PcFolderTree::Search(QTreeWidgetItem* node, const QString& path) {
  const QString own = WithSeparator(node->text(0));
  if (!path.contains(own)) return nullptr;
  const QString rest = path.mid(own.size());
  if (rest.isEmpty()) return node;
  ListSubfolders(node);
  for (int i = 0; i < node->childCount(); ++i) {
    QTreeWidgetItem* child = node->child(i);
    const QString caption = child->text(0);
    if (caption.size() <= rest.size() && rest.startsWith(caption + QDir::separator()) &&
        QFileInfo(NodePath(child)).isDir())
      return Search(child, rest);
  }
  return node;
}

QString PcFolderTree::NodePath(const QTreeWidgetItem* node) {
  QString path;
  for (; node; node = node->parent()) path.prepend(WithSeparator(node->text(0)));
  return path;
}

bool PcFolderTree::HasSubfolder(const QString& path) {
  return QDirIterator(path, kFolders).hasNext();
}

QString PcFolderTree::DriveText(const QString& path) {
  const QString native = QDir::toNativeSeparators(path);
#ifdef Q_OS_WIN
  if (native.size() >= 2 && native[1] == QLatin1Char(':')) return native.left(2) + '\\';
  if (native.startsWith(QStringLiteral("\\\\"))) {
    // \\server\share
    const qsizetype share = native.indexOf('\\', 2);
    const qsizetype end = share < 0 ? -1 : native.indexOf('\\', share + 1);
    return WithSeparator(end < 0 ? native : native.left(end));
  }
  return QString();
#else
  return native.startsWith('/') ? QStringLiteral("/") : QString();
#endif
}
