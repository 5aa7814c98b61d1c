#pragma once

#include <QString>
#include <string>

class ItemListView;
class MsgStr;
class QnData;
class QnKbdDrv;
class QTreeWidget;
class QTreeWidgetItem;

// The main window's keyboard side: the tree of the keyboard's drives and
// folders as its last list gave them, and the list of a folder's slots,
// each row as EntryView shows it. Nodes and rows carry their entries.
class KeyboardSide {
 public:
  KeyboardSide(QTreeWidget* tree, ItemListView* list, QnKbdDrv& keyboard, const MsgStr& msg);

  // The tree anew, its first drive current.
  void Rebuild();
  // Lists the folder of `node`; true when one of its items may be deleted.
  bool Fill(QTreeWidgetItem* node);
  // Goes into the folder at `row`, as a double click on it does.
  void OpenFolder(int row);
  // Whether the item at `row` may be dragged: a slot of a keyboard listed.
  bool CanDrag(int row) const;

  static QnData* NodeEntry(const QTreeWidgetItem* node);
  QnData* RowEntry(int row) const;
  // A node's path as the keyboard object names it: "Tone:\", "\" for the root.
  std::string NodePath(const QTreeWidgetItem* node) const;

 private:
  void AddFolders(QTreeWidgetItem* node);

  QTreeWidget* tree_;   // KbdDirView
  ItemListView* list_;  // KbdFileView
  QnKbdDrv& keyboard_;
  const MsgStr& msg_;
  QString model_;
};
