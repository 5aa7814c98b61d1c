#pragma once

#include <QAbstractItemView>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <memory>

#include "ItemListView.h"
#include "TPcLinkForm.h"
#include "platform/SettingsStore.h"
#include "platform/midi/BuiltInMidiService.h"
#include "platform/midi/MidiSystem.h"
#include "support/BuiltInKeyboard.h"

// A second keyboard simulator listed where the operating system's ports
// stand, before the built-in one: the built-in keyboard is then not device 0,
// so that a default that falls back to device 0 shows. Unless told to answer,
// it stays silent, so that detection finds nothing there. Made before the
// window and gone after it.
class PortBeforeBuiltIn {
 public:
  explicit PortBeforeBuiltIn(bool answers = false) {
    if (!answers) other_.Keyboard().SetFault(sim::Fault::NoAnswer, 0);
    MidiSystem::Instance().UseSystemService(&other_);
  }
  ~PortBeforeBuiltIn() { MidiSystem::Instance().UseSystemService(nullptr); }

 private:
  BuiltInMidiService other_;
};

// A keyboard simulator on a port of another name, as an interface that is
// plugged in and out: listed where the operating system's ports stand while
// plugged in.
class NamedPort : public MidiService {
 public:
  explicit NamedPort(std::string name) : name_(std::move(name)) {}
  ~NamedPort() override { Unplug(); }
  void Plug() { MidiSystem::Instance().UseSystemService(this); }
  void Unplug() { MidiSystem::Instance().UseSystemService(nullptr); }
  std::vector<std::string> InputNames() override { return {name_}; }
  std::vector<std::string> OutputNames() override { return {name_}; }
  MidiResult OpenIn(unsigned device, MidiReceiver receiver,
                    std::unique_ptr<MidiInPort>& port) override {
    return keyboard_.OpenIn(device, std::move(receiver), port);
  }
  MidiResult OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) override {
    return keyboard_.OpenOut(device, port);
  }

 private:
  std::string name_;
  BuiltInMidiService keyboard_;
};

// One main window on a fresh built-in keyboard, with its settings in a
// temporary store and a temporary folder as the default PC folder.
class WindowHarness {
 public:
  WindowHarness() {
    BuiltInKeyboard::Reset();
    settingsFile = temp.filePath(QStringLiteral("settings/Ravlin.ini"));
    data = temp.filePath(QStringLiteral("data"));
    QDir().mkpath(data);
  }
  ~WindowHarness() { window.reset(); }

  // Saves settings naming the built-in keyboard and `folder`, then opens.
  void Open(const QString& folder = QString()) {
    SettingsStore store(settingsFile);
    store.Save({static_cast<int32_t>(BuiltInKeyboard::Input()),
                static_cast<int32_t>(BuiltInKeyboard::Output()), folder.isNull() ? data : folder});
    OpenAsIs();
  }
  void OpenAsIs(bool simulator = false) {
    window = std::make_unique<TPcLinkForm>(TPcLinkForm::Options{simulator, settingsFile});
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
  }
  void Close() { window.reset(); }

  template <typename T>
  T* Find(const char* name) const {
    return window->findChild<T*>(QString::fromLatin1(name));
  }
  QTreeWidget* LocalDirView() const { return Find<QTreeWidget>("LocalDirView"); }
  QTreeWidget* KbdDirView() const { return Find<QTreeWidget>("KbdDirView"); }
  ItemListView* LocalFileView() const { return Find<ItemListView>("LocalFileView"); }
  ItemListView* KbdFileView() const { return Find<ItemListView>("KbdFileView"); }
  QStatusBar* Status() const { return Find<QStatusBar>("StatusBar"); }
  QProgressBar* Bar() const { return Find<QProgressBar>("ProgressBar"); }
  QAction* Action(const char* name) const { return Find<QAction>(name); }
  // Runs the action and waits until the command it started has ended.
  void Trigger(const char* action) const {
    Action(action)->trigger();
    WaitWhileBusy();
  }
  // Waits as a person does for the work to end, with a generous bound.
  void WaitWhileBusy() const {
    QVERIFY2(QTest::qWaitFor([this] { return !window->Busy(); }, 60000), "the work never ended");
  }

  QStringList Captions(const ItemListView* view) const {
    QStringList captions;
    for (int row = 0; row < view->Count(); ++row) captions << view->Caption(row);
    return captions;
  }
  QStringList Children(const QTreeWidgetItem* node) const {
    QStringList captions;
    for (int i = 0; i < node->childCount(); ++i) captions << node->child(i)->text(0);
    return captions;
  }

  // The keyboard tree's node at a path of captions below the root.
  QTreeWidgetItem* KbdNode(const QStringList& captions) const {
    QTreeWidgetItem* node = KbdDirView()->topLevelItem(0);
    for (const QString& caption : captions) {
      QTreeWidgetItem* next = nullptr;
      for (int i = 0; node && i < node->childCount() && !next; ++i)
        if (node->child(i)->text(0) == caption) next = node->child(i);
      node = next;
    }
    return node;
  }
  void SelectKbd(const QStringList& captions, int row = -1) const {
    KbdDirView()->setCurrentItem(KbdNode(captions));
    if (row >= 0) KbdFileView()->SelectRow(row);
  }
  void SelectLocalFile(const QString& caption) const {
    LocalFileView()->SelectRow(LocalFileView()->FindCaption(caption));
  }

  void GetList() const { Trigger("ConnectAction"); }

  QPoint ItemCenter(const ItemListView* view, int row) const {
    QAbstractItemView* v = view->CurrentView();
    v->doItemsLayout();
    return v->visualRect(v->model()->index(row, 0)).center();
  }

  // As a real double click comes: press, release, press turned double click.
  void DoubleClick(const ItemListView* view, int row) const {
    QWidget* viewport = view->CurrentView()->viewport();
    const QPoint pos = ItemCenter(view, row);
    QTest::mousePress(viewport, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
    QTest::mousePress(viewport, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
  }

  QTemporaryDir temp;
  QString settingsFile;
  QString data;
  std::unique_ptr<TPcLinkForm> window;
};
