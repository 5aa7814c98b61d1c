#include <gtest/gtest.h>

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

}  // namespace
