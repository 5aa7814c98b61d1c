#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "ModalDialog.h"
#include "app/QtMidiDriver.h"
#include "dialogs/TDirBrowseForm.h"
#include "dialogs/TPrefForm.h"
#include "platform/midi/BuiltInMidiService.h"
#include "platform/midi/MidiSystem.h"
#include "protocol/MsgStr.h"
#include "sim/Trv408.h"

namespace {

QComboBox* Box(TPrefForm* form, const char* name) { return form->findChild<QComboBox*>(name); }
QLineEdit* FolderEdit(TPrefForm* form) { return form->findChild<QLineEdit*>("DefDirEdit"); }
void Click(QWidget* form, const char* button) { form->findChild<QPushButton*>(button)->click(); }

// A second keyboard simulator whose open ports are counted.
class CountedPorts : public MidiService {
 public:
  BuiltInMidiService keyboard;
  int open = 0;

  std::vector<std::string> InputNames() override { return keyboard.InputNames(); }
  std::vector<std::string> OutputNames() override { return keyboard.OutputNames(); }
  MidiResult OpenIn(unsigned device, MidiReceiver receiver,
                    std::unique_ptr<MidiInPort>& port) override {
    auto in = std::make_unique<In>(open);
    const MidiResult result = keyboard.OpenIn(device, std::move(receiver), in->port);
    if (in->port) port = std::move(in);
    return result;
  }
  MidiResult OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) override {
    auto out = std::make_unique<Out>(open);
    const MidiResult result = keyboard.OpenOut(device, out->port);
    if (out->port) port = std::move(out);
    return result;
  }

 private:
  struct Counted {
    explicit Counted(int& open) : open_(open) { ++open_; }
    ~Counted() { --open_; }
    int& open_;
  };
  struct In : MidiInPort, Counted {
    using Counted::Counted;
    std::unique_ptr<MidiInPort> port;
  };
  struct Out : MidiOutPort, Counted {
    using Counted::Counted;
    MidiResult Send(const uint8_t* data, size_t size, std::function<void()> sent) override {
      return port->Send(data, size, std::move(sent));
    }
    std::unique_ptr<MidiOutPort> port;
  };
};

}  // namespace

class PrefFormTest : public QObject {
  Q_OBJECT

  // A second port before the built-in one, so that the first and the last
  // item of each list differ.
  CountedPorts other_;
  QtMidiDriver driver_;

 private slots:
  void initTestCase() { MidiSystem::Instance().UseSystemService(&other_); }
  void cleanupTestCase() { MidiSystem::Instance().UseSystemService(nullptr); }

  // Detect names the ports that answered; where none did, the chosen ports
  // stay and the dialog says so. Closed while it asks, the dialog lets go of
  // the ports at once.
  void DetectChoosesThePortsTheKeyboardAnswersOn() {
    TPrefForm form(driver_);
    form.SetInputDevice(1);
    form.SetOutputDevice(1);
    Click(&form, "DetectBtn");
    // The dialog stays live while the ports are asked: its lists take a
    // choice, which the answer then overrides.
    QVERIFY(!form.findChild<QPushButton*>("DetectBtn")->isEnabled());
    Box(&form, "MidiOutDevBox")->setCurrentIndex(1);
    QTRY_VERIFY(form.findChild<QPushButton*>("DetectBtn")->isEnabled());
    QCOMPARE(Box(&form, "MidiInDevBox")->currentIndex(), 0);
    QCOMPARE(Box(&form, "MidiOutDevBox")->currentIndex(), 0);
    QCOMPARE(form.findChild<QLabel*>("DetectLbl")->text(),
             QString::fromStdString(MsgStr().WordText(MsgStr::kWordAnsweredOn))
                 .arg(MidiSystem::kBuiltInName));

    other_.keyboard.Keyboard().SetFault(sim::Fault::NoAnswer, 0);
    form.SetInputDevice(1);
    Click(&form, "DetectBtn");
    QTRY_VERIFY(form.findChild<QPushButton*>("DetectBtn")->isEnabled());
    QCOMPARE(Box(&form, "MidiInDevBox")->currentIndex(), 1);
    QCOMPARE(form.findChild<QLabel*>("DetectLbl")->text(),
             QString::fromStdString(MsgStr().WordText(MsgStr::kWordPortsStay)));

    QCOMPARE(other_.open, 0);
    Click(&form, "DetectBtn");
    QCOMPARE(other_.open, 2);
    Click(&form, "CancelBtn");
    QCOMPARE(other_.open, 0);
    QVERIFY(form.findChild<QPushButton*>("DetectBtn")->isEnabled());
    QCOMPARE(form.findChild<QLabel*>("DetectLbl")->text(), QString());
    other_.keyboard.Keyboard().SetFault(sim::Fault::None);
  }

