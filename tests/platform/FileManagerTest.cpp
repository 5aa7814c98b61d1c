#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include "platform/FileManager.h"

namespace {

TEST(FileManager, ReportsTheSystemsTextWhenItCannotStart) {
  QTemporaryDir dir;
  EXPECT_FALSE(
      FileManager({QStringLiteral("ravlin-no-such-file-manager")}).Open(dir.path()).isEmpty());
  // A folder that is gone is reported before any file manager shows some other one.
  EXPECT_FALSE(FileManager({QStringLiteral("true")}).Open(dir.filePath("gone")).isEmpty());
  EXPECT_TRUE(FileManager({QStringLiteral("true")}).Open(dir.path()).isEmpty());
}

#ifndef Q_OS_WIN
QString Script(const QTemporaryDir& dir, const char* name, const QByteArray& body) {
  const QString path = dir.filePath(name);
  QFile script(path);
  script.open(QIODevice::WriteOnly);
  script.write("#!/bin/sh\n" + body);
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  return path;
}

TEST(FileManager, ReportsTheLastLineOfAFileManagerThatEndsWithAFailure) {
  QTemporaryDir dir;
  const QString failing =
      Script(dir, "failing", "echo 'usage: ...' >&2\necho \"cannot open '$1'\" >&2\nexit 3\n");
  EXPECT_EQ(FileManager({failing}).Open(dir.path()),
            QStringLiteral("cannot open '%1'").arg(dir.path()));
  // Silent failures still say which program failed and how.
  EXPECT_EQ(FileManager({QStringLiteral("false")}).Open(dir.path()), QStringLiteral("false: 1"));
}

#if !defined(Q_OS_MACOS)
// Only the program the desktop's MIME associations register for folders
// opens one, with the folder for the field code of its command line; with
// none registered there is none, whatever else would take a path.
TEST(FileManager, OpensFoldersWithTheProgramRegisteredForThem) {
  QTemporaryDir dir;
  for (const char* variable :
       {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"})
    qputenv(variable, dir.filePath(variable).toLocal8Bit());
  for (const char* variable : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION"})
    qunsetenv(variable);
  EXPECT_EQ(FileManager::DefaultCommand(), QStringList());
  EXPECT_FALSE(FileManager().HasProgram());

  const QString said = dir.filePath("said");
  const QString files = Script(
      dir, "files", "for a in \"$@\"; do echo \"$a\"; done > '" + said.toLocal8Bit() + "'\n");
  ASSERT_TRUE(QDir().mkpath(dir.filePath("XDG_DATA_HOME/applications")));
  QFile entry(dir.filePath("XDG_DATA_HOME/applications/ravlin-files.desktop"));
  entry.open(QIODevice::WriteOnly);
  entry.write("[Desktop Entry]\nType=Application\nName=Files\nExec=" + files.toLocal8Bit() +
              " --new-window %U %i\n[Desktop Action Other]\nExec=other %U\n");
  entry.close();
  ASSERT_TRUE(QDir().mkpath(dir.filePath("XDG_CONFIG_HOME")));
  QFile associations(dir.filePath("XDG_CONFIG_HOME/mimeapps.list"));
  associations.open(QIODevice::WriteOnly);
  associations.write("[Default Applications]\ninode/directory=ravlin-files.desktop;\n");
  associations.close();

  EXPECT_EQ(FileManager::DefaultCommand(),
            QStringList({files, QStringLiteral("--new-window"), QStringLiteral("%U"),
                         QStringLiteral("%i")}));
  EXPECT_EQ(FileManager().Open(dir.path()), QString());
  QFile arguments(said);
  ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromLocal8Bit(arguments.readAll()),
            "--new-window\n" + QUrl::fromLocalFile(dir.path()).toString() + "\n");
}
#endif
#endif

}  // namespace
