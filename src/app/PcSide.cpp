#include "PcSide.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QTreeWidget>
#include <algorithm>

#include "ItemListView.h"
#include "files/QnDataFile.h"
#include "jobs/DataFile.h"

namespace {

QTreeWidgetItem* ChildWithCaption(QTreeWidgetItem* node, const QString& caption) {
  for (int i = 0; i < node->childCount(); ++i) {
    if (node->child(i)->text(0) == caption) return node->child(i);
  }
  return nullptr;
}

bool IsUnder(const QTreeWidgetItem* item, const QTreeWidgetItem* node) {
  for (const QTreeWidgetItem* p = item ? item->parent() : nullptr; p; p = p->parent()) {
    if (p == node) return true;
  }
  return false;
}

}  // namespace

PcSide::PcSide(QTreeWidget* tree, ItemListView* list)
    : tree_(tree), list_(list), folders_(tree, shell_, PcFolderTree::Order::ByCaption) {
  expanding_ = connect(tree_, &QTreeWidget::itemExpanded, this, &PcSide::Expanding);
  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { FolderChanged(current); });
  connect(list_, &ItemListView::itemOpened, this, [this](int row) {
    if (tree_->currentItem() != nullptr && row >= 0) OpenFolder(list_->Caption(row));
  });
  list_->SetResolver([this](ItemListModel::Row& row) {
    const QFileInfo info(listed_ + row.caption);
    row.icon = shell_.Icon(info);
    row.sub1 = shell_.TypeName(info);
  });
}

void PcSide::Start(const QString& folder) {
  folders_.BuildDriveLevel();
  // No node is current yet; without this the tree would make its first node
  // current when it gets the focus.
  tree_->setCurrentItem(nullptr);
  if (!QFileInfo(folder).isDir()) return;
  if (QTreeWidgetItem* found = folders_.Find(folder)) SelectNode(found);
}

void PcSide::Fill(QTreeWidgetItem* node) {
  const QString path = PcFolderTree::NodePath(node);
  QFileInfoList entries =
      QDir(path).entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
  QCollator collator;
  std::sort(entries.begin(), entries.end(), [&](const QFileInfo& a, const QFileInfo& b) {
    return collator.compare(a.fileName(), b.fileName()) < 0;
  });
  listed_ = path;
  list_->BeginFill();
  for (const QFileInfo& info : entries) {
    QString size;
    if (!info.isDir()) size = QString::number(std::max<qint64>(info.size() / 1024, 1)) + "KB";
    list_->AddUnresolvedItem(info.fileName(), size);
  }
  list_->EndFill();
}

void PcSide::Clear() {
  list_->Clear();
  entries_.clear();
}

void PcSide::Update() {
  Clear();
  if (QTreeWidgetItem* node = tree_->currentItem()) Fill(node);
}

bool PcSide::Refresh(const QString& folder) {
  QTreeWidgetItem* node = tree_->currentItem();
  if (node == nullptr || listed_ != folder) return false;
  Clear();
  Fill(node);
  return true;
}

void PcSide::SelectNode(QTreeWidgetItem* node) {
  QObject::disconnect(expanding_);
  for (QTreeWidgetItem* p = node->parent(); p; p = p->parent()) p->setExpanded(true);
  tree_->setCurrentItem(node);
  tree_->scrollToItem(node);
  expanding_ = connect(tree_, &QTreeWidget::itemExpanded, this, &PcSide::Expanding);
}

void PcSide::FolderChanged(QTreeWidgetItem* node) {
  Clear();
  if (node == nullptr) return;
  folders_.ListSubfolders(node);
  Fill(node);
}

void PcSide::Expanding(QTreeWidgetItem* node) {
  // Removing the selected node would move the selection somewhere while the
  // children are being replaced.
  if (IsUnder(tree_->currentItem(), node)) tree_->setCurrentItem(node);
  folders_.ListSubfolders(node);
}

void PcSide::OpenFolder(const QString& caption) {
  QTreeWidgetItem* node = tree_->currentItem();
  if (node == nullptr || caption.isEmpty()) return;
  if (!QFileInfo(PcFolderTree::NodePath(node) + caption).isDir()) return;
  if (QTreeWidgetItem* child = ChildWithCaption(node, caption)) SelectNode(child);
}

bool PcSide::ShowFile(const QString& path) {
  const QFileInfo info(path);
  // Nothing current while the way is listed afresh, so that a folder shown
  // already is read again too: the file may be new.
  tree_->setCurrentItem(nullptr);
  QTreeWidgetItem* node = folders_.Find(info.absolutePath());
  if (node == nullptr) return false;
  SelectNode(node);
  list_->SelectRow(list_->FindCaption(info.fileName()));
  list_->CurrentView()->setFocus();
  return true;
}

std::shared_ptr<QnDataFile> PcSide::FileEntry(int row) {
  const auto* attached = reinterpret_cast<const QnDataFile*>(list_->Data(row).value<quintptr>());
  for (const auto& held : entries_)
    if (held.get() == attached) return held;
  const QString caption = list_->Caption(row);
  if (!caption.endsWith(QLatin1String(".lqd"))) return nullptr;
  const QString path = PcFolderTree::NodePath(tree_->currentItem()) + caption;
  std::shared_ptr<QnDataFile> file = DataFile::Read(QFile::encodeName(path).toStdString());
  list_->SetData(row, QVariant::fromValue(reinterpret_cast<quintptr>(file.get())));
  entries_.push_back(file);
  return file;
}
