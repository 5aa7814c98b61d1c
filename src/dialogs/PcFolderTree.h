#pragma once

#include <QString>

class QTreeWidget;
class QTreeWidgetItem;
class ShellInfo;

// The PC's drives and folders in a tree widget, read a level at a time: a
// node's subfolders are listed when it is selected or expanded, and its
// expand mark comes from a probe that stops at the first subfolder. Hidden
// and system folders are left out. A node's path is the captions from its
// drive down, each ending in the platform's separator.
class PcFolderTree {
 public:
  enum class Order {
    AsListed,   // subfolders in the order in which the file system lists them
    ByCaption,  // subfolders sorted by name, locale-aware
  };

  PcFolderTree(QTreeWidget* view, const ShellInfo& shell, Order order = Order::AsListed);

  void BuildDriveLevel();
  // Replaces the node's children by its subfolders as they are now.
  void ListSubfolders(QTreeWidgetItem* node);
  // The node of `folder`, found from its drive node through the folders on
  // the way (listing each); the deepest of them that exists. nullptr when
  // no drive node is the folder's drive.
  QTreeWidgetItem* Find(const QString& folder);

  static QString NodePath(const QTreeWidgetItem* node);
  static bool HasSubfolder(const QString& path);
  // The drive part of a path with a separator ("C:\" for C:\Data, "/" for
  // /home); "" for a relative path.
  static QString DriveText(const QString& path);

 private:
  QTreeWidgetItem* Search(QTreeWidgetItem* node, const QString& path);

  QTreeWidget* view_;
  const ShellInfo& shell_;
  Order order_;
};
