#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "dialogs/PcFolderTree.h"
#include "platform/ShellInfo.h"

namespace Ui {
class TDirBrowseForm;
}

class QTreeWidgetItem;

// Picks a PC folder from a tree of the drives and folders. The result is the
// starting folder as given until OK makes it the selected folder's path,
// which ends in the platform's separator.
class TDirBrowseForm : public QDialog {
  Q_OBJECT

 public:
  explicit TDirBrowseForm(QWidget* parent = nullptr);
  ~TDirBrowseForm() override;

  void SetStartFolder(const QString& folder);
  QString Result() const { return result_; }

 private:
  void DirViewChange(QTreeWidgetItem* node);
  void DirViewExpanding(QTreeWidgetItem* node);
  void OkBtnClick();
  // Lists with the tree's handlers off: re-listing deletes nodes, which
  // moves the selection.
  void Relist(QTreeWidgetItem* node);

  std::unique_ptr<Ui::TDirBrowseForm> ui_;
  ShellInfo shell_;
  std::unique_ptr<PcFolderTree> tree_;
  QString result_;
  bool handlersAttached_ = true;
};
