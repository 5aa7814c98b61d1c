// The main window's commands, error boxes and drag and drop, on the real
// widgets with the built-in keyboard behind them.

#include <QComboBox>
#include <QDateTime>
#include <QDirIterator>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>

#include "BoxCatcher.h"
#include "IconSet.h"
#include "WindowHarness.h"
#include "dialogs/TDirBrowseForm.h"
#include "files/LqdFileStream.h"
#include "files/QnDataFile.h"
#include "midi/MidiDev.h"
#include "protocol/MsgStr.h"
#include "protocol/QnSysEx.h"
#include "support/TestClock.h"

namespace {

using Slot = sim::Trv408::SlotId;
using Kind = sim::Trv408::Kind;

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The note under a failure's text: item `failed` (from 1) of `count`, with
// `done` items finished before it.
QString BatchNote(int failed, int count, const QString& item, int done) {
  const MsgStr msg;
  return Text(msg.WordText(MsgStr::kWordBatchFailed)).arg(failed).arg(count).arg(item) +
         (done == 0 ? Text(msg.WordText(MsgStr::kWordNothingBefore))
                    : Text(msg.WordText(MsgStr::kWordDoneBefore)).arg(done));
}

// Those of the commands that talk to the keyboard that can be used now.
QStringList EnabledCommands(const WindowHarness& h) {
  QStringList names;
  for (const char* button : {"KbdUpdateBtn", "SendBtn", "ReceiveBtn", "DeleteBtn"})
    if (h.Find<QToolButton>(button)->isEnabled()) names << button;
  for (const char* item : {"ConnectAction", "BackupAction", "RestoreAction", "LocalSendMenuItem",
                           "KbdReceiveItem", "KbdDeleteItem"})
    if (h.Action(item)->isEnabled()) names << item;
  return names;
}

bool Japanese() { return MsgStr::LocaleLanguage() == MsgStr::Language::Japanese; }

QStringList FilesIn(const QString& folder) {
  QStringList names;
  QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) names << QDir(folder).relativeFilePath(it.next());
  names.sort();
  return names;
}

// A data file made through the program's own file layer.
void WriteLqd(const QString& path, uint16_t type, uint32_t size, const std::string& name) {
  QnDataFile file(type);
  file.SetSize(size);
  std::fill(file.Data(), file.Data() + size, 0x11);
  file.StoreDataName(name);
  LqdFileStream stream(QFile::encodeName(path).toStdString(), LqdFileStream::Create);
  stream.Write(file);
  stream.Commit();
}

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
}

// ravlin-cli on its own built-in keyboard, whose memory lives in `memory`.
QString Cli(const QStringList& arguments, const QString& memory) {
  QProcess cli;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("RAVLIN_SIM_MEMORY", memory);
  env.insert("RAVLIN_MIDI_API", "none");
  env.insert("LANG", "C");
  env.remove("LC_ALL");
  cli.setProcessEnvironment(env);
  cli.start(RAVLIN_CLI, QStringList({"--in", "TRV-408 Simulator (built-in)", "--out",
                                     "TRV-408 Simulator (built-in)"}) +
                            arguments);
  if (!cli.waitForFinished(-1) || cli.exitCode() != 0)
    return "failed: " + cli.readAllStandardError();
  return {};
}

}  // namespace

class TPcLinkFormCommandsTest : public QObject {
  Q_OBJECT

 private:
  MsgStr msg;

  // Runs an action and returns the texts of the error boxes it showed,
  // checking that the status line showed the command's text while a box was
  // up and that status line and bar are reset afterwards.
  QStringList Run(WindowHarness& h, const char* action, int statusIndex = -1) {
    BoxCatcher boxes;
    QStringList statusWhileShown;
    boxes.whileShown = [&] { statusWhileShown << h.Status()->currentMessage(); };
    h.Trigger(action);
    if (statusIndex >= 0) {
      for (const QString& status : statusWhileShown)
        if (status != Text(msg.StatusText(statusIndex))) return {"wrong status: " + status};
    }
    if (!h.Status()->currentMessage().isEmpty()) return {"status not reset"};
    if (h.Bar()->value() != 0) return {"bar not reset"};
    for (const QString& title : boxes.titles)
      if (title != (Japanese() ? QStringLiteral("エラー") : QStringLiteral("Error")))
        return {"wrong title: " + title};
    return boxes.texts;
  }

  QString Operate(int code) const { return Text(msg.OperateText(code)); }

  // Imports the keyboard item at `row` of the folder `captions` into the
  // selected PC folder.
  QStringList Import(WindowHarness& h, const QStringList& captions, int row) {
    h.SelectKbd(captions, row);
    return Run(h, "ReceiveAction", 2);
  }