  void ListsTheMidiServicesPortsBuiltInLast() {
    TPrefForm form(driver_);
    MidiSystem& midi = MidiSystem::Instance();
    const auto inputs = midi.InputNames();
    const auto outputs = midi.OutputNames();
    QCOMPARE(Box(&form, "MidiInDevBox")->count(), static_cast<int>(inputs.size()));
    QCOMPARE(Box(&form, "MidiOutDevBox")->count(), static_cast<int>(outputs.size()));
    QCOMPARE(Box(&form, "MidiInDevBox")->itemText(static_cast<int>(midi.BuiltInInput())),
             MidiSystem::kBuiltInName);
    QCOMPARE(Box(&form, "MidiOutDevBox")->itemText(static_cast<int>(outputs.size() - 1)),
             MidiSystem::kBuiltInName);
    QCOMPARE(form.findChild<QTabWidget*>("PageControl1")->currentWidget()->objectName(), "MidiTab");
  }

  void OkTakesTheSelectionANumberBeyondTheListGivesNone() {
    TPrefForm form(driver_);
    const int last = Box(&form, "MidiInDevBox")->count() - 1;
    form.SetInputDevice(last);
    form.SetOutputDevice(999);
    form.SetDefaultFolder("/data");
    QCOMPARE(Box(&form, "MidiInDevBox")->currentIndex(), last);
    QCOMPARE(Box(&form, "MidiOutDevBox")->currentIndex(), -1);
    OnModal<TPrefForm>([](TPrefForm* f) {
      FolderEdit(f)->setText("/typed");
      Click(f, "OkBtn");
    });
    QCOMPARE(form.exec(), int(QDialog::Accepted));
    QCOMPARE(form.InputDevice(), last);
    QCOMPARE(form.OutputDevice(), -1);
    QCOMPARE(form.DefaultFolder(), "/typed");
  }

  void CancelPutsBackWhatWasHandedIn() {
    TPrefForm form(driver_);
    const int last = Box(&form, "MidiOutDevBox")->count() - 1;
    form.SetInputDevice(0);
    form.SetOutputDevice(last);
    form.SetDefaultFolder("/music/");
    for (const char* how : {"CancelBtn", "Escape"}) {
      OnModal<TPrefForm>([how](TPrefForm* f) {
        Box(f, "MidiInDevBox")->setCurrentIndex(-1);
        Box(f, "MidiOutDevBox")->setCurrentIndex(0);
        FolderEdit(f)->setText("/elsewhere/");
        if (QByteArray(how) == "Escape")
          QTest::keyClick(f, Qt::Key_Escape);
        else
          Click(f, how);
      });
      QCOMPARE(form.exec(), int(QDialog::Rejected));
      QCOMPARE(form.InputDevice(), 0);
      QCOMPARE(form.OutputDevice(), last);
      QCOMPARE(form.DefaultFolder(), "/music/");
      // Shown again, the dialog shows the values it was given.
      QCOMPARE(Box(&form, "MidiInDevBox")->currentIndex(), 0);
      QCOMPARE(Box(&form, "MidiOutDevBox")->currentIndex(), last);
      QCOMPARE(FolderEdit(&form)->text(), "/music/");
    }
  }

  void BrowseTakesThePickersFolder() {
    QTemporaryDir dir;
    const QString start = QDir(dir.path()).canonicalPath();
    QVERIFY(QDir(start).mkdir("Songs"));
    TPrefForm form(driver_);
    form.SetDefaultFolder(start);

    // OK in the picker without moving: the folder with a separator.
    OnModal<TPrefForm>([](TPrefForm* f) {
      OnModal<TDirBrowseForm>([](TDirBrowseForm* picker) { Click(picker, "OkBtn"); });
      Click(f, "DirBrowseBtn");
      QTimer::singleShot(0, f, [f] { Click(f, "OkBtn"); });
    });
    QCOMPARE(form.exec(), int(QDialog::Accepted));
    QCOMPARE(form.DefaultFolder(), start + QDir::separator());

    // Cancel in the picker leaves the text as it was.
    form.SetDefaultFolder(start + "/Songs");
    OnModal<TPrefForm>([](TPrefForm* f) {
      OnModal<TDirBrowseForm>([](TDirBrowseForm* picker) { Click(picker, "CancelBtn"); });
      Click(f, "DirBrowseBtn");
      QTimer::singleShot(0, f, [f] { Click(f, "OkBtn"); });
    });
    QCOMPARE(form.exec(), int(QDialog::Accepted));
    QCOMPARE(form.DefaultFolder(), start + "/Songs");
  }
};

QTEST_MAIN(PrefFormTest)
#include "PrefFormTest.moc"
