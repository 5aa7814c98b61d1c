// The main window's start-up, layout, PC browser and keyboard views, on the
// real widgets with the built-in keyboard behind them.

#include <QCollator>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
#include <algorithm>
#include <tuple>

#include "BoxCatcher.h"
#include "IconSet.h"
#include "QtMidiDriver.h"
#include "WindowHarness.h"
#include "dialogs/TMidiMonitorForm.h"
#include "dialogs/TPrefForm.h"
#include "keyboard/QnKbdDrv.h"
#include "midi/MidiDev.h"
#include "platform/DeviceWatch.h"
#include "platform/InstanceChannel.h"
#include "platform/SingleInstance.h"
#include "protocol/MsgStr.h"
#include "support/TestClock.h"

class TPcLinkFormViewsTest : public QObject {
  Q_OBJECT

 private:
  static void WriteFile(const QString& path, qint64 size) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(size, 'x'));
  }
  static qint64 IconKey(const QTreeWidgetItem* node) { return node->icon(0).cacheKey(); }
  // The title bar's text: the window systems' platform code appends the
  // application's display name, when one was set, to every window's title.
  static QString ShownTitle(const QWidget* window) {
    const QString title = window->windowTitle();
    const QString name = QGuiApplication::applicationDisplayName();
    if (name == QCoreApplication::applicationName() || title.endsWith(name)) return title;
    return title + QStringLiteral(" \u2014 ") + name;
  }

  // What the window and its dialogs show in words, each under a key that
  // names where, the same in either language.
  using Texts = QMap<QString, QString>;
  static void Note(Texts& texts, const QString& key, const QString& text) {
    if (text.contains(QRegularExpression(QStringLiteral("\\p{L}")))) texts.insert(key, text);
  }
  static void NoteAll(Texts& texts, const QString& where, QWidget* root) {
    Note(texts, where, root->windowTitle());
    int i = 0;
    for (QObject* object : root->findChildren<QObject*>()) {
      const QString key = where + '/' + QString::number(i++) + object->objectName();
      if (auto* action = qobject_cast<QAction*>(object)) {
        Note(texts, key, action->text());
        Note(texts, key + ".tip", action->toolTip());
        if (action->menu()) Note(texts, key + ".menu", action->menu()->title());
        continue;
      }
      auto* widget = qobject_cast<QWidget*>(object);
      if (widget == nullptr) continue;
      Note(texts, key + ".tip", widget->toolTip());
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) Note(texts, key, button->text());
      if (auto* label = qobject_cast<QLabel*>(widget)) Note(texts, key, label->text());
      if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
        for (int t = 0; t < tabs->count(); ++t)
          Note(texts, key + ".tab" + QString::number(t), tabs->tabText(t));
      }
      auto* view = qobject_cast<QAbstractItemView*>(widget);
      if (view != nullptr && view->model() != nullptr) {
        for (int column = 0; column < view->model()->columnCount(); ++column) {
          Note(texts, key + ".column" + QString::number(column),
               view->model()->headerData(column, Qt::Horizontal).toString());
        }
      }
    }
  }
  // Opens, as the user does, every part of the window in the language of
  // `locale`: the menus' actions, Preferences, the folder picker, both
  // property dialogs, the error box, the MIDI monitor with its Save As
  // dialog and the question on closing during work. `names` gets the
  // keyboard's own names, which stay as the keyboard reports them.
  static Texts Walk(const char* locale, QSet<QString>& names) {
    qputenv("LC_ALL", locale);
    TPcLinkForm::SetUpApplication();
    Texts texts;
    WindowHarness h;
    h.Open();
    h.GetList();
    NoteAll(texts, QStringLiteral("window"), h.window.get());
    for (QTreeWidgetItem* node = h.KbdDirView()->topLevelItem(0); node;
         node = h.KbdDirView()->itemBelow(node)) {
      names << node->text(0).chopped(node->text(0).endsWith('\\') ? 1 : 0);
    }
    BoxCatcher boxes;
    int box = 0;
    boxes.whileShown = [&] {
      NoteAll(texts, QStringLiteral("box") + QString::number(box++),
              QApplication::activeModalWidget());
    };
    boxes.onDialog = [&](QDialog* dialog) {
      NoteAll(texts, QString::fromLatin1(dialog->metaObject()->className()), dialog);
      dialog->reject();
    };
    h.Action("PropertyMenuItem")->trigger();
    h.Action("BackupAction")->trigger();  // the folder picker, cancelled
    h.KbdDirView()->setFocus();
    h.Action("KbdDrvPropItem")->trigger();
    h.window->activateWindow();
    [&] { QVERIFY(QTest::qWaitForWindowActive(h.window.get())); }();
    h.KbdFileView()->CurrentView()->setFocus();
    h.KbdFileView()->SelectRow(0);
    for (const QString& caption : h.Captions(h.KbdFileView())) names << caption;
    // Port names are the MIDI system's, the built-in keyboard's too.
    for (const std::string& port : MidiSystem::Instance().InputNames())
      names << QString::fromStdString(port);
    h.Action("KbdPropertyItem")->trigger();
    h.Action("LocalSendMenuItem")->trigger();  // no PC file chosen: the error box
    h.WaitWhileBusy();
    h.Action("MidiMonitorAction")->trigger();
    auto* monitor = h.window->findChild<TMidiMonitorForm*>();
    NoteAll(texts, QStringLiteral("monitor"), monitor);
    QTest::mouseClick(monitor->findChild<QPushButton*>("SaveBtn"), Qt::LeftButton);
    BuiltInKeyboard::Link().SetTiming(sim::Timing{true, std::chrono::milliseconds(1)});
    boxes.answer = QMessageBox::No;
    h.Action("ConnectAction")->trigger();
    h.Action("Exit1")->trigger();
    h.WaitWhileBusy();
    [&] {
      QCOMPARE(boxes.dialogs, QStringList({"TPrefForm", "TDirBrowseForm", "TKbdDrivePropertyForm",
                                           "TQnDataPropertyForm", "QFileDialog"}));
      QCOMPARE(box, 2);
    }();
    monitor->Refresh();
    MidiMonitorModel& rows = monitor->Model();
    for (int row = 0; row < 4 && row < rows.rowCount(); ++row) {
      Note(texts, QStringLiteral("meaning") + QString::number(row),
           rows.index(row, MidiMonitorModel::kMeaning).data().toString());
    }
    return texts;
  }

 private slots:
  void initTestCase() { TPcLinkForm::SetUpApplication(); }

  void startUpBuildsTheLayoutWithItsNames() {
    WindowHarness h;
    h.Open();
    QCOMPARE(ShownTitle(h.window.get()), QStringLiteral("TRV-408 MUSIC DATA MANAGEMENT SOFTWARE"));
    const MsgStr msg;
    const MsgStr english(MsgStr::Language::English);
    const auto word = [&msg](MsgStr::Word w) { return QString::fromStdString(msg.WordText(w)); };
    QtMidiDriver driver;
    const TPrefForm dialog(driver, h.window.get());
    QCOMPARE(ShownTitle(&dialog), word(MsgStr::kWordPreference));
    for (const char* name :
         {"LocalPanel",   "LocalToolBar",    "LocalDirView", "Splitter1",    "LocalFileView",
          "Splitter",     "KbdPanel",        "KbdToolBar",   "KbdDirView",   "Splitter2",
          "KbdFileView",  "Panel1",          "Panel2",       "StatusBar",    "ProgressBar",
          "MainMenu",     "LocalUpdateBtn",  "SendBtn",      "LocalIconBtn", "LocalSmallIconBtn",
          "LocalListBtn", "LocalReportBtn",  "KbdUpdateBtn", "ReceiveBtn",   "DeleteBtn",
          "KbdIconBtn",   "KbdSmallIconBtn", "KbdListBtn",   "KbdReportBtn"}) {
      QVERIFY2(h.window->findChild<QWidget*>(QString::fromLatin1(name)), name);
    }
    // The PC side lies above the keyboard side, each tree left of its list.
    auto* splitter = h.Find<QSplitter>("Splitter");
    QCOMPARE(splitter->orientation(), Qt::Vertical);
    QCOMPARE(splitter->widget(0)->objectName(), QStringLiteral("LocalPanel"));
    QCOMPARE(splitter->widget(1)->objectName(), QStringLiteral("KbdPanel"));
    QCOMPARE(h.Find<QSplitter>("Splitter1")->widget(0), h.LocalDirView());
    QCOMPARE(h.Find<QSplitter>("Splitter2")->widget(1), h.KbdFileView());

    auto headers = [](ItemListView* view) {
      QStringList captions;
      auto* model = view->ViewAt(ItemListView::Report)->model();
      for (int c = 0; c < model->columnCount(); ++c)
        captions << model->headerData(c, Qt::Horizontal).toString();
      return captions;
    };
    const bool japanese = msg.CurrentLanguage() == MsgStr::Language::Japanese;
    QCOMPARE(headers(h.LocalFileView()), japanese ? QStringList({"ファイル名", "タイプ", "サイズ"})
                                                  : QStringList({"Name", "Type", "Size"}));
    QCOMPARE(headers(h.KbdFileView()), japanese ? QStringList({"名前", "タイプ", "サイズ(バイト)"})
                                                : QStringList({"Name", "Type", "Size(byte)"}));

    // The captions in English are those of the original window.
    struct Expected {
      const char* action;
      MsgStr::Word caption;
      MsgStr::Word hint;
      const char* englishCaption;
      const char* englishHint;
    };
    for (const Expected& e :
         {Expected{"ConnectAction", MsgStr::kWordGetListMenu, MsgStr::kWordGetList,
                   "Get/Update &List", "Get/Update List"},
          Expected{"SendAction", MsgStr::kWordSendMenu, MsgStr::kWordSend, "&Send", "Send"},
          Expected{"ReceiveAction", MsgStr::kWordImportMenu, MsgStr::kWordImport, "&Import",
                   "Import"},
          Expected{"DeleteAction", MsgStr::kWordDeleteMenu, MsgStr::kWordDelete, "&Delete",
                   "Delete"},
          Expected{"PropOpen", MsgStr::kWordPropertiesMenu, MsgStr::kWordProperties, "P&roperties",
                   "Properties"},
          Expected{"ExitAction", MsgStr::kWordExitMenu, MsgStr::kWordExit, "E&xit", "Exit"},
          Expected{"LocalUpdateAction", MsgStr::kWordRetrieveMenu, MsgStr::kWordRetrieve,
                   "&Retrieve", "Retrieve"},
          Expected{"PrefOpen", MsgStr::kWordPreferenceMenu, MsgStr::kWordPreference, "&Preference",
                   "Preference"},
          Expected{"KbdDrvPropOpen", MsgStr::kWordProperiesMenu, MsgStr::kWordProperties,
                   "P&roperies", "Properties"},
          Expected{"ShellOpen", MsgStr::kWordExplorerMenu, MsgStr::kWordExplorer,
                   "Start Up &Explorer", "Start Up Explorer"}}) {
      QCOMPARE(h.Action(e.action)->text(), word(e.caption));
      QCOMPARE(h.Action(e.action)->toolTip(), word(e.hint));
      QCOMPARE(english.WordText(e.caption), e.englishCaption);
      QCOMPARE(english.WordText(e.hint), e.englishHint);
    }
    for (const auto& [action, caption, hint] :
         {std::tuple{"BackupAction", MsgStr::kWordBackUpMenu, MsgStr::kWordBackUp},
          std::tuple{"RestoreAction", MsgStr::kWordRestoreMenu, MsgStr::kWordRestore},
          std::tuple{"MidiMonitorAction", MsgStr::kWordMonitorMenu, MsgStr::kWordMonitor}}) {
      QCOMPARE(h.Action(action)->text(), QString::fromStdString(msg.WordText(caption)));
      QCOMPARE(h.Action(action)->toolTip(), QString::fromStdString(msg.WordText(hint)));
    }
    QCOMPARE(h.Action("SendAction")->icon().cacheKey(), IconSet::Tool(5).cacheKey());
    QCOMPARE(h.Find<QToolButton>("KbdUpdateBtn")->defaultAction(), h.Action("ConnectAction"));

    auto captions = [](QMenu* menu) {
      QStringList list;
      for (QAction* a : menu->actions()) list << (a->isSeparator() ? "-" : a->objectName());
      return list;
    };
    QCOMPARE(captions(h.Find<QMenu>("LocalPopupMenu")),
             QStringList({"LocalSendMenuItem", "-", "Property1", "-", "OpenExplorer"}));
    QCOMPARE(captions(h.Find<QMenu>("KbdPopupMenu")),
             QStringList({"KbdReceiveItem", "KbdDeleteItem", "-", "KbdPropertyItem"}));
    QCOMPARE(captions(h.Find<QMenu>("FileMenu")),
             QStringList({"PropertyMenuItem", "BackupAction", "RestoreAction", "-", "Exit1"}));

    // Before any Get/Update List the keyboard commands are disabled where
    // the user reaches them; the actions themselves stay enabled.
    for (const char* name : {"SendBtn", "ReceiveBtn", "DeleteBtn"})
      QVERIFY2(!h.Find<QToolButton>(name)->isEnabled(), name);
    for (const char* name :
         {"LocalSendMenuItem", "KbdReceiveItem", "KbdDeleteItem", "KbdPropertyItem"})
      QVERIFY2(!h.Action(name)->isEnabled(), name);
    for (const char* name : {"SendAction", "ReceiveAction", "DeleteAction", "PropOpen"})
      QVERIFY2(h.Action(name)->isEnabled(), name);
    QVERIFY(h.Find<QToolButton>("LocalUpdateBtn")->isEnabled());
    QVERIFY(h.Action("Property1")->isEnabled());

    QVERIFY(h.Find<QToolButton>("LocalIconBtn")->isChecked());
    QVERIFY(h.Find<QToolButton>("KbdIconBtn")->isChecked());
    QCOMPARE(h.LocalFileView()->CurrentStyle(), int(ItemListView::LargeIcon));
    QCOMPARE(h.Status()->currentMessage(), QString());
    QCOMPARE(h.Bar()->value(), 0);
  }

  // Every text of the window is the catalog's: in Japanese none is left as
  // its English but the few that are the same in both, and the keyboard's
  // own names; in English none is Japanese.
  void everyTextSpeaksTheUsersLanguage() {
    const QByteArray locale = qgetenv("LC_ALL");
    const auto restore = qScopeGuard([&locale] {
      qputenv("LC_ALL", locale);
      TPcLinkForm::SetUpApplication();
    });
    QSet<QString> names;
    const Texts english = Walk("C.UTF-8", names);
    const Texts japanese = Walk("ja_JP.UTF-8", names);
    QCOMPARE(japanese.keys(), english.keys());
    QVERIFY(english.size() > 100);
    const QRegularExpression kana(QStringLiteral("[\\x{3000}-\\x{30FF}\\x{4E00}-\\x{9FFF}]"));
    const QSet<QString> same{"OK",          "TRV-408",
                             "MIDI",        "DSP",
                             "Tone",        "Song",
                             "Rhythm",      "Registraion",
                             "Regstration", QString::fromLatin1(TPcLinkForm::kCaption)};
    const auto ownNames = [&names](const QString& text) {
      const QStringList parts = text.split('\\', Qt::SkipEmptyParts);
      return std::all_of(parts.begin(), parts.end(),
                         [&names](const QString& part) { return names.contains(part); });
    };
    QStringList untranslated;
    QStringList japaneseInEnglish;
    for (auto it = english.begin(); it != english.end(); ++it) {
      if (it.value().contains(kana) && !ownNames(it.value()))
        japaneseInEnglish << it.key() + ": " + it.value();
      if (japanese[it.key()] == it.value() && !same.contains(it.value()) && !ownNames(it.value()))
        untranslated << it.key() + ": " + it.value();
    }
    QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join('\n')));
    QVERIFY2(japaneseInEnglish.isEmpty(), qPrintable(japaneseInEnglish.join('\n')));
  }

  void viewStyleButtonsChangeOnlyTheirOwnList() {
    WindowHarness h;
    h.Open();
    QTest::mouseClick(h.Find<QToolButton>("LocalReportBtn"), Qt::LeftButton);
    QCOMPARE(h.LocalFileView()->CurrentStyle(), int(ItemListView::Report));
    QCOMPARE(h.KbdFileView()->CurrentStyle(), int(ItemListView::LargeIcon));
    QVERIFY(!h.Find<QToolButton>("LocalIconBtn")->isChecked());
    QTest::mouseClick(h.Find<QToolButton>("KbdListBtn"), Qt::LeftButton);
    QCOMPARE(h.KbdFileView()->CurrentStyle(), int(ItemListView::List));
    QCOMPARE(h.LocalFileView()->CurrentStyle(), int(ItemListView::Report));
    QTest::mouseClick(h.Find<QToolButton>("KbdSmallIconBtn"), Qt::LeftButton);
    QCOMPARE(h.KbdFileView()->CurrentStyle(), int(ItemListView::SmallIcon));

    // One selection serves every style.
    h.KbdFileView()->SelectRow(3);
    QTest::mouseClick(h.Find<QToolButton>("KbdReportBtn"), Qt::LeftButton);
    QCOMPARE(h.KbdFileView()->SelectedRow(), 3);
  }

  // A window made larger gives the room to the keyboard's views: the tool
  // bars keep their height, the PC side too until the splitter is dragged,
  // and no empty row opens between the two sides.
  void theKeyboardViewsTakeTheRoomOfAGrownWindow() {
    WindowHarness h;
    h.Open();
    auto* local = h.Find<QWidget>("LocalPanel");
    auto* kbd = h.Find<QWidget>("KbdPanel");
    auto* kbdViews = h.Find<QSplitter>("Splitter2");
    const auto check = [&](int localHeight) {
      for (const char* bar : {"LocalToolBar", "KbdToolBar"})
        QCOMPARE(h.Find<QWidget>(bar)->height(), 25);
      QCOMPARE(local->height(), localHeight);
      QCOMPARE(kbdViews->geometry(), QRect(0, 25, kbd->width(), kbd->height() - 25));
      QCOMPARE(h.KbdFileView()->height(), kbdViews->height());
      QCOMPARE(h.KbdDirView()->height(), kbdViews->height());
      QCOMPARE(kbd->mapTo(h.window.get(), QPoint(0, kbd->height())).y(),
               h.Find<QWidget>("Panel1")->mapTo(h.window.get(), QPoint(0, 0)).y());
    };
    const int localHeight = local->height();
    check(localHeight);
    for (const QSize size : {QSize(700, 560), QSize(1200, 900), QSize(1000, 700)}) {
      h.window->resize(size);
      QTRY_COMPARE(h.window->size(), size);
      check(localHeight);
    }

    // Dragged, the splitter's place holds as the window grows again.
    h.Find<QSplitter>("Splitter")->setSizes({300, 180});
    const int dragged = local->height();
    h.window->resize(1000, 700);
    QTRY_COMPARE(h.window->size(), QSize(1000, 700));
    check(dragged);
  }

  void theLayoutIsKeptFromOneRunToTheNext() {
    WindowHarness h;
    h.Open();
    auto splitters = [&] {
      QList<QList<int>> sizes;
      for (const char* name : {"Splitter", "Splitter1", "Splitter2"})
        sizes << h.Find<QSplitter>(name)->sizes();
      return sizes;
    };
    h.window->setGeometry(60, 50, 640, 480);
    h.Find<QSplitter>("Splitter")->setSizes({150, 250});
    h.Find<QSplitter>("Splitter1")->setSizes({260, 377});
    h.Find<QSplitter>("Splitter2")->setSizes({120, 517});
    QTest::mouseClick(h.Find<QToolButton>("LocalListBtn"), Qt::LeftButton);
    QTest::mouseClick(h.Find<QToolButton>("KbdReportBtn"), Qt::LeftButton);
    const QRect geometry = h.window->geometry();
    const QList<QList<int>> sizes = splitters();
    h.Close();

    h.OpenAsIs();
    QCOMPARE(h.window->geometry(), geometry);
    QCOMPARE(splitters(), sizes);
    QCOMPARE(h.LocalFileView()->CurrentStyle(), int(ItemListView::List));
    QCOMPARE(h.KbdFileView()->CurrentStyle(), int(ItemListView::Report));
    QVERIFY(h.Find<QToolButton>("LocalListBtn")->isChecked());
    QVERIFY(h.Find<QToolButton>("KbdReportBtn")->isChecked());

    // The layout has a key of its own; the three values keep theirs.
    QSettings ini(h.settingsFile, QSettings::IniFormat);
    QCOMPARE(ini.childGroups(), QStringList({"Directory", "MIDI", "Window"}));
    QCOMPARE(ini.value("Directory/Default").toString(), h.data);
    h.Close();

    // A store without a layout, or with one that is no layout, opens the
    // window as the first time.
    ini.setValue("Window/Splitter", QByteArray("rubbish"));
    ini.setValue("Window/KbdViewStyle", 7);
    ini.remove("Window/Geometry");
    ini.sync();
    h.OpenAsIs();
    QCOMPARE(h.window->size(), QSize(595, 516));
    QCOMPARE(h.KbdFileView()->CurrentStyle(), int(ItemListView::LargeIcon));
    QVERIFY(h.Find<QToolButton>("KbdIconBtn")->isChecked());
    QCOMPARE(h.Find<QSplitter>("Splitter")->sizes().first(), 233);
  }

  void firstStartAsksWithTheBuiltInKeyboardChosenAndSavesOnClose() {
    PortBeforeBuiltIn other;
    WindowHarness h;
    QVERIFY(!QFile::exists(h.settingsFile));
    QCOMPARE(BuiltInKeyboard::Input(), 1u);
    BoxCatcher dialogs;
    bool windowShown = true;
    int shownIn = -1, shownOut = -1;
    dialogs.onDialog = [&](QDialog* dialog) {
      windowShown = h.window != nullptr;
      shownIn = dialog->findChild<QComboBox*>("MidiInDevBox")->currentIndex();
      shownOut = dialog->findChild<QComboBox*>("MidiOutDevBox")->currentIndex();
      dialog->findChild<QLineEdit*>("DefDirEdit")->setText(h.data);
      dialog->findChild<QPushButton*>("OkBtn")->click();
    };
    h.OpenAsIs();
    QCOMPARE(dialogs.dialogs, QStringList({"TPrefForm"}));
    QVERIFY(!windowShown);
    QCOMPARE(shownIn, int(BuiltInKeyboard::Input()));
    QCOMPARE(shownOut, int(BuiltInKeyboard::Output()));
    QCOMPARE(h.window->InputDevice(), int32_t(BuiltInKeyboard::Input()));
    QCOMPARE(h.window->OutputDevice(), int32_t(BuiltInKeyboard::Output()));
    // The folder confirmed there is the one selected.
    QCOMPARE(h.window->LocalNodePath(h.LocalDirView()->currentItem()),
             QDir::toNativeSeparators(h.data + "/"));
    QVERIFY(QFile::exists(h.settingsFile));
    h.Close();

    SettingsStore::Values values;
    SettingsStore(h.settingsFile).Load(values);
    QCOMPARE(values.inputDevice, int32_t(BuiltInKeyboard::Input()));
    QCOMPARE(values.outputDevice, int32_t(BuiltInKeyboard::Output()));
    QCOMPARE(values.defaultFolder, h.data);
  }

  void aFirstStartOffersTheKeyboardFoundOnThePorts() {
    PortBeforeBuiltIn keyboard(true);
    WindowHarness h;
    BoxCatcher dialogs;
    int shownIn = -1, shownOut = -1;
    dialogs.onDialog = [&](QDialog* dialog) {
      // The dialog opens on the simulator and asks the ports while it is
      // shown; the user waits for the answer before OK.
      QTRY_VERIFY(dialog->findChild<QPushButton*>("DetectBtn")->isEnabled());
      shownIn = dialog->findChild<QComboBox*>("MidiInDevBox")->currentIndex();
      shownOut = dialog->findChild<QComboBox*>("MidiOutDevBox")->currentIndex();
      dialog->findChild<QPushButton*>("OkBtn")->click();
    };
    h.OpenAsIs();
    QCOMPARE(shownIn, 0);
    QCOMPARE(shownOut, 0);
    QCOMPARE(h.window->findChild<QLabel*>("DeviceField")->text(),
             QString::fromLatin1(MidiSystem::kBuiltInName));
  }

  // A keyboard's ports that go away stay chosen by name: through a return to
  // the window, OK in the preferences and the exit, never replaced by the
  // port that has their number now (the built-in simulator here).
  void theDeviceFieldFollowsPortsThatComeAndGo() {
    const QString usbName = QStringLiteral("USB MIDI Interface");
    NamedPort usb(usbName.toStdString());
    WindowHarness h;
    QDir().mkpath(QFileInfo(h.settingsFile).absolutePath());
    QFile file(h.settingsFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "[MIDI]\nInputDevice=0\nInputDeviceName=USB MIDI Interface\nOutputDevice=0\n"
        "OutputDeviceName=USB MIDI Interface\n[Directory]\nDefault=" +
        h.data.toUtf8() + "\n");
    file.close();
    const auto namesKept = [&] {
      QSettings ini(h.settingsFile, QSettings::IniFormat);
      return ini.value("MIDI/InputDeviceName").toString() == usbName &&
             ini.value("MIDI/OutputDeviceName").toString() == usbName;
    };
    usb.Plug();
    h.OpenAsIs();
    auto* field = h.window->findChild<QLabel*>("DeviceField");
    const QString notConnected =
        QString::fromStdString(MsgStr().WordText(MsgStr::kWordNotConnected));
    const auto marked = [&] { return field->toolTip().contains(notConnected); };
    QCOMPARE(field->text(), usbName);
    QVERIFY(!marked());
    QCOMPARE(h.window->InputDevice(), 0);

    // Unplugged while the window is in use: shown soon, without a return to
    // the window, and the status line says so; a command reports it.
    usb.Unplug();
    const QString gone =
        QString::fromStdString(MsgStr().WordText(MsgStr::kWordPortGone)).arg(usbName);
    QTRY_VERIFY(marked());
    QCOMPARE(h.Status()->currentMessage(), gone);
    QCOMPARE(h.window->InputDevice(), DeviceWatch::kGone);
    QCOMPARE(h.window->OutputDevice(), DeviceWatch::kGone);
    BoxCatcher boxes;
    h.GetList();
    QCOMPARE(boxes.texts, QStringList(QString::fromStdString(MsgStr().MidiDevText(
                                          MidiDev::kInputFailed, midi_result::kBadDeviceId)) +
                                      "\n\n" + gone));

    h.Trigger("Exit1");
    h.Close();
    QVERIFY(namesKept());

    // Still gone at the next start: named, marked, opening nothing. The
    // preferences list no choice for it, and OK keeps it.
    h.OpenAsIs();
    field = h.window->findChild<QLabel*>("DeviceField");
    QCOMPARE(field->text(), usbName);
    QVERIFY(marked());
    QCOMPARE(h.window->InputDevice(), DeviceWatch::kGone);
    boxes.onDialog = [](QDialog* dialog) { dialog->findChild<QPushButton*>("OkBtn")->click(); };
    h.Trigger("PrefOpen");
    QCOMPARE(boxes.dialogs, QStringList({"TPrefForm"}));
    QCOMPARE(field->text(), usbName);
    QVERIFY(marked());

    // Plugged in while the program waits: found by its name, used at once.
    usb.Plug();
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    QVERIFY(!marked());
    QCOMPARE(h.window->InputDevice(), 0);
    boxes.texts.clear();
    h.GetList();
    QCOMPARE(boxes.texts, QStringList());
    h.Close();
    QVERIFY(namesKept());
  }

  void aFirstStartCancelledKeepsTheInitialValues() {
    PortBeforeBuiltIn other;
    WindowHarness h;
    BoxCatcher dialogs;
    h.OpenAsIs();
    QCOMPARE(dialogs.dialogs, QStringList({"TPrefForm"}));
    QCOMPARE(h.window->InputDevice(), int32_t(BuiltInKeyboard::Input()));
    QCOMPARE(h.window->OutputDevice(), int32_t(BuiltInKeyboard::Output()));
    QCOMPARE(h.window->DefaultFolder(), QDir::toNativeSeparators(QDir::currentPath()));
  }

  void settingsRoundTripAndTheSimulatorOptionIsForOneRunOnly() {
    WindowHarness h;
    SettingsStore(h.settingsFile).Save({7, 8, h.data});
    h.OpenAsIs(true);
    QCOMPARE(h.window->InputDevice(), int32_t(BuiltInKeyboard::Input()));
    QCOMPARE(h.window->DefaultFolder(), h.data);
    h.Close();
    SettingsStore::Values values;
    SettingsStore(h.settingsFile).Load(values);
    QCOMPARE(values.inputDevice, 7);
    QCOMPARE(values.outputDevice, 8);
    QCOMPARE(values.defaultFolder, h.data);

    // A store that cannot be written at the close is not passed over in
    // silence. A file in the folder's place stops even the superuser.
    h.OpenAsIs();
    const QString folder = QFileInfo(h.settingsFile).absolutePath();
    QVERIFY(QDir(folder).removeRecursively());
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    BoxCatcher boxes;
    h.Close();
    QCOMPARE(boxes.texts.size(), 1);
    const QString expected = QString::fromStdString(
        MsgStr().FileText(true, QDir::toNativeSeparators(h.settingsFile).toStdString()));
    QVERIFY2(boxes.texts.first().startsWith(expected), qPrintable(boxes.texts.first()));
  }

  void aBrokenSettingsStoreStillStarts() {
    PortBeforeBuiltIn other;
    WindowHarness h;
    QDir().mkpath(QFileInfo(h.settingsFile).absolutePath());
    QFile file(h.settingsFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[MIDI]\nOutputDevice=3\n[Directory]\nDefault=" + h.data.toUtf8() + "\n");
    file.close();
    BoxCatcher dialogs;
    h.OpenAsIs();
    QCOMPARE(dialogs.dialogs, QStringList({"TPrefForm"}));
    // The input device cannot be read: the values keep their initial ones.
    QCOMPARE(h.window->InputDevice(), 0);
    QCOMPARE(h.window->OutputDevice(), 0);
    QCOMPARE(h.LocalDirView()->currentItem(), nullptr);
    QCOMPARE(h.LocalFileView()->Count(), 0);
  }

  void theDefaultFolderIsFoundAndSelected() {
    WindowHarness h;
    QVERIFY(QDir(h.data).mkpath("Prog"));
    QVERIFY(QDir(h.data).mkpath("Program Files/Inner"));
    WriteFile(h.data + "/Program Files/readme.txt", 10);
    h.Open(h.data + "/Program Files");
    QTreeWidgetItem* node = h.LocalDirView()->currentItem();
    QVERIFY(node);
    QCOMPARE(node->text(0), QStringLiteral("Program Files"));
    QCOMPARE(h.window->LocalNodePath(node), QDir::toNativeSeparators(h.data + "/Program Files/"));
    QCOMPARE(h.Captions(h.LocalFileView()), QStringList({"Inner", "readme.txt"}));
    // Its subfolders are listed, its parents opened to show it.
    QCOMPARE(h.Children(node), QStringList({"Inner"}));
    QVERIFY(node->parent()->isExpanded());
    QCOMPARE(h.Children(node->parent()), QStringList({"Prog", "Program Files"}));
  }

  void theRootAsDefaultFolderSelectsTheDriveNode() {
    WindowHarness h;
    h.Open(QDir::rootPath());
    QTreeWidgetItem* node = h.LocalDirView()->currentItem();
    QVERIFY(node);
    QCOMPARE(node->parent(), nullptr);
    QCOMPARE(h.window->LocalNodePath(node), QDir::toNativeSeparators(QDir::rootPath()));
  }

  void aMissingDefaultFolderSelectsNothing() {
    WindowHarness h;
    h.Open(h.data + "/gone");
    QCOMPARE(h.LocalDirView()->currentItem(), nullptr);
    QCOMPARE(h.LocalFileView()->Count(), 0);
  }

  void theFileListShowsSizesTypesAndNoHiddenEntries() {
    WindowHarness h;
    WriteFile(h.data + "/empty.bin", 0);
    WriteFile(h.data + "/b1023.lqd", 1023);
    WriteFile(h.data + "/C1024.txt", 1024);
    WriteFile(h.data + "/d2047", 2047);
    WriteFile(h.data + "/e2048", 2048);
    WriteFile(h.data + "/.hidden", 10);
    QVERIFY(QDir(h.data).mkpath("folder/deeper"));
    QVERIFY(QDir(h.data).mkpath(".hiddenfolder/x"));
    h.Open();

    ItemListView* list = h.LocalFileView();
    QStringList expected = {"empty.bin", "b1023.lqd", "C1024.txt", "d2047", "e2048", "folder"};
    QCollator collator;
    std::sort(expected.begin(), expected.end(),
              [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    QCOMPARE(h.Captions(list), expected);
    auto size = [&](const char* caption) {
      return list->SubItem(list->FindCaption(QString::fromLatin1(caption)), 2);
    };
    QCOMPARE(size("empty.bin"), QStringLiteral("1KB"));
    QCOMPARE(size("b1023.lqd"), QStringLiteral("1KB"));
    QCOMPARE(size("C1024.txt"), QStringLiteral("1KB"));
    QCOMPARE(size("d2047"), QStringLiteral("1KB"));
    QCOMPARE(size("e2048"), QStringLiteral("2KB"));
    QCOMPARE(size("folder"), QString());
    QVERIFY(!list->SubItem(list->FindCaption("folder"), 1).isEmpty());
    QVERIFY(!list->SubItem(list->FindCaption("b1023.lqd"), 1).isEmpty());
    QVERIFY(!list->Icon(list->FindCaption("folder")).isNull());

    QTreeWidgetItem* node = h.LocalDirView()->currentItem();
    QCOMPARE(h.Children(node), QStringList({"folder"}));
    QCOMPARE(node->child(0)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);

    // Retrieve reads the folder again.
    WriteFile(h.data + "/new.lqd", 5000);
    h.Trigger("LocalUpdateAction");
    QCOMPARE(size("new.lqd"), QStringLiteral("4KB"));
  }

  void doubleClickingAFolderItemOpensIt() {
    WindowHarness h;
    QVERIFY(QDir(h.data).mkpath("songs"));
    WriteFile(h.data + "/songs/one.lqd", 100);
    WriteFile(h.data + "/top.lqd", 100);
    h.Open();
    ItemListView* list = h.LocalFileView();
    h.DoubleClick(list, list->FindCaption("top.lqd"));
    QCOMPARE(h.LocalDirView()->currentItem()->text(0), QFileInfo(h.data).fileName());
    h.DoubleClick(list, list->FindCaption("songs"));
    QCOMPARE(h.LocalDirView()->currentItem()->text(0), QStringLiteral("songs"));
    QCOMPARE(h.Captions(list), QStringList({"one.lqd"}));
  }

  void expandingAFolderListsItsSubfoldersAfresh() {
    WindowHarness h;
    QVERIFY(QDir(h.data).mkpath("a/b"));
    h.Open();
    QTreeWidgetItem* a = h.LocalDirView()->currentItem()->child(0);
    QCOMPARE(a->text(0), QStringLiteral("a"));
    QCOMPARE(a->childCount(), 0);  // listed only when opened
    QVERIFY(QDir(h.data).mkpath("a/c"));
    h.LocalDirView()->expandItem(a);
    QCOMPARE(h.Children(a), QStringList({"b", "c"}));
  }

  void theKeyboardTreeShowsTheMemoryMapBeforeAnyList() {
    WindowHarness h;
    h.Open();
    QTreeWidgetItem* root = h.KbdDirView()->topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("TRV-408"));
    QCOMPARE(IconKey(root), IconSet::Kbd(11).cacheKey());
    QCOMPARE(h.Children(root),
             QStringList({"Tone:\\", "DSP:\\", "Registration:\\", "Song Rhythm:\\"}));
    for (int i = 0; i < root->childCount(); ++i)
      QCOMPARE(IconKey(root->child(i)), IconSet::Kbd(0).cacheKey());
    QCOMPARE(h.Children(h.KbdNode({"Registration:\\"})),
             QStringList({"Bank0", "Bank1", "Bank2", "Bank3"}));
    QCOMPARE(h.Children(h.KbdNode({"Song Rhythm:\\"})), QStringList({"Song", "Rhythm"}));
    QCOMPARE(h.KbdNode({"Tone:\\"})->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);

    QCOMPARE(h.KbdDirView()->currentItem(), h.KbdNode({"Tone:\\"}));
    ItemListView* list = h.KbdFileView();
    QCOMPARE(list->Count(), 10);
    QCOMPARE(list->Caption(0), QStringLiteral("User 0"));
    QCOMPARE(list->Icon(0).cacheKey(), IconSet::Kbd(5).cacheKey());
    QCOMPARE(list->SubItem(0, 1), QString());

    QCOMPARE(h.window->KbdNodePath(root), std::string("\\"));
    QCOMPARE(h.window->KbdNodePath(h.KbdNode({"Tone:\\"})), std::string("Tone:\\"));
    QCOMPARE(h.window->KbdNodePath(h.KbdNode({"Song Rhythm:\\", "Song"})),
             std::string("Song Rhythm:\\Song\\"));

    // Delete needs a connected keyboard even in the song folder.
    h.SelectKbd({"Song Rhythm:\\", "Song"});
    QVERIFY(!h.Find<QToolButton>("DeleteBtn")->isEnabled());
    h.KbdDirView()->setCurrentItem(root);
    QCOMPARE(list->Count(), 0);
  }

  void getListFillsTheKeyboardViews() {
    WindowHarness h;
    h.Open();
    // A name in half-width katakana, as the keyboard's Japanese users type them.
    const sim::SlotId kana{sim::SlotKind::Tone, 0, 2};
    std::vector<uint8_t> item = BuiltInKeyboard::Keyboard().Item(kana);
    const uint8_t name[8] = {0xB1, 0xB2, 0xB3, ' ', 'x', 0xE0, ' ', ' '};
    std::copy(name, name + 8, item.begin() + 36);
    BuiltInKeyboard::Keyboard().SetItem(kana, item);
    // The Cancel button that shows meanwhile takes room from the ports' long
    // names, never from the width the user gave the window.
    h.window->resize(595, 516);
    QTRY_COMPARE(h.window->size(), QSize(595, 516));
    BoxCatcher boxes;
    h.GetList();
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(h.window->width(), 595);
    auto* ports = h.Find<QLabel>("DeviceField");
    QCOMPARE(ports->text(), QString::fromLatin1(MidiSystem::kBuiltInName));
    QVERIFY(ports->toolTip().contains(MidiSystem::kBuiltInName));
    QCOMPARE(h.Status()->currentMessage(), QString());
    QCOMPARE(h.Bar()->value(), 0);

    QTreeWidgetItem* root = h.KbdDirView()->topLevelItem(0);
    for (int i = 0; i < root->childCount(); ++i)
      QCOMPARE(IconKey(root->child(i)), IconSet::Kbd(1).cacheKey());
    QCOMPARE(h.KbdDirView()->currentItem(), h.KbdNode({"Tone:\\"}));
    ItemListView* list = h.KbdFileView();
    QCOMPARE(list->Caption(0), QStringLiteral("Piano 1 "));
    QCOMPARE(list->Caption(2), QStringLiteral("\uFF71\uFF72\uFF73 x\uFFFD  "));
    QCOMPARE(list->SubItem(0, 1), QStringLiteral("Tone"));
    QCOMPARE(list->SubItem(0, 2), QStringLiteral("60"));
    QCOMPARE(list->Icon(0).cacheKey(), IconSet::Kbd(6).cacheKey());
    for (const char* name : {"SendBtn", "ReceiveBtn"})
      QVERIFY2(h.Find<QToolButton>(name)->isEnabled(), name);
    for (const char* name : {"LocalSendMenuItem", "KbdReceiveItem", "KbdPropertyItem"})
      QVERIFY2(h.Action(name)->isEnabled(), name);
    QVERIFY(!h.Find<QToolButton>("DeleteBtn")->isEnabled());

    h.SelectKbd({"DSP:\\"});
    QCOMPARE(list->Caption(0), QStringLiteral("Hall 1  "));
    QCOMPARE(list->SubItem(0, 1), QStringLiteral("DSP"));
    QCOMPARE(list->Icon(0).cacheKey(), IconSet::Kbd(7).cacheKey());

    const QString folderWord = QString::fromStdString(MsgStr().FolderText(0));
    h.SelectKbd({"Registration:\\"});
    QCOMPARE(h.Captions(list), QStringList({"Bank0", "Bank1", "Bank2", "Bank3"}));
    QCOMPARE(list->SubItem(1, 1), folderWord);
    QCOMPARE(list->SubItem(1, 2), QString());
    QCOMPARE(list->Icon(1).cacheKey(), IconSet::Kbd(3).cacheKey());

    // Double-clicking a folder item opens it; a slot does nothing.
    h.DoubleClick(list, 1);
    QCOMPARE(h.KbdDirView()->currentItem(), h.KbdNode({"Registration:\\", "Bank1"}));
    QCOMPARE(list->Count(), 4);
    QCOMPARE(list->SubItem(0, 1), QStringLiteral("Registraion"));
    QCOMPARE(list->Icon(0).cacheKey(), IconSet::Kbd(8).cacheKey());
    h.DoubleClick(list, 0);
    QCOMPARE(h.KbdDirView()->currentItem(), h.KbdNode({"Registration:\\", "Bank1"}));

    h.SelectKbd({"Song Rhythm:\\", "Song"});
    QCOMPARE(h.Captions(list), QStringList({"DemoSong", "Song 1"}));
    QCOMPARE(list->SubItem(0, 1), QStringLiteral("Song"));
    QCOMPARE(list->SubItem(0, 2), QStringLiteral("716"));
    QCOMPARE(list->Icon(0).cacheKey(), IconSet::Kbd(9).cacheKey());
    QCOMPARE(list->SubItem(1, 1), QString());
    QCOMPARE(list->Icon(1).cacheKey(), IconSet::Kbd(5).cacheKey());
    QVERIFY(h.Find<QToolButton>("DeleteBtn")->isEnabled());
    QVERIFY(h.Action("KbdDeleteItem")->isEnabled());

    h.SelectKbd({"Song Rhythm:\\", "Rhythm"});
    QCOMPARE(list->SubItem(0, 1), QStringLiteral("Rhythm"));
    QCOMPARE(list->Icon(0).cacheKey(), IconSet::Kbd(10).cacheKey());
    QVERIFY(h.Find<QToolButton>("DeleteBtn")->isEnabled());
    h.SelectKbd({"Song Rhythm:\\"});
    QVERIFY(!h.Find<QToolButton>("DeleteBtn")->isEnabled());

    // Disconnect goes back to the empty memory map.
    h.Trigger("DisconnectAction");
    QCOMPARE(IconKey(h.KbdNode({"Tone:\\"})), IconSet::Kbd(0).cacheKey());
    QCOMPARE(list->Caption(0), QStringLiteral("User 0"));
  }

  void theMidiMonitorShowsTheWireWhileCommandsRun() {
    WindowHarness h;
    h.Open();
    QMenuBar* bar = h.window->menuBar();
    QCOMPARE(bar->actions().size(), 2);
    QCOMPARE(bar->actions()[1]->text(),
             QString::fromStdString(MsgStr().WordText(MsgStr::kWordViewMenu)));
    QTest::keyClick(h.window.get(), Qt::Key_M, Qt::ControlModifier);
    auto* monitor = h.window->findChild<TMidiMonitorForm*>();
    QVERIFY(monitor != nullptr && monitor->isVisible());
    MidiMonitorModel& model = monitor->Model();

    BoxCatcher boxes;
    h.GetList();
    QTRY_COMPARE(model.rowCount(), 2 * 57);  // the demo memory's Get List
    QCOMPARE(model.index(0, MidiMonitorModel::kMeaning).data().toString(),
             MsgStr::LocaleLanguage() == MsgStr::Language::Japanese
                 ? QStringLiteral("パラメータ 0x00 (キーボードの種類) の読み出し")
                 : QStringLiteral("read parameter 0x00 (keyboard type)"));
    QCOMPARE(model.index(0, MidiMonitorModel::kBytes).data().toString(),
             QStringLiteral("F0 44 11 01 7F 10 00 0D 00 00 00 F7"));
    QCOMPARE(model.index(1, MidiMonitorModel::kDirection).data().toString(),
             QString::fromStdString(MsgStr().WordText(MsgStr::kWordFromKeyboard)));
    QCOMPARE(monitor->windowTitle(),
             QString::fromStdString(MsgStr().WordText(MsgStr::kWordMonitor)));

    // Paused, the display stands still and loses nothing; a failure is red.
    monitor->findChild<QPushButton*>("PauseBtn")->setChecked(true);
    TestClock clock;
    MidiDev::Instance()->SetClock(clock);
    BuiltInKeyboard::Keyboard().SetFault(sim::Fault::NoAnswer);
    h.Action("ConnectAction")->trigger();
    clock.Advance(std::chrono::milliseconds(MidiDev::kTimeLimitMs + 1));
    h.WaitWhileBusy();
    QCOMPARE(boxes.texts.size(), 1);
    QTest::qWait(3 * TMidiMonitorForm::kRefreshMs);
    QCOMPARE(model.rowCount(), 2 * 57);
    monitor->findChild<QPushButton*>("PauseBtn")->setChecked(false);
    QCOMPARE(model.rowCount(), 2 * 57 + 2);
    const QModelIndex failure = model.index(2 * 57 + 1, MidiMonitorModel::kMeaning);
    QCOMPARE(failure.data().toString(),
             QString::fromStdString(MsgStr().MidiDevText(MidiDev::kReplyTimeout, 0)));
    QCOMPARE(failure.data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    // The log text is a format: in English whatever the display's language.
    const MsgStr english(MsgStr::Language::English);
    QVERIFY(model.LogText({2 * 57 + 1})
                .endsWith(QStringLiteral("\t!\t\t") +
                          QString::fromStdString(english.MidiDevText(MidiDev::kReplyTimeout, 0)) +
                          "\n"));
    QVERIFY(model.LogText({0}).endsWith(QStringLiteral("read parameter 0x00 (keyboard type)\n")));
    MidiDev::Instance()->SetClock(MidiClock::Steady());

    // At most the newest 10000 messages are kept.
    std::vector<MessageRecorder::Record> many;
    for (int i = 0; i < 10050; ++i) {
      many.push_back(
          {MidiClock::TimePoint{}, MessageRecorder::Kind::Sent, {0xF0, uint8_t(i & 0x7F), 0xF7}});
    }
    model.Add(std::move(many));
    QCOMPARE(model.rowCount(), 10000);
    QCOMPARE(model.index(0, MidiMonitorModel::kBytes).data().toString(),
             QStringLiteral("F0 32 F7"));
  }

  // As `ravlin FILE` does at start and on each file another start hands over.
  void aFileShownSelectsItsFolderAndItself() {
    WindowHarness h;
    QVERIFY(QDir(h.data).mkpath("Songs/Old"));
    WriteFile(h.data + "/Songs/a.lqd", 80);
    WriteFile(h.data + "/b.lqd", 80);
    h.Open();
    h.window->ShowLocalFile(h.data + "/Songs/a.lqd");
    QTreeWidgetItem* node = h.LocalDirView()->currentItem();
    QVERIFY(node);
    QCOMPARE(h.window->LocalNodePath(node), QDir::toNativeSeparators(h.data + "/Songs/"));
    QCOMPARE(h.LocalFileView()->Count(), 2);
    QCOMPARE(h.LocalFileView()->Caption(h.LocalFileView()->SelectedRow()), QStringLiteral("a.lqd"));
    QVERIFY(h.LocalFileView()->isAncestorOf(QApplication::focusWidget()));

    // The folder shown is read again for a file made since.
    WriteFile(h.data + "/Songs/c.lqd", 80);
    h.window->ShowLocalFile(h.data + "/Songs/c.lqd");
    QCOMPARE(h.LocalFileView()->Count(), 3);
    QCOMPARE(h.LocalFileView()->Caption(h.LocalFileView()->SelectedRow()), QStringLiteral("c.lqd"));
  }

  // The program started while this test holds the lock hands its file, given
  // relative to its own folder, to the channel and ends with exit code 0.
  void aSecondStartWithAFileHandsItOver() {
    WindowHarness h;
    QVERIFY(QDir(h.data).mkpath("Songs"));
    WriteFile(h.data + "/Songs/d.lqd", 80);
    h.Open();
    const QString run = h.temp.filePath("run");
    QVERIFY(QDir().mkpath(run));
    // Qt takes a runtime folder that others can enter for no runtime folder.
    QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    SingleInstance lock(QStringLiteral("Ravlin"), run);
    QCOMPARE(lock.Acquire(), SingleInstance::State::First);
    InstanceChannel channel(QStringLiteral("Ravlin"), run);
    QVERIFY(channel.Listen([&h](const QString& path) { h.window->ShowLocalFile(path); }));

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", run);
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(h.data + "/Songs");
    second.start(QStringLiteral(RAVLIN_BINARY), {"d.lqd"});
    const auto stop = qScopeGuard([&second] { second.kill(); });
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(h.window->LocalNodePath(h.LocalDirView()->currentItem()),
             QDir::toNativeSeparators(h.data + "/Songs/"));
    QCOMPARE(h.LocalFileView()->Caption(h.LocalFileView()->SelectedRow()), QStringLiteral("d.lqd"));
  }

  void aSecondCopyEndsAtOnceWithExitCodeOne() {
    QTemporaryDir temp;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", temp.filePath("config"));
    env.insert("XDG_RUNTIME_DIR", temp.filePath("run"));
    QDir().mkpath(temp.filePath("run"));
    QFile::setPermissions(temp.filePath("run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString lock = temp.filePath("run/Ravlin.lock");

    auto start = [&](QProcess& process) {
      process.setProcessEnvironment(env);
      process.setWorkingDirectory(temp.path());
      process.start(QStringLiteral(RAVLIN_BINARY), {});
      QVERIFY(process.waitForStarted());
    };
    // The lock file names the process that holds it.
    auto holder = [&] {
      QFile file(lock);
      if (!file.open(QIODevice::ReadOnly)) return qint64(-1);
      return file.readLine().trimmed().toLongLong();
    };
    QProcess first;
    start(first);
    QTRY_COMPARE_WITH_TIMEOUT(holder(), first.processId(), 10000);
    QProcess second;
    start(second);
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 1);
    QCOMPARE(second.readAllStandardOutput(), QByteArray());

    // A copy that crashed leaves its lock behind; it blocks nobody.
    const qint64 crashed = first.processId();
    first.kill();
    QVERIFY(first.waitForFinished(10000));
    QCOMPARE(holder(), crashed);
    QProcess third;
    start(third);
    QTRY_COMPARE_WITH_TIMEOUT(holder(), third.processId(), 10000);
    QProcess fourth;
    start(fourth);
    QVERIFY(fourth.waitForFinished(10000));
    QCOMPARE(fourth.exitCode(), 1);
    QCOMPARE(third.state(), QProcess::Running);
    third.kill();
    third.waitForFinished(10000);
  }
};

QTEST_MAIN(TPcLinkFormViewsTest)
#include "TPcLinkFormViewsTest.moc"
