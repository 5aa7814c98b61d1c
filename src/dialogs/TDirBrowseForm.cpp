#include "dialogs/TDirBrowseForm.h"

#include <QFileInfo>
#include <QTreeWidget>

#include "protocol/MsgStr.h"
#include "ui_TDirBrowseForm.h"

TDirBrowseForm::TDirBrowseForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui_(std::make_unique<Ui::TDirBrowseForm>()) {
  ui_->setupUi(this);
  const MsgStr msg;
  setWindowTitle(QString::fromStdString(msg.WordText(MsgStr::kWordDirectries)));
  ui_->OkBtn->setText(QString::fromStdString(msg.WordText(MsgStr::kWordOk)));
  ui_->CancelBtn->setText(QString::fromStdString(msg.WordText(MsgStr::kWordCancel)));
  tree_ = std::make_unique<PcFolderTree>(ui_->DirView, shell_);
  connect(ui_->DirView, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { DirViewChange(current); });
  connect(ui_->DirView, &QTreeWidget::itemExpanded, this, &TDirBrowseForm::DirViewExpanding);
  connect(ui_->OkBtn, &QPushButton::clicked, this, &TDirBrowseForm::OkBtnClick);
  handlersAttached_ = false;
  tree_->BuildDriveLevel();
  handlersAttached_ = true;
}

TDirBrowseForm::~TDirBrowseForm() = default;

void TDirBrowseForm::SetStartFolder(const QString& folder) {
  result_ = folder;
  handlersAttached_ = false;
  // A folder that is gone selects nothing rather than some folder above it.
  QTreeWidgetItem* node = QFileInfo(folder).isDir() ? tree_->Find(folder) : nullptr;
  if (node) {
    for (QTreeWidgetItem* up = node->parent(); up; up = up->parent()) up->setExpanded(true);
    ui_->DirView->setCurrentItem(node);
    tree_->ListSubfolders(node);
    ui_->DirView->scrollToItem(node);
  }
  handlersAttached_ = true;
}

void TDirBrowseForm::Relist(QTreeWidgetItem* node) {
  const bool attached = handlersAttached_;
  handlersAttached_ = false;
  tree_->ListSubfolders(node);
  handlersAttached_ = attached;
}

void TDirBrowseForm::DirViewChange(QTreeWidgetItem* node) {
  if (handlersAttached_ && node) Relist(node);
}

void TDirBrowseForm::DirViewExpanding(QTreeWidgetItem* node) {
  if (handlersAttached_) Relist(node);
}

void TDirBrowseForm::OkBtnClick() {
  const QList<QTreeWidgetItem*> selected = ui_->DirView->selectedItems();
  if (!selected.isEmpty()) result_ = PcFolderTree::NodePath(selected.first());
  accept();
}