  static void SendDrag(QWidget* viewport, const QPoint& pos, QMimeData* data, bool& entered,
                       bool drop = true) {
    QDragEnterEvent enter(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    entered = enter.isAccepted();
    if (!drop) return;
    QDropEvent dropEvent(QPointF(pos), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &dropEvent);
  }

  static QMimeData* FromControl(const char* name) {
    auto* data = new QMimeData;
    data->setData(TPcLinkForm::kSourceMimeType, QByteArray(name));
    return data;
  }

 private slots:
  void eachRefusedOperationShowsItsText() {
    WindowHarness h;
    WriteLqd(h.data + "/TON_a.lqd", 2, 60, "a");
    h.Open();
    QCOMPARE(Run(h, "SendAction", 1), QStringList({Operate(0)}));
    QCOMPARE(Operate(4), Japanese() ? QStringLiteral("削除するデータが選択されていません")
                                    : QStringLiteral("Not select a data"));

    h.SelectLocalFile("TON_a.lqd");
    h.KbdFileView()->SelectRow(-1);
    QCOMPARE(Run(h, "SendAction", 1), QStringList({Operate(1)}));

    QCOMPARE(Run(h, "ReceiveAction", 2), QStringList({Operate(2)}));
    h.KbdFileView()->SelectRow(0);
    h.LocalDirView()->setCurrentItem(nullptr);
    QCOMPARE(Run(h, "ReceiveAction", 2), QStringList({Operate(3)}));

    h.KbdFileView()->SelectRow(-1);
    QCOMPARE(Run(h, "DeleteAction", 3), QStringList({Operate(4)}));
    h.SelectKbd({"Song Rhythm:\\", "Song"}, 0);
    QCOMPARE(Run(h, "DeleteAction", 3), QStringList({Operate(6)}));
    QCOMPARE(Operate(6), Japanese() ? QStringLiteral("まず一覧を取得して下さい")
                                    : QStringLiteral("Get list first!!"));
    QVERIFY(!BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 0}).empty());
  }

  void aFailedGetListLeavesTheWindowAsItWas() {
    WindowHarness h;
    h.Open();
    BuiltInKeyboard::Keyboard().SetKeyboardType(1);
    QCOMPARE(Run(h, "ConnectAction", 0), QStringList({Text(msg.KbdDrvText(0))}));
    QCOMPARE(EnabledCommands(h),
             QStringList({"KbdUpdateBtn", "ConnectAction", "BackupAction", "RestoreAction"}));
    QCOMPARE(h.KbdFileView()->Caption(0), QStringLiteral("User 0"));
  }

  // The window is busy past an exchange's limit (a slot that lists a huge
  // folder, say) while the keyboard's answer waits in the event loop: the
  // answer came in time, and the list is read without a time-out.
  void aBusyWindowCausesNoTimeOut() {
    WindowHarness h;
    h.Open();
    QTimer::singleShot(0, [] {
      QElapsedTimer busy;
      busy.start();
      while (busy.elapsed() <= MidiDev::kTimeLimitMs + 100) {
      }
    });
    const QStringList boxes = Run(h, "ConnectAction", 0);
    QCOMPARE(boxes, QStringList());
    QVERIFY(h.Find<QToolButton>("ReceiveBtn")->isEnabled());
  }

  void aSilentKeyboardTimesOut() {
    TestClock clock;
    WindowHarness h;
    h.Open();
    MidiDev::Instance()->SetClock(clock);
    BuiltInKeyboard::Keyboard().SetFault(sim::Fault::NoAnswer);
    {
      BoxCatcher boxes;
      h.Action("ConnectAction")->trigger();
      clock.Advance(std::chrono::milliseconds(MidiDev::kTimeLimitMs + 1));
      h.WaitWhileBusy();
      QCOMPARE(boxes.texts, QStringList({Text(msg.MidiDevText(MidiDev::kReplyTimeout, 0))}));
    }
    QVERIFY(!h.Find<QToolButton>("ReceiveBtn")->isEnabled());
    QCOMPARE(h.KbdNode({"Tone:\\"})->icon(0).cacheKey(), IconSet::Kbd(0).cacheKey());

    // The keyboard answers again: the next Get/Update List works.
    BuiltInKeyboard::Keyboard().SetFault(sim::Fault::None);
    QCOMPARE(Run(h, "ConnectAction", 0), QStringList());
    QVERIFY(h.Find<QToolButton>("ReceiveBtn")->isEnabled());
  }

  void theWindowKeepsPaintingWhileTheKeyboardAnswers() {
    WindowHarness h;
    h.Open();
    // On a real cable each of the list's exchanges takes some milliseconds.
    BuiltInKeyboard::Link().SetTiming(sim::Timing{true, std::chrono::microseconds{2000}});
    int ticks = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start();
    QCOMPARE(Run(h, "ConnectAction", 0), QStringList());
    timer.stop();
    BuiltInKeyboard::Link().SetTiming(sim::Timing{});
    QVERIFY2(ticks > 0, "no event was handled while the list was read");
    QVERIFY(h.Find<QToolButton>("ReceiveBtn")->isEnabled());
  }

  void importWritesTheFileAndSelectsIt() {
    WindowHarness h;
    h.Open();
    h.GetList();
    QCOMPARE(Import(h, {"Tone:\\"}, 0), QStringList());
    const QString name = QStringLiteral("TON_Piano 1 .lqd");
    QCOMPARE(FilesIn(h.data), QStringList({name}));
    QCOMPARE(QFileInfo(h.data + "/" + name).size(), 124);
    QCOMPARE(h.LocalFileView()->SelectedRow(), h.LocalFileView()->FindCaption(name));
    QCOMPARE(h.Bar()->maximum(), 60);

    // The same item again replaces the file without a question.
    QCOMPARE(Import(h, {"Tone:\\"}, 0), QStringList());
    QCOMPARE(FilesIn(h.data), QStringList({name}));

    QCOMPARE(Import(h, {"Song Rhythm:\\", "Song"}, 0), QStringList());
    QCOMPARE(Import(h, {"Registration:\\", "Bank2"}, 1), QStringList());
    QCOMPARE(FilesIn(h.data), QStringList({"REG_.lqd", "SNG_DemoSong.lqd", name}));

    // Importing a folder item is refused; nothing is written.
    QCOMPARE(Import(h, {"Registration:\\"}, 0), QStringList({Operate(2)}));
    QCOMPARE(FilesIn(h.data).size(), 3);
  }

  void aDataNameThatIsNoFileNameIsImportedUnderASafeName() {
    WindowHarness h;
    std::vector<uint8_t> tone = BuiltInKeyboard::Keyboard().Item({Kind::Tone, 0, 4});
    const char evil[] = "../x/abc";
    std::copy(evil, evil + 8, tone.begin() + 36);
    BuiltInKeyboard::Keyboard().SetItem({Kind::Tone, 0, 4}, tone);
    h.Open();
    h.GetList();
    QCOMPARE(h.KbdFileView()->Caption(4), QStringLiteral("../x/abc"));
    QCOMPARE(Import(h, {"Tone:\\"}, 4), QStringList());
    QCOMPARE(FilesIn(h.data), QStringList({"TON_.._x_abc.lqd"}));
    QCOMPARE(h.LocalFileView()->Caption(h.LocalFileView()->SelectedRow()),
             QStringLiteral("TON_.._x_abc.lqd"));
    QFile file(h.data + "/TON_.._x_abc.lqd");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().mid(64 + 36, 8), QByteArray("../x/abc"));
  }

  // Runs `steps` once the transfer the window runs has moved the bar, while
  // the work goes on, as a person acts who watches it.
  static void WhenUnderWay(WindowHarness& h, std::function<void()> steps) {
    auto* poll = new QTimer(h.window.get());
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [&h, poll, steps] {
      if (h.Bar()->value() <= h.Bar()->minimum()) return;
      poll->stop();
      poll->deleteLater();
      steps();
    });
    poll->start();
  }

  // On cable timing: a click on the Cancel button stops an import between
  // two exchanges; nothing is written, no error box comes, the status line
  // says so, and the next command works at once. Escape during a send lets
  // the item finish, and the status line says that the work stops after it,
  // then that it stopped after it.
  // The click comes as a person's does, to the window, which hands it to the
  // button.
  void escapeAndCancelStopTheWorkBetweenExchanges() {
    WindowHarness h;
    h.Open();
    h.GetList();
    BuiltInKeyboard::Link().SetTiming(sim::Timing{true, std::chrono::milliseconds(1)});
    const std::vector<uint8_t> song = BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 0});
    const QString cancelled = Text(msg.SysExText(QnSysEx::kCancelled));
    auto* cancel = h.window->findChild<QPushButton*>("CancelBtn");
    QVERIFY(!cancel->isVisible());

    bool visibleDuringWork = false;
    bool endedAtOnce = false;
    WhenUnderWay(h, [&] {
      visibleDuringWork = cancel->isVisible();
      QTest::mouseClick(h.window->windowHandle(), Qt::LeftButton, {},
                        cancel->mapTo(h.window.get(), cancel->rect().center()));
      // The exchange under way is the last: the job ends with its answer.
      endedAtOnce = QTest::qWaitFor([&] { return !h.window->Busy(); }, 1000);
    });
    BoxCatcher boxes;
    h.SelectKbd({"Song Rhythm:\\", "Song"}, 0);
    h.Trigger("ReceiveAction");
    QVERIFY(visibleDuringWork);
    QVERIFY(endedAtOnce);
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(h.Status()->currentMessage(), cancelled);
    QCOMPARE(FilesIn(h.data), QStringList());
    QVERIFY(!cancel->isVisible());

    h.Trigger("ReceiveAction");
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(FilesIn(h.data), QStringList({"SNG_DemoSong.lqd"}));

    // Escape during a send: the send finishes the item it has begun, and the
    // list shows the song the keyboard holds now.
    h.Trigger("LocalUpdateAction");
    h.SelectLocalFile("SNG_DemoSong.lqd");
    h.SelectKbd({"Song Rhythm:\\", "Song"}, 0);
    QString statusAfterEscape;
    WhenUnderWay(h, [&] {
      QTest::keyClick(h.KbdFileView()->CurrentView(), Qt::Key_Escape);
      statusAfterEscape = h.Status()->currentMessage();
    });
    h.Trigger("SendAction");
    QCOMPARE(statusAfterEscape, Text(msg.WordText(MsgStr::kWordStoppingAfterItem)));
    QCOMPARE(h.Status()->currentMessage(), Text(msg.WordText(MsgStr::kWordCancelledAfter)));
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 0}), song);
    QCOMPARE(h.KbdFileView()->Caption(0), QStringLiteral("DemoSong"));
  }

  // While a cable-timed import runs, the window stays live: the monitor's
  // buttons work, a PC file's properties open, the PC folders can be browsed
  // and Preferences opens without Detect; every command that talks to the
  // keyboard is disabled, its key and its button doing nothing, and closing
  // asks first. They are all back once the work has ended.
  // When the import ends, the PC list stays on the folder browsed to, and
  // what coming back to the program rereads waits until then.
  void theWindowStaysLiveWhileTheKeyboardWorks() {
    WindowHarness h;
    WriteLqd(h.data + "/TON_a.lqd", 2, 60, "a");
    QVERIFY(QDir(h.data).mkpath("Other"));
    WriteLqd(h.data + "/Other/b.lqd", 2, 60, "b");
    h.Open();
    QTest::keyClick(h.window.get(), Qt::Key_M, Qt::ControlModifier);
    auto* monitor = h.window->findChild<QWidget*>("TMidiMonitorForm");
    QVERIFY(monitor != nullptr);
    auto* pause = monitor->findChild<QPushButton*>("PauseBtn");
    auto* messages = monitor->findChild<QAbstractItemView*>("MessageView");
    h.GetList();
    h.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    h.SelectLocalFile("TON_a.lqd");
    h.SelectKbd({"Song Rhythm:\\", "Song"}, 0);
    const std::vector<uint8_t> song = BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 0});
    BuiltInKeyboard::Link().SetTiming(sim::Timing{true, std::chrono::milliseconds(20)});

    BoxCatcher boxes;
    bool detectAllowed = true;
    boxes.onDialog = [&](QDialog* dialog) {
      if (auto* detect = dialog->findChild<QPushButton*>("DetectBtn"))
        detectAllowed = detect->isEnabled();
      dialog->reject();
    };
    bool paused = false;
    int rowsWhilePaused = -1;
    QString folderBrowsed;
    bool busyThroughout = false;
    QStringList commandsDuringWork;
    WhenUnderWay(h, [&] {
      commandsDuringWork = EnabledCommands(h);
      QTest::mouseClick(pause, Qt::LeftButton);
      QTest::mouseClick(monitor->findChild<QPushButton*>("ClearBtn"), Qt::LeftButton);
      paused = pause->isChecked();
      QAbstractItemView* kbdList = h.KbdFileView()->CurrentView();
      kbdList->setFocus();
      QTest::keyClick(kbdList, Qt::Key_Delete);
      QTest::keyClick(kbdList, Qt::Key_I, Qt::ControlModifier);
      QTest::keyClick(kbdList, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
      QTest::keyClick(kbdList, Qt::Key_F5);
      QTest::mouseClick(h.Find<QToolButton>("SendBtn"), Qt::LeftButton);
      QTest::mouseClick(h.Find<QToolButton>("DeleteBtn"), Qt::LeftButton);
      QAbstractItemView* localList = h.LocalFileView()->CurrentView();
      localList->setFocus();
      QTest::keyClick(localList, Qt::Key_Return, Qt::AltModifier);
      h.window->activateWindow();
      h.LocalDirView()->setFocus();
      QTest::keyClick(h.LocalDirView(), Qt::Key_Right);
      QTest::keyClick(h.LocalDirView(), Qt::Key_Down);
      folderBrowsed = h.LocalDirView()->currentItem()->text(0);
      // Back to the program: the ports and the PC list are read again once
      // the work has ended, and then show a file made meanwhile.
      emit qApp->applicationStateChanged(Qt::ApplicationActive);
      WriteLqd(h.data + "/Other/new.lqd", 2, 60, "new");
      h.Action("PropertyMenuItem")->trigger();
      h.window->activateWindow();
      h.Action("Exit1")->trigger();
      rowsWhilePaused = messages->model()->rowCount();
      busyThroughout = h.window->Busy() && h.window->isVisible();
    });
    h.Trigger("ReceiveAction");
    QVERIFY(paused);
    QCOMPARE(commandsDuringWork, QStringList());
    QCOMPARE(EnabledCommands(h),
             QStringList({"KbdUpdateBtn", "SendBtn", "ReceiveBtn", "DeleteBtn", "ConnectAction",
                          "BackupAction", "RestoreAction", "LocalSendMenuItem", "KbdReceiveItem",
                          "KbdDeleteItem"}));
    QCOMPARE(rowsWhilePaused, 0);
    QVERIFY(busyThroughout);
    QCOMPARE(boxes.dialogs, QStringList({"TQnDataPropertyForm", "TPrefForm"}));
    QVERIFY(!detectAllowed);
    QCOMPARE(boxes.texts, QStringList({Text(msg.WordText(MsgStr::kWordCloseWhileWorking))}));
    QVERIFY(h.window->isVisible());
    QCOMPARE(folderBrowsed, QStringLiteral("Other"));
    QCOMPARE(h.Captions(h.LocalFileView()), QStringList({"b.lqd", "new.lqd"}));
    QCOMPARE(FilesIn(h.data),
             QStringList({"Other/b.lqd", "Other/new.lqd", "SNG_DemoSong.lqd", "TON_a.lqd"}));
    QCOMPARE(BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 0}), song);
    QCOMPARE(h.Status()->currentMessage(), QString());
    QTest::mouseClick(pause, Qt::LeftButton);
    QVERIFY(messages->model()->rowCount() > 0);
  }

  // Closing during work asks; Yes stops the work and closes the window once
  // it has ended. A file handed over by a second start meanwhile is shown
  // then.
  void closingDuringWorkStopsItAndClosesAfterwards() {
    WindowHarness h;
    QVERIFY(QDir(h.data).mkpath("Third"));
    WriteLqd(h.data + "/Third/c.lqd", 2, 60, "c");
    h.Open();
    h.GetList();
    BuiltInKeyboard::Link().SetTiming(sim::Timing{true, std::chrono::milliseconds(1)});
    BoxCatcher boxes;
    boxes.answer = QMessageBox::Yes;
    QString folderWhileBusy;
    bool openWhileBusy = false;
    WhenUnderWay(h, [&] {
      h.window->ShowLocalFile(h.data + "/Third/c.lqd");
      folderWhileBusy = h.LocalDirView()->currentItem()->text(0);
      h.Action("Exit1")->trigger();
      openWhileBusy = h.window->isVisible() && h.window->Busy();
    });
    h.SelectKbd({"Song Rhythm:\\", "Song"}, 0);
    h.Trigger("ReceiveAction");
    QCOMPARE(boxes.texts, QStringList({Text(msg.WordText(MsgStr::kWordCloseWhileWorking))}));
    QVERIFY(openWhileBusy);
    QVERIFY(folderWhileBusy != QStringLiteral("Third"));
    QTRY_VERIFY(!h.window->isVisible());
    QCOMPARE(FilesIn(h.data), QStringList({"Third/c.lqd"}));
    QCOMPARE(h.LocalDirView()->currentItem()->text(0), QStringLiteral("Third"));
    QCOMPARE(h.LocalFileView()->Caption(h.LocalFileView()->SelectedRow()), QStringLiteral("c.lqd"));
  }

  static void SelectRows(ItemListView* list, const std::vector<int>& rows) {
    list->SelectRow(rows.front());
    QItemSelectionModel* selection = list->CurrentView()->selectionModel();
    for (int row : rows) {
      selection->select(list->CurrentView()->model()->index(row, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }

  // Several items at once: an import names equal data names apart, without
  // replacing a file the user had, a send fills the slot chosen and those
  // after it, and a batch that cannot fit is refused before it changes
  // anything.
  void batchesMoveSeveralItemsAtOnce() {
    WindowHarness h;
    std::vector<uint8_t> twin = BuiltInKeyboard::Keyboard().Item({Kind::Tone, 0, 0});
    BuiltInKeyboard::Keyboard().SetItem({Kind::Tone, 0, 1}, twin);
    WriteLqd(h.data + "/TON_Piano 1 _2.lqd", QnData::kTypeTone, 60, "Mine");
    const QByteArray mine = Bytes(h.data + "/TON_Piano 1 _2.lqd");
    h.Open();
    h.GetList();
    BoxCatcher boxes;
    h.SelectKbd({"Tone:\\"});
    SelectRows(h.KbdFileView(), {0, 1, 2});
    h.Trigger("ReceiveAction");
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(FilesIn(h.data), QStringList({"TON_Piano 1 .lqd", "TON_Piano 1 _2.lqd",
                                           "TON_Piano 1 _3.lqd", "TON_Strings .lqd"}));
    QCOMPARE(Bytes(h.data + "/TON_Piano 1 _2.lqd"), mine);

    h.Trigger("LocalUpdateAction");
    ItemListView* files = h.LocalFileView();
    SelectRows(files,
               {files->FindCaption("TON_Piano 1 .lqd"), files->FindCaption("TON_Piano 1 _3.lqd"),
                files->FindCaption("TON_Strings .lqd")});
    h.SelectKbd({"Tone:\\"}, 7);
    h.Trigger("SendAction");
    QCOMPARE(boxes.texts, QStringList());
    for (int slot : {7, 8, 9}) {
      const std::vector<uint8_t> sent = BuiltInKeyboard::Keyboard().Item({Kind::Tone, 0, slot});
      QCOMPARE(sent, BuiltInKeyboard::Keyboard().Item({Kind::Tone, 0, slot == 9 ? 2 : 0}));
    }
    // Past the folder's last slot is no slot.
    h.SelectKbd({"Tone:\\"}, 8);
    h.Trigger("SendAction");
    QCOMPARE(boxes.texts, QStringList({Operate(5)}));

    // Two songs that do not fit together: nothing goes to the keyboard.
    WriteLqd(h.data + "/SNG_a.lqd", QnData::kTypeSong, 12000, "A");
    WriteLqd(h.data + "/SNG_b.lqd", QnData::kTypeSong, 12000, "B");
    h.Trigger("LocalUpdateAction");
    SelectRows(h.LocalFileView(), {h.LocalFileView()->FindCaption("SNG_a.lqd"),
                                   h.LocalFileView()->FindCaption("SNG_b.lqd")});
    h.SelectKbd({"Song Rhythm:\\", "Song"}, 0);
    const std::vector<uint8_t> song = BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 0});
    h.Trigger("SendAction");
    QCOMPARE(boxes.texts.last(), Text(msg.StreamText(2)));
    QCOMPARE(BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 0}), song);

    // Two that fit the memory the list shows, but no longer the keyboard's:
    // a rhythm was recorded since the list was got. The first would replace
    // the song, the second would not fit after it.
    BuiltInKeyboard::Keyboard().SetItem({Kind::Rhythm, 0, 3}, std::vector<uint8_t>(4000, 7));
    WriteLqd(h.data + "/SNG_e.lqd", QnData::kTypeSong, 10000, "E");
    WriteLqd(h.data + "/SNG_g.lqd", QnData::kTypeSong, 10000, "G");
    h.Trigger("LocalUpdateAction");
    SelectRows(files, {files->FindCaption("SNG_e.lqd"), files->FindCaption("SNG_g.lqd")});
    h.SelectKbd({"Song Rhythm:\\", "Song"}, 0);
    h.Trigger("SendAction");
    QCOMPARE(boxes.texts.last(), Text(msg.StreamText(2)));
    QCOMPARE(BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 0}), song);
    QVERIFY(BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 1}).empty());
  }

  // Picks rows as a person does: a click on the first, Ctrl+click on the rest.
  static void ClickRows(const WindowHarness& h, ItemListView* list, const std::vector<int>& rows) {
    QWidget* viewport = list->CurrentView()->viewport();
    for (size_t i = 0; i < rows.size(); ++i) {
      QTest::mouseClick(viewport, Qt::LeftButton, i == 0 ? Qt::NoModifier : Qt::ControlModifier,
                        h.ItemCenter(list, rows[i]));
    }
    QCOMPARE(list->SelectedRows(), rows);
  }

  // Ctrl+A takes the empty slots too: an import passes them by and says so;
  // Delete takes every selected rhythm.
  void selectionsOfSeveralSlots() {
    WindowHarness h;
    h.Open();
    h.GetList();
    BoxCatcher boxes;
    h.SelectKbd({"Song Rhythm:\\", "Rhythm"});
    QAbstractItemView* kbdList = h.KbdFileView()->CurrentView();
    kbdList->setFocus();
    QTest::keyClick(kbdList, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(h.KbdFileView()->SelectedRows(), std::vector<int>({0, 1, 2, 3}));
    QTest::keyClick(kbdList, Qt::Key_I, Qt::ControlModifier);
    h.WaitWhileBusy();
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(FilesIn(h.data), QStringList({"RHY_Bossa 2 .lqd", "RHY_Funk Grv.lqd"}));
    QCOMPARE(h.Status()->currentMessage(), Text(msg.StatusText(4)).arg(2));
    QVERIFY(!Text(msg.StatusText(4)).isEmpty());

    // Only empty slots: nothing to import, and the status line says why.
    ClickRows(h, h.KbdFileView(), {2, 3});
    QTest::keyClick(kbdList, Qt::Key_I, Qt::ControlModifier);
    h.WaitWhileBusy();
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(FilesIn(h.data).size(), 2);
    QCOMPARE(h.Status()->currentMessage(), Text(msg.StatusText(4)).arg(2));

    ClickRows(h, h.KbdFileView(), {0, 1});
    QTest::keyClick(kbdList, Qt::Key_Delete);
    h.WaitWhileBusy();
    QCOMPARE(boxes.texts, QStringList());
    QVERIFY(BuiltInKeyboard::Keyboard().Item({Kind::Rhythm, 0, 0}).empty());
    QVERIFY(BuiltInKeyboard::Keyboard().Item({Kind::Rhythm, 0, 1}).empty());
    QCOMPARE(h.KbdFileView()->SubItem(0, 1), QString());
    QCOMPARE(h.KbdFileView()->SubItem(1, 1), QString());
    QVERIFY(!BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 0}).empty());
  }

  // The box of a batch, a backup or a restore that fails says which item
  // failed and what was done before it; no later box repeats it.
  void failuresOfSeveralItemsNameTheItem() {
    WindowHarness h;
    QVERIFY(QDir(h.data).mkpath("TON_Strings .lqd"));  // the second import cannot be written
    QFile garbage(h.data + "/bad.lqd");
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(100, 'x'));
    garbage.close();
    const QString folder = h.temp.filePath("backup");
    QVERIFY(QDir().mkpath(folder));
    WriteLqd(folder + "/tone-0.lqd", QnData::kTypeTone, 60, "Fine");
    WriteLqd(folder + "/tone-1.lqd", QnData::kTypeTone, 200, "TooLong");
    const std::vector<uint8_t> piano = BuiltInKeyboard::Keyboard().Item({Kind::Tone, 0, 0});
    h.Open();
    h.GetList();
    BoxCatcher boxes;
    boxes.onDialog = [&](QDialog* dialog) {
      static_cast<TDirBrowseForm*>(dialog)->SetStartFolder(folder);
      dialog->findChild<QPushButton*>("OkBtn")->click();
    };

    h.SelectKbd({"Tone:\\"});
    ClickRows(h, h.KbdFileView(), {0, 2});
    QTest::keyClick(h.KbdFileView()->CurrentView(), Qt::Key_I, Qt::ControlModifier);
    h.WaitWhileBusy();
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.Last().endsWith("\n\n" + BatchNote(2, 2, "Strings ", 1)),
             qPrintable(boxes.Last()));

    // The properties of a file that is no data file: the box says only that.
    // Offscreen, a closed box hands the activation back to no window.
    h.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    ClickRows(h, h.LocalFileView(), {h.LocalFileView()->FindCaption("bad.lqd")});
    QTest::keyClick(h.LocalFileView()->CurrentView(), Qt::Key_Return, Qt::AltModifier);
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(boxes.Last(), Text(msg.StreamText(0)));

    // The keyboard takes the first tone and refuses the second.
    boxes.answer = QMessageBox::Yes;
    h.Trigger("RestoreAction");
    boxes.texts.removeAt(2);  // the question
    QCOMPARE(boxes.texts.size(), 3);
    QVERIFY2(boxes.Last() == Text(msg.SysExText(0)) + "\n\n" +
                                 BatchNote(2, 2, QDir(folder).filePath("tone-1.lqd"), 1),
             qPrintable(boxes.Last()));
    QVERIFY(BuiltInKeyboard::Keyboard().Item({Kind::Tone, 0, 0}) != piano);

    // A keyboard whose data always arrives damaged: the first slot fails.
    BuiltInKeyboard::Keyboard().SetFault(sim::Fault::BadChecksum, 0);
    h.Trigger("BackupAction");
    QCOMPARE(boxes.texts.size(), 4);
    QVERIFY2(boxes.Last().contains("(tone/0)") &&
                 boxes.Last().endsWith(Text(msg.WordText(MsgStr::kWordNothingBefore))),
             qPrintable(boxes.Last()));
  }

  void sendWritesTheSlotAndSelectsIt() {
    WindowHarness h;
    h.Open();
    h.GetList();
    QCOMPARE(Import(h, {"Tone:\\"}, 0), QStringList());

    h.SelectKbd({"Tone:\\"}, 3);
    QSignalSpy moves(h.Bar(), &QProgressBar::valueChanged);
    QCOMPARE(Run(h, "SendAction", 1), QStringList());
    QVERIFY(moves.contains(QVariantList({60})));
    ItemListView* list = h.KbdFileView();
    QCOMPARE(list->Caption(3), QStringLiteral("Piano 1 "));
    QCOMPARE(list->SelectedRow(), 3);
    QCOMPARE(BuiltInKeyboard::Keyboard().Item({Kind::Tone, 0, 3}),
             BuiltInKeyboard::Keyboard().Item({Kind::Tone, 0, 0}));

    // Two slots now show the same name; each is still reached on its own.
    WriteLqd(h.data + "/TON_b.lqd", 2, 60, "b");
    h.Trigger("LocalUpdateAction");
    QCOMPARE(Import(h, {"Tone:\\"}, 3), QStringList());
    h.SelectLocalFile("TON_b.lqd");
    h.SelectKbd({"Tone:\\"}, 0);
    QCOMPARE(Run(h, "SendAction", 1), QStringList());
    QCOMPARE(list->Caption(0), QStringLiteral("b       "));
    QCOMPARE(list->Caption(3), QStringLiteral("Piano 1 "));
    h.SelectLocalFile("TON_Piano 1 .lqd");

    // A tone does not fit a DSP slot; a text file is no data file.
    h.SelectKbd({"DSP:\\"}, 0);
    QCOMPARE(Run(h, "SendAction", 1), QStringList({Text(msg.StreamText(1))}));
    QCOMPARE(list->Caption(0), QStringLiteral("Hall 1  "));
    QFile text(h.data + "/notes.txt");
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("just some text, long enough to be something else than a header");
    text.close();
    h.Trigger("LocalUpdateAction");
    h.SelectLocalFile("notes.txt");
    QCOMPARE(Run(h, "SendAction", 1), QStringList({Text(msg.StreamText(0))}));
  }

  void songSendsThatFailSayWhatTheKeyboardHolds() {
    WindowHarness h;
    WriteLqd(h.data + "/SNG_Big.lqd", 10, 21000, "Big");
    h.Open();
    h.GetList();
    h.SelectLocalFile("SNG_Big.lqd");
    h.SelectKbd({"Song Rhythm:\\", "Song"}, 0);
    QCOMPARE(Run(h, "SendAction", 1), QStringList({Text(msg.StreamText(2))}));
    QCOMPARE(Text(msg.StreamText(2)), Japanese() ? QStringLiteral("空き領域が足りません")
                                                 : QStringLiteral("Not enough memory"));
    QCOMPARE(h.KbdFileView()->Caption(0), QStringLiteral("DemoSong"));
    QVERIFY(!BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 0}).empty());

    // The old song goes before the upload; an upload the keyboard refuses
    // leaves the slot empty, and the list shows it so.
    WriteLqd(h.data + "/SNG_Small.lqd", 10, 200, "Small");
    h.Trigger("LocalUpdateAction");
    h.SelectLocalFile("SNG_Small.lqd");
    h.SelectKbd({"Song Rhythm:\\", "Song"}, 0);
    BuiltInKeyboard::Keyboard().SetFault(sim::Fault::Reject);
    QCOMPARE(Run(h, "SendAction", 1), QStringList({Text(msg.SysExText(0))}));
    QVERIFY(BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 0}).empty());
    QCOMPARE(h.KbdFileView()->SubItem(0, 1), QString());
    QCOMPARE(h.KbdFileView()->Icon(0).cacheKey(), IconSet::Kbd(5).cacheKey());
  }

  void deleteEmptiesTheSlotAndRefreshesTheList() {
    WindowHarness h;
    h.Open();
    h.GetList();
    h.SelectKbd({"Song Rhythm:\\", "Rhythm"}, 1);
    QCOMPARE(h.KbdFileView()->Caption(1), QStringLiteral("Funk Grv"));
    QCOMPARE(Run(h, "DeleteAction", 3), QStringList());
    ItemListView* list = h.KbdFileView();
    QCOMPARE(list->SubItem(1, 1), QString());
    QCOMPARE(list->Icon(1).cacheKey(), IconSet::Kbd(5).cacheKey());
    QCOMPARE(list->SubItem(0, 1), QStringLiteral("Rhythm"));
    QCOMPARE(list->SelectedRow(), -1);
    QVERIFY(BuiltInKeyboard::Keyboard().Item({Kind::Rhythm, 0, 1}).empty());
    QVERIFY(!BuiltInKeyboard::Keyboard().Item({Kind::Rhythm, 0, 0}).empty());
  }

  void preferencesTakeTheirValuesOnlyWithOk() {
    PortBeforeBuiltIn other;
    WindowHarness h;
    h.Open();
    BoxCatcher dialogs;
    dialogs.onDialog = [&](QDialog* dialog) {
      dialog->findChild<QLineEdit*>("DefDirEdit")->setText("/somewhere/else");
      dialog->findChild<QPushButton*>("CancelBtn")->click();
    };
    h.Trigger("PropertyMenuItem");
    QCOMPARE(dialogs.dialogs, QStringList({"TPrefForm"}));
    QCOMPARE(h.window->DefaultFolder(), h.data);

    dialogs.onDialog = [&](QDialog* dialog) {
      dialog->findChild<QLineEdit*>("DefDirEdit")->setText("/somewhere/else");
      dialog->findChild<QComboBox*>("MidiOutDevBox")->setCurrentIndex(0);
      dialog->findChild<QPushButton*>("OkBtn")->click();
    };
    h.Trigger("PrefOpen");
    QCOMPARE(dialogs.dialogs.size(), 2);
    QCOMPARE(h.window->DefaultFolder(), QStringLiteral("/somewhere/else"));
    QCOMPARE(h.window->OutputDevice(), 0);
    QCOMPARE(h.window->InputDevice(), int32_t(BuiltInKeyboard::Input()));
    // Nothing else is redone: the PC tree stays where it was.
    QCOMPARE(h.window->LocalNodePath(h.LocalDirView()->currentItem()),
             QDir::toNativeSeparators(h.data + "/"));
  }

  void propertiesRenameTheDataOfAPcFile() {
    WindowHarness h;
    WriteLqd(h.data + "/TON_a.lqd", 2, 60, "Old");
    WriteLqd(h.data + "/TON_b.LQD", 2, 60, "Caps");
    h.Open();
    h.SelectLocalFile("TON_a.lqd");
    h.LocalFileView()->CurrentView()->setFocus();
    BoxCatcher dialogs;
    QString shownName, shownSize;
    dialogs.onDialog = [&](QDialog* dialog) {
      auto* edit = dialog->findChild<QLineEdit*>("NameEdit");
      shownName = edit->text();
      shownSize = dialog->findChild<QLabel*>("SizeLbl")->text();
      edit->setText("Renamed");
      dialog->findChild<QPushButton*>("OkBtn")->click();
    };
    auto nameInFile = [&] {
      LqdFileStream stream(QFile::encodeName(h.data + "/TON_a.lqd").toStdString(),
                           LqdFileStream::OpenRead);
      QnDataFile file;
      file.SetSize(static_cast<uint32_t>(stream.DataLength()));
      stream.Read(file);
      return file.Name();
    };
    h.Trigger("Property1");
    QCOMPARE(dialogs.dialogs, QStringList({"TQnDataPropertyForm"}));
    QCOMPARE(shownName, QStringLiteral("Old     "));
    QVERIFY2(shownSize.contains("60"), qPrintable(shownSize));
    QCOMPARE(FilesIn(h.data), QStringList({"TON_a.lqd", "TON_b.LQD"}));
    QCOMPARE(nameInFile(), std::string("Renamed "));

    // The program becomes active again while the dialog is open: the list is
    // read anew, and OK still writes the file the dialog was opened on.
    dialogs.onDialog = [&](QDialog* dialog) {
      emit qApp->applicationStateChanged(Qt::ApplicationActive);
      dialog->findChild<QLineEdit*>("NameEdit")->setText("Again");
      dialog->findChild<QPushButton*>("OkBtn")->click();
    };
    h.Trigger("Property1");
    QCOMPARE(dialogs.dialogs.size(), 2);
    QCOMPARE(nameInFile(), std::string("Again   "));
    QCOMPARE(dialogs.texts, QStringList());

    // An extension in capitals is no data file to the property command.
    h.SelectLocalFile("TON_b.LQD");
    dialogs.onDialog = [&](QDialog* dialog) {
      shownName = dialog->findChild<QLineEdit*>("NameEdit")->text();
      shownSize = dialog->findChild<QLabel*>("SizeLbl")->text();
      dialog->reject();
    };
    h.Trigger("Property1");
    QCOMPARE(shownName, QString());
    QVERIFY2(!shownSize.contains("60"), qPrintable(shownSize));
  }

  void propertiesOfABrokenDataFileShowTheError() {
    WindowHarness h;
    QFile broken(h.data + "/bad.lqd");
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("VARDO Music Lix and more bytes than a signature needs");
    broken.close();
    h.Open();
    h.SelectLocalFile("bad.lqd");
    h.LocalFileView()->CurrentView()->setFocus();
    BoxCatcher boxes;
    h.Trigger("Property1");
    QCOMPARE(boxes.texts, QStringList({Text(msg.StreamText(0))}));
    QCOMPARE(boxes.dialogs, QStringList());
  }

  void keyboardPropertiesShowTheItemAndTheDrive() {
    WindowHarness h;
    h.Open();
    h.GetList();
    h.SelectKbd({"Song Rhythm:\\", "Song"}, 0);
    h.KbdFileView()->CurrentView()->setFocus();
    BoxCatcher dialogs;
    QString shownName;
    bool nameField = true;
    dialogs.onDialog = [&](QDialog* dialog) {
      shownName = dialog->findChild<QLineEdit*>("NameEdit")->text();
      nameField = dialog->findChild<QLineEdit*>("NameEdit")->isVisible();
      dialog->findChild<QPushButton*>("OkBtn")->click();
    };
    h.Trigger("KbdPropertyItem");
    QCOMPARE(dialogs.dialogs, QStringList({"TQnDataPropertyForm"}));
    QCOMPARE(shownName, QStringLiteral("DemoSong"));
    QVERIFY(!nameField);
    QCOMPARE(FilesIn(h.data), QStringList());

    h.SelectKbd({"Song Rhythm:\\"});
    QString freeText;
    dialogs.onDialog = [&](QDialog* dialog) {
      freeText = dialog->findChild<QLabel*>("FreeLbl")->text();
      dialog->accept();
    };
    h.Trigger("KbdDrvPropItem");
    QCOMPARE(dialogs.dialogs.last(), QStringLiteral("TKbdDrivePropertyForm"));
    const QString free = QString::number(BuiltInKeyboard::Keyboard().FreeBytes());
    QVERIFY2(freeText.startsWith(free), qPrintable(freeText));
    // The keyboard itself carries no drive data.
    h.KbdDirView()->setCurrentItem(h.KbdDirView()->topLevelItem(0));
    h.Trigger("KbdDrvPropItem");
    QCOMPARE(dialogs.dialogs.size(), 2);
  }

  void everyCommandWorksFromTheKeyboard() {
    WindowHarness h;
    QVERIFY(QDir(h.data).mkpath("Sub"));
    h.Open();
    BoxCatcher dialogs;
    dialogs.onDialog = [](QDialog* dialog) { dialog->accept(); };
    auto press = [&h](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
      QVERIFY(QApplication::focusWidget());
      QTest::keyClick(QApplication::focusWidget(), key, modifiers);
      h.WaitWhileBusy();
    };
    auto focused = [] { return QApplication::focusWidget(); };
    QAbstractItemView* localList = h.LocalFileView()->CurrentView();
    QAbstractItemView* kbdList = h.KbdFileView()->CurrentView();

    // Tab goes round the four views, into the view each list shows; only the
    // view with the focus shows its selection in the full highlight.
    const QColor full = QApplication::palette().color(QPalette::Active, QPalette::Highlight);
    auto marked = [&] {
      QStringList names;
      for (QWidget* view : QList<QWidget*>{h.LocalDirView(), localList, h.KbdDirView(), kbdList})
        if (view->palette().color(QPalette::Active, QPalette::Highlight) == full)
          names << view->objectName();
      return names.join(' ');
    };
    h.LocalDirView()->setFocus();
    QCOMPARE(marked(), QStringLiteral("LocalDirView"));
    press(Qt::Key_Tab);
    QCOMPARE(focused(), localList);
    QCOMPARE(marked(), QStringLiteral("IconView"));
    press(Qt::Key_Tab);
    QCOMPARE(focused(), h.KbdDirView());
    QCOMPARE(marked(), QStringLiteral("KbdDirView"));
    press(Qt::Key_Tab);
    QCOMPARE(focused(), kbdList);
    press(Qt::Key_Tab);
    QCOMPARE(focused(), h.LocalDirView());

    // F5 gets the list on the keyboard side and reads the folder on the PC
    // side; the View menu names it once.
    int namedF5 = 0;
    for (QAction* action : h.Find<QMenu>("ViewMenu")->actions())
      namedF5 += action->shortcut() == QKeySequence(Qt::Key_F5);
    QCOMPARE(namedF5, 1);
    h.KbdDirView()->setFocus();
    press(Qt::Key_F5);
    QVERIFY(h.Find<QToolButton>("ReceiveBtn")->isEnabled());
    WriteLqd(h.data + "/TON_new.lqd", 2, 60, "new");
    localList->setFocus();
    QCOMPARE(h.LocalFileView()->FindCaption("TON_new.lqd"), -1);
    press(Qt::Key_F5);
    QVERIFY(h.LocalFileView()->FindCaption("TON_new.lqd") >= 0);

    // Ctrl+4 gives the side with the focus the details, with the focus in them.
    press(Qt::Key_4, Qt::ControlModifier);
    QCOMPARE(h.LocalFileView()->CurrentStyle(), int(ItemListView::Report));
    QCOMPARE(h.KbdFileView()->CurrentStyle(), int(ItemListView::LargeIcon));
    QCOMPARE(focused(), h.LocalFileView()->ViewAt(ItemListView::Report));
    press(Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(focused(), localList);

    // Enter opens the folder item with the focus mark, as a double click does.
    localList->setCurrentIndex(localList->model()->index(h.LocalFileView()->FindCaption("Sub"), 0));
    press(Qt::Key_Return);
    QCOMPARE(h.LocalDirView()->currentItem()->text(0), QStringLiteral("Sub"));
    h.SelectKbd({"Song Rhythm:\\"}, 0);
    kbdList->setFocus();
    press(Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(h.KbdDirView()->currentItem()->text(0), QStringLiteral("Song"));

    // Ctrl+I imports and Ctrl+Shift+S sends, wherever the focus is.
    h.LocalDirView()->setCurrentItem(h.LocalDirView()->currentItem()->parent());
    h.SelectKbd({"Tone:\\"}, 0);
    press(Qt::Key_I, Qt::ControlModifier);
    QVERIFY(FilesIn(h.data).contains("TON_Piano 1 .lqd"));
    h.SelectKbd({"Tone:\\"}, 3);
    press(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(BuiltInKeyboard::Keyboard().Item({Kind::Tone, 0, 3}),
             BuiltInKeyboard::Keyboard().Item({Kind::Tone, 0, 0}));

    // Delete deletes in the keyboard list only.
    h.SelectKbd({"Song Rhythm:\\", "Rhythm"}, 1);
    localList->setFocus();
    press(Qt::Key_Delete);
    QVERIFY(!BuiltInKeyboard::Keyboard().Item({Kind::Rhythm, 0, 1}).empty());
    kbdList->setFocus();
    press(Qt::Key_Delete);
    QVERIFY(BuiltInKeyboard::Keyboard().Item({Kind::Rhythm, 0, 1}).empty());

    // Alt+Enter shows the properties of what the focused view shows.
    h.KbdFileView()->SelectRow(0);
    press(Qt::Key_Return, Qt::AltModifier);
    // Offscreen, a closed dialog hands the activation back to no window.
    h.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    h.KbdDirView()->setFocus();
    press(Qt::Key_Return, Qt::AltModifier);
    h.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    QCOMPARE(dialogs.dialogs, QStringList({"TQnDataPropertyForm", "TKbdDrivePropertyForm"}));

    // The Menu key and Shift+F10 open the focused view's menu at its
    // current item, which becomes the selected one.
    kbdList->setFocus();
    kbdList->setCurrentIndex(kbdList->model()->index(2, 0));
    kbdList->selectionModel()->clearSelection();
    press(Qt::Key_Menu);
    auto* menu = h.Find<QMenu>("KbdPopupMenu");
    QVERIFY(menu->isVisible());
    const QRect item = kbdList->visualRect(kbdList->currentIndex());
    QVERIFY(item.contains(kbdList->viewport()->mapFromGlobal(menu->pos()) - QPoint(0, 1)));
    QCOMPARE(h.KbdFileView()->SelectedRow(), 2);
    menu->hide();
    h.KbdDirView()->setFocus();
    press(Qt::Key_F10, Qt::ShiftModifier);
    QVERIFY(h.Find<QMenu>("KbdDirPopup")->isVisible());
    h.Find<QMenu>("KbdDirPopup")->hide();
  }

  // A folder that is gone is reported with the system's text; on a desktop
  // that registers no program for folders, Start Up Explorer says so and
  // starts nothing else.
  void startUpExplorerReportsAGoneFolderAndAMissingFileManager() {
    WindowHarness h;
    // Empty MIME associations for this case only.
    QList<std::pair<const char*, QByteArray>> saved;
    for (const char* variable :
         {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
      saved.append({variable, qgetenv(variable)});
      qputenv(variable, h.temp.filePath(variable).toLocal8Bit());
    }
    const auto restore = qScopeGuard([&] {
      for (const auto& [variable, value] : saved)
        value.isNull() ? qunsetenv(variable) : qputenv(variable, value);
    });
    QVERIFY(QDir(h.data).mkpath("gone"));
    h.Open(h.data + "/gone");
    BoxCatcher boxes;
    h.Trigger("OpenExplorer");
    QCOMPARE(boxes.texts, QStringList({Text(msg.WordText(MsgStr::kWordNoFileManager))}));

    QVERIFY(QDir(h.data).rmdir("gone"));
    h.Trigger("OpenExplorer");
    QCOMPARE(boxes.texts.size(), 2);
    QVERIFY(!boxes.texts.last().isEmpty());
    QVERIFY(boxes.texts.last() != boxes.texts.first());
  }

  void dragsStartAfterFivePixelsFromWhatMayBeDragged() {
    WindowHarness h;
    WriteLqd(h.data + "/TON_a.lqd", 2, 60, "a");
    h.Open();
    auto drag = [&](ItemListView* view, int row, int distance) {
      QSignalSpy started(view, &ItemListView::dragStarted);
      QWidget* viewport = view->CurrentView()->viewport();
      const QPoint pos = h.ItemCenter(view, row);
      QTest::mousePress(viewport, Qt::LeftButton, {}, pos);
      QTest::mouseMove(viewport, pos + QPoint(0, distance));
      QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos + QPoint(0, distance));
      return started.size() == 1 && started.first().first().toInt() == row;
    };
    QVERIFY(!drag(h.LocalFileView(), 0, 4));
    QVERIFY(drag(h.LocalFileView(), 0, 5));
    QCOMPARE(h.LocalFileView()->SelectedRow(), 0);
    QVERIFY(!drag(h.KbdFileView(), 2, 8));  // not connected yet
    h.GetList();
    QVERIFY(!drag(h.KbdFileView(), 2, 4));
    QVERIFY(drag(h.KbdFileView(), 2, 5));
    QCOMPARE(h.KbdFileView()->SelectedRow(), 2);
    h.SelectKbd({"Registration:\\"});
    QVERIFY(!drag(h.KbdFileView(), 0, 8));  // a folder
  }

  void dropsOnThePcListImport() {
    WindowHarness h;
    QVERIFY(QDir(h.data).mkpath("songs"));
    h.Open();
    h.GetList();
    h.SelectKbd({"Song Rhythm:\\", "Rhythm"}, 0);
    ItemListView* list = h.LocalFileView();
    QWidget* viewport = list->CurrentView()->viewport();
    bool entered = false;
    std::unique_ptr<QMimeData> other(FromControl("LocalFileView"));
    SendDrag(viewport, h.ItemCenter(list, 0), other.get(), entered, false);
    QVERIFY(!entered);
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(h.data)});
    SendDrag(viewport, h.ItemCenter(list, 0), &files, entered, false);
    QVERIFY(!entered);

    // Onto a folder item: the file goes into that folder, which opens.
    BoxCatcher boxes;
    std::unique_ptr<QMimeData> item(FromControl("KbdFileView"));
    SendDrag(viewport, h.ItemCenter(list, list->FindCaption("songs")), item.get(), entered);
    QVERIFY(entered);
    QTRY_COMPARE(FilesIn(h.data), QStringList({"songs/RHY_Bossa 2 .lqd"}));
    QCOMPARE(h.LocalDirView()->currentItem()->text(0), QStringLiteral("songs"));
    QCOMPARE(list->SelectedRow(), list->FindCaption("RHY_Bossa 2 .lqd"));
    QCOMPARE(boxes.texts, QStringList());
  }

  void dropsOnTheKeyboardListSend() {
    WindowHarness h;
    WriteLqd(h.data + "/TON_New.lqd", 2, 60, "New");
    QTemporaryDir desktop;
    WriteLqd(desktop.filePath("TON_Desk.lqd"), 2, 60, "Desk");
    h.Open();
    ItemListView* list = h.KbdFileView();
    QWidget* viewport = list->CurrentView()->viewport();
    std::unique_ptr<QMimeData> local(FromControl("LocalFileView"));
    bool entered = true;
    SendDrag(viewport, h.ItemCenter(list, 2), local.get(), entered, false);
    QVERIFY(!entered);  // not connected yet

    h.GetList();
    h.SelectLocalFile("TON_New.lqd");
    BoxCatcher boxes;
    SendDrag(viewport, h.ItemCenter(list, 2), local.get(), entered);
    QVERIFY(entered);
    QTRY_COMPARE(list->Caption(2), QStringLiteral("New     "));
    QCOMPARE(list->SelectedRow(), 2);

    // A data file from the desktop's file manager goes the same way.
    QMimeData desk;
    desk.setUrls({QUrl::fromLocalFile(desktop.filePath("TON_Desk.lqd"))});
    SendDrag(viewport, h.ItemCenter(list, 5), &desk, entered);
    QVERIFY(entered);
    QTRY_COMPARE(list->Caption(5), QStringLiteral("Desk    "));
    QCOMPARE(boxes.texts, QStringList());

    QMimeData text;
    text.setUrls({QUrl::fromLocalFile(h.settingsFile)});
    SendDrag(viewport, h.ItemCenter(list, 5), &text, entered, false);
    QVERIFY(!entered);
    // Several files go into the slot dropped on and the ones after it.
    QMimeData two;
    two.setUrls({QUrl::fromLocalFile(h.data + "/TON_New.lqd"),
                 QUrl::fromLocalFile(desktop.filePath("TON_Desk.lqd"))});
    SendDrag(viewport, h.ItemCenter(list, 7), &two, entered);
    QVERIFY(entered);
    QTRY_COMPARE(list->Caption(8), QStringLiteral("Desk    "));
    QCOMPARE(list->Caption(7), QStringLiteral("New     "));
    QCOMPARE(boxes.texts, QStringList());

    // Onto a folder item, and onto empty space.
    h.SelectKbd({"Registration:\\"});
    SendDrag(viewport, h.ItemCenter(list, 0), local.get(), entered);
    QTRY_COMPARE(boxes.texts, QStringList({Operate(5)}));
    h.SelectKbd({"Song Rhythm:\\", "Song"});
    SendDrag(viewport, viewport->rect().bottomRight() - QPoint(4, 4), local.get(), entered);
    QTRY_COMPARE(boxes.texts, QStringList({Operate(5), Operate(1)}));
    QCOMPARE(h.Status()->currentMessage(), QString());
  }

  // The window's whole-keyboard backup and restore are the tool's: the same
  // files byte for byte, and the same memory after a restore.
  void backupAndRestoreKeyboardEqualTheToolsOwn() {
    WindowHarness h;
    h.Open();
    const QString cliFolder = h.temp.filePath("cli");
    const QString cliMemory = h.temp.filePath("cli-memory.txt");
    const QString folder = h.temp.filePath("window");
    // Files from an earlier backup of a slot that is empty now go.
    BuiltInKeyboard::Keyboard().Clear({Kind::Rhythm, 0, 3});
    QVERIFY(BuiltInKeyboard::Keyboard().Save(QFile::encodeName(cliMemory).toStdString()));
    for (const QString& f : {folder, cliFolder}) {
      QVERIFY(QDir().mkpath(f));
      WriteLqd(f + "/rhythm-3.lqd", QnData::kTypeRhythm, 8, "Old");
    }
    QCOMPARE(Cli({"backup", cliFolder}, cliMemory), QString());

    BoxCatcher dialogs;
    QString picked = folder;
    dialogs.onDialog = [&](QDialog* dialog) {
      static_cast<TDirBrowseForm*>(dialog)->SetStartFolder(picked);
      dialog->findChild<QPushButton*>("OkBtn")->click();
    };
    QSignalSpy status(h.Status(), &QStatusBar::messageChanged);
    h.Trigger("BackupAction");
    QCOMPARE(dialogs.texts, QStringList());
    QCOMPARE(dialogs.dialogs, QStringList({"TDirBrowseForm"}));
    const QStringList files = FilesIn(cliFolder);
    QVERIFY(files.size() > 10);
    QVERIFY(!files.contains("rhythm-3.lqd"));
    QCOMPARE(FilesIn(folder), files);
    for (const QString& name : files)
      QCOMPARE(Bytes(folder + "/" + name), Bytes(cliFolder + "/" + name));
    // One step for each data file; the marker is none.
    const int items = static_cast<int>(files.filter(QStringLiteral(".lqd")).size());
    const QString last = Text(msg.StatusText(2)) + ' ' +
                         Text(msg.WordText(MsgStr::kWordOfCount)).arg(items).arg(items);
    QVERIFY(std::any_of(status.begin(), status.end(),
                        [&](const QList<QVariant>& m) { return m[0].toString() == last; }));
    QCOMPARE(h.Status()->currentMessage(), QString());

    // Both keyboards changed alike, then each restored from the other's folder.
    BuiltInKeyboard::Keyboard().Clear({Kind::Song, 0, 0});
    BuiltInKeyboard::Keyboard().Clear({Kind::Rhythm, 0, 1});
    BuiltInKeyboard::Keyboard().SetItem({Kind::Tone, 0, 1},
                                        BuiltInKeyboard::Keyboard().Item({Kind::Tone, 0, 0}));
    QVERIFY(BuiltInKeyboard::Keyboard().Save(QFile::encodeName(cliMemory).toStdString()));
    QCOMPARE(Cli({"restore", folder}, cliMemory), QString());
    // The restore asks first, naming how many items it replaces and when
    // the backup was made; No leaves the keyboard as it is.
    picked = cliFolder;
    QDateTime made;
    for (const QString& name : files.filter(QStringLiteral(".lqd")))
      made = std::max(made, QFileInfo(cliFolder + "/" + name).lastModified());
    const QString question = Text(msg.WordText(MsgStr::kWordRestoreQuestion))
                                 .arg(items)
                                 .arg(QLocale().toString(made, QLocale::ShortFormat));
    const QString before = h.temp.filePath("before-memory.txt");
    QVERIFY(BuiltInKeyboard::Keyboard().Save(QFile::encodeName(before).toStdString()));
    dialogs.answer = QMessageBox::No;
    h.Trigger("RestoreAction");
    QCOMPARE(dialogs.texts, QStringList({question}));
    const QString memory = h.temp.filePath("window-memory.txt");
    QVERIFY(BuiltInKeyboard::Keyboard().Save(QFile::encodeName(memory).toStdString()));
    QCOMPARE(Bytes(memory), Bytes(before));
    dialogs.answer = QMessageBox::Yes;
    h.Trigger("RestoreAction");
    QCOMPARE(dialogs.texts, QStringList({question, question}));
    dialogs.texts.clear();
    // The list is read anew and shows the restored tone.
    QCOMPARE(h.KbdFileView()->Caption(1), QStringLiteral("E.Piano "));
    QVERIFY(BuiltInKeyboard::Keyboard().Save(QFile::encodeName(memory).toStdString()));
    QCOMPARE(Bytes(memory), Bytes(cliMemory));
    QVERIFY(!BuiltInKeyboard::Keyboard().Item({Kind::Song, 0, 0}).empty());

    // A folder without backup files changes nothing and says so, without
    // asking first.
    picked = h.data;
    h.Trigger("RestoreAction");
    QCOMPARE(dialogs.texts, QStringList({Text(msg.StreamText(4)) + "\n\n" + h.data + "/"}));
    QVERIFY(BuiltInKeyboard::Keyboard().Save(QFile::encodeName(memory).toStdString()));
    QCOMPARE(Bytes(memory), Bytes(cliMemory));
  }
};

QTEST_MAIN(TPcLinkFormCommandsTest)
#include "TPcLinkFormCommandsTest.moc"
