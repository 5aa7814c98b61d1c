#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <iterator>
#include <vector>

#include "ModalDialog.h"
#include "dialogs/TKbdDrivePropertyForm.h"
#include "dialogs/TQnDataPropertyForm.h"
#include "files/LqdFileStream.h"
#include "files/QnDataFile.h"
#include "protocol/MsgStr.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A Tone data file as the keyboard's librarian writes it: the header, then
// 60 bytes with the data name at 36 (words high byte first).
Bytes ToneFile(const std::string& name) {
  Bytes file = {'V', 'A', 'R', 'D', 'O', ' ', 'M', 'u', 's', 'i', 'c', ' ',
                'L', 'i', 'b', 0,   0,   0,   0,   60,  0,   0,   0,   2};
  file.resize(64, 0);
  for (int i = 0; i < 60; ++i) file.push_back(static_cast<uint8_t>(i * 7 + 1));
  std::copy(name.begin(), name.end(), file.begin() + 64 + 36);
  return file;
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

QString Text(const QWidget* form, const char* label) {
  return form->findChild<QLabel*>(label)->text();
}

// A size as the dialogs show it in the user's language.
QString SizeText(int bytes) {
  return MsgStr::LocaleLanguage() == MsgStr::Language::Japanese
             ? QStringLiteral("%1 バイト").arg(bytes)
             : QStringLiteral("%1byte(s)").arg(bytes);
}

}  // namespace

class PropertyFormTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTypeAndSize() {
    TQnDataPropertyForm form;
    form.SetDataType(12);
    form.SetDataSize(176);
    QCOMPARE(Text(&form, "TypeLbl"), "Regstration");
    QCOMPARE(Text(&form, "SizeLbl"), SizeText(176));
    form.SetDataType(0x1234);
    QCOMPARE(Text(&form, "TypeLbl"), "");
    const QStringList words{"Tone", "DSP", "Song", "Rhythm"};
    const uint16_t codes[] = {2, 9, 10, 11};
    for (int i = 0; i < 4; ++i) {
      form.SetDataType(codes[i]);
      QCOMPARE(Text(&form, "TypeLbl"), words[i]);
    }
  }

  void NameFieldKeepsBlankToBraceAndKatakana() {
    TQnDataPropertyForm form;
    auto* edit = form.findChild<QLineEdit*>("NameEdit");
    form.show();
    QTest::keyClicks(edit, "ab~c");
    QCOMPARE(edit->text(), "ab_c");
    QCOMPARE(edit->cursorPosition(), 4);

    // Pasted text: one "_" per byte from 128 up, within the 8 characters.
    edit->clear();
    edit->insert(QStringLiteral("a\u00e9\u65e5b"));  // 2 and 3 bytes in UTF-8
    QCOMPARE(edit->text(), "a_____b");
    edit->clear();
    edit->insert(QStringLiteral("\u65e5\u672c\u8a9e"));
    QCOMPARE(edit->text(), "________");
    edit->clear();
    edit->insert(QStringLiteral(" !}\x7f\t|{"));
    QCOMPARE(edit->text(), " !}__|{");
    QCOMPARE(form.DataName(), " !}__|{");

    // Typing in the middle leaves the caret after the replaced character.
    edit->setText("ABCD");
    edit->setCursorPosition(2);
    QTest::keyClicks(edit, "~");
    QCOMPARE(edit->text(), "AB_CD");
    QCOMPARE(edit->cursorPosition(), 3);

    // A name from an entry: up to its first NUL, half-width katakana as they
    // are, a byte with no character one "_"; the katakana keep their bytes.
    form.SetDataName(
        std::string("AB\xA5\xE0"
                    "C\0XY",
                    8));
    QCOMPARE(edit->text(), QStringLiteral("AB\uFF65_C"));
    QCOMPARE(form.DataName(), "AB\xA5_C");
    form.SetDataName("PIANO   ");
    QCOMPARE(form.DataName(), "PIANO   ");
  }

  void AcceptedOnlyWithANonEmptyName() {
    struct Case {
      const char* name;
      std::function<void(TQnDataPropertyForm*)> act;
      bool accepted;
    };
    auto* ok = +[](TQnDataPropertyForm* f) { f->findChild<QPushButton*>("OkBtn")->click(); };
    const std::vector<Case> cases = {
        {"OK", ok, true},
        {"Enter",
         [](TQnDataPropertyForm* f) {
           QTest::keyClick(f->findChild<QLineEdit*>("NameEdit"), Qt::Key_Return);
         },
         true},
        {"OK with the name cleared",
         [ok](TQnDataPropertyForm* f) {
           f->findChild<QLineEdit*>("NameEdit")->clear();
           ok(f);
         },
         false},
        {"Cancel", [](TQnDataPropertyForm* f) { f->findChild<QPushButton*>("CancelBtn")->click(); },
         false},
        {"Escape after an edit",
         [](TQnDataPropertyForm* f) {
           auto* edit = f->findChild<QLineEdit*>("NameEdit");
           QTest::keyClicks(edit, "X");
           QTest::keyClick(edit, Qt::Key_Escape);
         },
         false},
    };
    for (const Case& c : cases) {
      TQnDataPropertyForm form;
      form.SetDataName("PIANO   ");
      bool closed = false;
      OnModal<TQnDataPropertyForm>([&](TQnDataPropertyForm* f) {
        c.act(f);
        closed = !f->isVisible();
      });
      QCOMPARE(form.Execute(), c.accepted);
      QVERIFY2(closed, c.name);
    }

    // A keyboard item: the name is hidden but held, so OK accepts.
    TQnDataPropertyForm form;
    form.ShowNameField(false);
    form.SetDataName("DRUMS   ");
    OnModal<TQnDataPropertyForm>(ok);
    QVERIFY(form.Execute());
    QVERIFY(form.findChild<QLineEdit*>("NameEdit")->isHidden());
    QVERIFY(form.findChild<QLabel*>("NameLbl")->isHidden());
  }

  void RenameRewritesTheFileThroughTheFileLayer() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("TON_Piano.lqd").toStdString();
    const Bytes before = ToneFile("PIANO   ");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(before.data()),
               static_cast<std::streamsize>(before.size()));

    // What the property command does with the dialog.
    QnDataFile entry;
    {
      LqdFileStream in(path, LqdFileStream::OpenRead);
      entry.SetSize(static_cast<uint32_t>(in.DataLength()));
      in.Read(entry);
    }
    TQnDataPropertyForm form;
    form.SetFileName("TON_Piano.lqd");
    form.SetLocation(dir.path() + "/");
    form.SetDataType(entry.Type());
    form.SetDataSize(entry.Size());
    form.SetDataName(entry.Name());
    QCOMPARE(Text(&form, "SizeLbl"), SizeText(60));
    OnModal<TQnDataPropertyForm>([](TQnDataPropertyForm* f) {
      auto* edit = f->findChild<QLineEdit*>("NameEdit");
      edit->selectAll();
      QTest::keyClicks(edit, "E.Pno~2");
      f->findChild<QPushButton*>("OkBtn")->click();
    });
    QVERIFY(form.Execute());
    entry.StoreDataName(form.DataName());
    {
      LqdFileStream out(path, LqdFileStream::Create);
      out.Write(entry);
      out.Commit();
    }

    Bytes expected = before;
    const std::string stored = "E.Pno_2 ";
    std::copy(stored.begin(), stored.end(), expected.begin() + 64 + 36);
    QCOMPARE(ReadAll(path), expected);

    QnDataFile again;
    LqdFileStream in(path, LqdFileStream::OpenRead);
    again.SetSize(static_cast<uint32_t>(in.DataLength()));
    in.Read(again);
    QCOMPARE(again.Name(), stored);
  }

  void DriveFormShowsBytes() {
    TKbdDrivePropertyForm form;
    form.ShowDriveName("Song Rhythm:");
    form.ShowUsed(1000);
    form.ShowFree(20504);
    form.ShowCapacity(21504);
    QCOMPARE(Text(&form, "DrvNameLbl"), "Song Rhythm:");
    QCOMPARE(Text(&form, "UsedLbl"), SizeText(1000));
    QCOMPARE(Text(&form, "FreeLbl"), SizeText(20504));
    QCOMPARE(Text(&form, "CapacityLbl"), SizeText(21504));
    QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);
    OnModal<TKbdDrivePropertyForm>(
        [](TKbdDrivePropertyForm* f) { f->findChild<QPushButton*>("BitBtn1")->click(); });
    form.exec();
  }
};

QTEST_MAIN(PropertyFormTest)
#include "PropertyFormTest.moc"
