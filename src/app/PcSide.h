#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

#include "dialogs/PcFolderTree.h"
#include "platform/ShellInfo.h"

class ItemListView;
class QnDataFile;
class QTreeWidget;
class QTreeWidgetItem;

// The main window's PC side: the folder tree, read a level at a time, and
// the list of the current folder's files and subfolders, whose icons and type
// names are looked up only for the items on screen.
class PcSide : public QObject {
 public:
  PcSide(QTreeWidget* tree, ItemListView* list);

  // Lists the drives and selects `folder`; a folder that is gone selects
  // nothing rather than some folder above it.
  void Start(const QString& folder);
  // Reads the current folder's list again.
  void Update();
  // Reads the list again if it still shows `folder`.
  bool Refresh(const QString& folder);
  // Goes into the current folder's subfolder of this caption, as a double
  // click on it does; a file changes nothing.
  void OpenFolder(const QString& caption);
  // Selects the file's folder and the file in the list; false when no drive
  // holds the folder.
  bool ShowFile(const QString& path);
  // The entry of the ".lqd" file at `row`, read when first asked for and held
  // with the row until the list is cleared; nullptr for another file.
  std::shared_ptr<QnDataFile> FileEntry(int row);

 private:
  void Fill(QTreeWidgetItem* node);
  void Clear();
  void SelectNode(QTreeWidgetItem* node);
  void FolderChanged(QTreeWidgetItem* node);
  void Expanding(QTreeWidgetItem* node);

  QTreeWidget* tree_;   // LocalDirView
  ItemListView* list_;  // LocalFileView
  ShellInfo shell_;
  PcFolderTree folders_;
  QString listed_;  // the folder the list shows
  std::vector<std::shared_ptr<QnDataFile>> entries_;
  QMetaObject::Connection expanding_;
};
