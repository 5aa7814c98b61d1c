#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/ShellInfo.h"

class ShellInfoTest : public QObject {
  Q_OBJECT

 private slots:
  void NamesAndIconsFilesAndFolders() {
    QTemporaryDir dir;
    const auto make = [&](const char* name) {
      QFile file(dir.filePath(name));
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("VARDO Music Lib");  // the content never decides the type
    };
    make("TON_Piano.lqd");
    make("notes.txt");
    make("DATA0001");
    ShellInfo shell;
    const bool japanese = QLocale().language() == QLocale::Japanese;

    const QFileInfo lqd(dir.filePath("TON_Piano.lqd"));
    QCOMPARE(shell.TypeName(lqd), japanese ? QStringLiteral("LQD ファイル") : "LQD File");
    QCOMPARE(shell.TypeName(QFileInfo(dir.filePath("DATA0001"))),
             japanese ? QStringLiteral("ファイル") : "File");
    const QString text = shell.TypeName(QFileInfo(dir.filePath("notes.txt")));
    QVERIFY(!text.isEmpty() && !text.contains("TXT"));
    QVERIFY(!shell.TypeName(QFileInfo(dir.path())).isEmpty());

    QVERIFY(!shell.Icon(lqd).isNull());
    QVERIFY(!shell.Icon(QFileInfo(dir.path())).isNull());
    QVERIFY(!shell.Icon(QFileInfo("/")).isNull());
    QVERIFY(!shell.DriveIcon().isNull());
  }
};

QTEST_MAIN(ShellInfoTest)
#include "ShellInfoTest.moc"
