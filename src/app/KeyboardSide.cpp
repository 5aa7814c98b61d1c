#include "KeyboardSide.h"

#include <QTreeWidget>
#include <vector>

#include "IconSet.h"
#include "ItemListView.h"
#include "files/QnData.h"
#include "files/QnDataDrive.h"
#include "jobs/EntryView.h"
#include "keyboard/QnKbdDrv.h"
#include "protocol/MsgStr.h"

namespace {

constexpr int kEntryRole = Qt::UserRole;
constexpr uint8_t kMaskFolders = QnData::kKindDirectory;
constexpr uint8_t kMaskAll = QnData::kKindEntry | QnData::kKindDirectory | QnData::kKindFile;

QVariant EntryValue(QnData* entry) {
  return QVariant::fromValue(reinterpret_cast<quintptr>(entry));
}

QnData* EntryFrom(const QVariant& value) {
  return reinterpret_cast<QnData*>(value.value<quintptr>());
}

bool IsFolder(const QnData* entry) { return (entry->Kind() & QnData::kKindDirectory) != 0; }

// The list's picture of an item of each type.
int TypeImage(uint16_t type) {
  switch (type) {
    case QnData::kTypeTone:
      return 6;
    case QnData::kTypeDsp:
      return 7;
    case QnData::kTypeSong:
      return 9;
    case QnData::kTypeRhythm:
      return 10;
    case QnData::kTypeRegistration:
      return 8;
    default:
      return 5;
  }
}

}  // namespace

KeyboardSide::KeyboardSide(QTreeWidget* tree, ItemListView* list, QnKbdDrv& keyboard,
                           const MsgStr& msg)
    : tree_(tree),
      list_(list),
      keyboard_(keyboard),
      msg_(msg),
      model_(QString::fromLatin1(QnKbdDrv::kModelName)) {}

QnData* KeyboardSide::NodeEntry(const QTreeWidgetItem* node) {
  return node ? EntryFrom(node->data(0, kEntryRole)) : nullptr;
}

QnData* KeyboardSide::RowEntry(int row) const {
  return row >= 0 && row < list_->Count() ? EntryFrom(list_->Data(row)) : nullptr;
}

bool KeyboardSide::CanDrag(int row) const {
  const QnData* entry = RowEntry(row);
  return keyboard_.IsConnected() && entry != nullptr && !IsFolder(entry);
}

std::string KeyboardSide::NodePath(const QTreeWidgetItem* node) const {
  std::vector<std::string> captions;
  for (const QTreeWidgetItem* n = node; n; n = n->parent())
    captions.insert(captions.begin(), n->text(0).toLatin1().toStdString());
  std::string path;
  for (const std::string& caption : captions) {
    path += caption;
    if (path.empty() || path.back() != '\\') path += '\\';
  }
  const std::string model = model_.toStdString();
  if (path.compare(0, model.size(), model) == 0) path.erase(0, model.size() + 1);
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

void KeyboardSide::Rebuild() {
  list_->Clear();
  tree_->clear();
  auto* root = new QTreeWidgetItem(tree_, {model_});
  root->setIcon(0, IconSet::Kbd(11));
  const int driveImage = keyboard_.IsConnected() ? 1 : 0;
  for (int i = 0; i < keyboard_.GetDriveCount(); ++i) {
    const std::string name = keyboard_.GetDriveName(i);
    auto* node = new QTreeWidgetItem(root, {QString::fromLatin1(name) + QLatin1Char('\\')});
    node->setData(0, kEntryRole, EntryValue(keyboard_.GetDrive(name)));
    node->setIcon(0, IconSet::Kbd(driveImage));
    const bool folders = keyboard_.HasSubDirectory(name);
    node->setChildIndicatorPolicy(folders ? QTreeWidgetItem::ShowIndicator
                                          : QTreeWidgetItem::DontShowIndicator);
    AddFolders(node);
  }
  root->setExpanded(true);
  if (root->childCount() > 0) tree_->setCurrentItem(root->child(0));
}

void KeyboardSide::AddFolders(QTreeWidgetItem* node) {
  const std::string path = NodePath(node);
  QnData* entry = nullptr;
  if (!keyboard_.FindFirst(path, kMaskFolders, entry)) return;
  do {
    if (!IsFolder(entry)) continue;
    auto* child =
        new QTreeWidgetItem(node, {QString::fromStdString(EntryView::Caption(entry->Name()))});
    child->setData(0, kEntryRole, EntryValue(entry));
    const bool present = entry->IsPresent();
    child->setIcon(0, present ? IconSet::KbdPair(3, 4) : IconSet::Kbd(2));
    const bool folders = keyboard_.HasSubDirectory(path + entry->Name());
    child->setChildIndicatorPolicy(folders ? QTreeWidgetItem::ShowIndicator
                                           : QTreeWidgetItem::DontShowIndicator);
    if (folders) AddFolders(child);
  } while (keyboard_.FindNext(entry));
  keyboard_.FindClose();
}

bool KeyboardSide::Fill(QTreeWidgetItem* node) {
  bool deletable = false;
  QnData* entry = nullptr;
  if (!keyboard_.FindFirst(NodePath(node), kMaskAll, entry)) return false;
  list_->BeginFill();
  do {
    const EntryView row(*entry);
    const QString caption = QString::fromStdString(row.Caption());
    deletable = deletable || row.IsDeletable();
    if (row.IsFolder()) {
      list_->AddItem(caption, IconSet::Kbd(row.IsPresent() ? 3 : 2),
                     QString::fromStdString(msg_.FolderText(0)), QString(), EntryValue(entry));
    } else if (row.IsPresent()) {
      list_->AddItem(caption, IconSet::Kbd(TypeImage(row.Type())),
                     QString::fromLatin1(row.TypeWord(EntryView::Spelling::List)),
                     QString::number(row.Size()), EntryValue(entry));
    } else {
      list_->AddItem(caption, IconSet::Kbd(5), QString(), QString(), EntryValue(entry));
    }
  } while (keyboard_.FindNext(entry));
  keyboard_.FindClose();
  list_->EndFill();
  return deletable;
}

void KeyboardSide::OpenFolder(int row) {
  QTreeWidgetItem* node = tree_->currentItem();
  QnData* entry = RowEntry(row);
  if (node == nullptr || entry == nullptr || !IsFolder(entry)) return;
  for (int i = 0; i < node->childCount(); ++i) {
    if (NodeEntry(node->child(i)) != entry) continue;
    node->setExpanded(true);
    tree_->setCurrentItem(node->child(i));
    return;
  }
}
