#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "ModalDialog.h"
#include "dialogs/PcFolderTree.h"
#include "dialogs/TDirBrowseForm.h"

namespace {

QTreeWidget* Tree(TDirBrowseForm* form) { return form->findChild<QTreeWidget*>("DirView"); }

QTreeWidgetItem* Selected(TDirBrowseForm* form) {
  const auto items = Tree(form)->selectedItems();
  return items.isEmpty() ? nullptr : items.first();
}

QStringList Captions(const QTreeWidgetItem* node) {
  QStringList captions;
  for (int i = 0; i < node->childCount(); ++i) captions << node->child(i)->text(0);
  captions.sort();
  return captions;
}

// Closes the picker with the button named and returns its result.
QString Close(TDirBrowseForm& form, const char* button) {
  OnModal<TDirBrowseForm>(
      [button](TDirBrowseForm* f) { f->findChild<QPushButton*>(button)->click(); });
  form.exec();
  return form.Result();
}

const QChar kSep = QDir::separator();

}  // namespace

class DirBrowseFormTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    QVERIFY(dir_.isValid());
    root_ = QDir::toNativeSeparators(QDir(dir_.path()).canonicalPath());
    QDir base(root_);
    for (const char* folder :
         {"Data/Songs", "Data/Tones/Old", "Data/.hidden", "Prog", "Program Files/Vardo", "Empty"})
      QVERIFY(base.mkpath(folder));
  }

  void StartFolderIsSelectedWithItsSubfoldersListed() {
    TDirBrowseForm form;
    form.SetStartFolder(root_ + kSep + "Data");
    QTreeWidgetItem* node = Selected(&form);
    QVERIFY(node);
    QCOMPARE(PcFolderTree::NodePath(node), root_ + kSep + "Data" + kSep);
    QCOMPARE(Captions(node), QStringList({"Songs", "Tones"}));  // no hidden folder
    QVERIFY(Tree(&form)->isExpanded(Tree(&form)->indexFromItem(node->parent())));

    // OK without moving: the path with a separator; Cancel: the start as given.
    QCOMPARE(Close(form, "OkBtn"), root_ + kSep + "Data" + kSep);
    TDirBrowseForm other;
    other.SetStartFolder(root_ + "/Data/Songs/");
    QCOMPARE(Close(other, "CancelBtn"), root_ + "/Data/Songs/");
  }

  void SearchMatchesWholeFolderNames() {
    TDirBrowseForm form;
    form.SetStartFolder(root_ + kSep + "Program Files");
    QVERIFY(Selected(&form));
    QCOMPARE(Selected(&form)->text(0), "Program Files");
    form.SetStartFolder(root_ + kSep + "Prog" + kSep);
    QCOMPARE(Selected(&form)->text(0), "Prog");
  }

  void FolderThatIsGoneOrOutsideAnyDriveSelectsNothing() {
    TDirBrowseForm form;
    const QString gone = root_ + kSep + "Data" + kSep + "Gone";
    form.SetStartFolder(gone);
    QVERIFY(!Selected(&form));
    QCOMPARE(Close(form, "OkBtn"), gone);

    TDirBrowseForm relative;
    relative.SetStartFolder("Data");
    QVERIFY(!Selected(&relative));
    QCOMPARE(Close(relative, "OkBtn"), "Data");
  }

  void ExpandingAndSelectingListAfresh() {
    TDirBrowseForm form;
    form.SetStartFolder(root_);
    QTreeWidgetItem* top = Selected(&form);
    QVERIFY(top);
    top->setExpanded(true);
    QTreeWidgetItem* data = nullptr;
    QTreeWidgetItem* empty = nullptr;
    for (int i = 0; i < top->childCount(); ++i) {
      if (top->child(i)->text(0) == "Data") data = top->child(i);
      if (top->child(i)->text(0) == "Empty") empty = top->child(i);
    }
    QVERIFY(data && empty);
    QCOMPARE(data->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    QCOMPARE(empty->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    QCOMPARE(data->childCount(), 0);  // read when it is opened

    data->setExpanded(true);
    QCOMPARE(Captions(data), QStringList({"Songs", "Tones"}));

    // A folder made meanwhile shows when the node is selected.
    QVERIFY(QDir(root_).mkpath("Data/New"));
    Tree(&form)->setCurrentItem(data);
    QCOMPARE(Captions(data), QStringList({"New", "Songs", "Tones"}));
    QCOMPARE(Close(form, "OkBtn"), root_ + kSep + "Data" + kSep);
  }

 private:
  QTemporaryDir dir_;
  QString root_;
};

QTEST_MAIN(DirBrowseFormTest)
#include "DirBrowseFormTest.moc"
