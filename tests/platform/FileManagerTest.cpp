#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/FileManager.h"

namespace {

TEST(FileManager, ReportsTheSystemsTextWhenItCannotStart) {
  QTemporaryDir dir;
  EXPECT_FALSE(
      FileManager(QStringLiteral("ravlin-no-such-file-manager")).Open(dir.path()).isEmpty());
  // A folder that is gone is reported before any file manager shows some other one.
  EXPECT_FALSE(FileManager(QStringLiteral("true")).Open(dir.filePath("gone")).isEmpty());
  EXPECT_TRUE(FileManager(QStringLiteral("true")).Open(dir.path()).isEmpty());
}

#ifndef Q_OS_WIN
TEST(FileManager, ReportsAnOpenerThatEndsWithAFailure) {
  QTemporaryDir dir;
  // As xdg-open ends when no file manager takes the folder.
  const QString opener = dir.filePath("opener");
  QFile script(opener);
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write("#!/bin/sh\necho \"no method available for opening '$1'\" >&2\nexit 3\n");
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  EXPECT_EQ(FileManager(opener).Open(dir.path()),
            QStringLiteral("no method available for opening '%1'").arg(dir.path()));
  // Silent failures still say which program failed and how.
  EXPECT_EQ(FileManager(QStringLiteral("false")).Open(dir.path()), QStringLiteral("false: 1"));
}
#endif

}  // namespace
