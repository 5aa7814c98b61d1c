#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/SingleInstance.h"

namespace {

// Starts the lock holder on `folder` and returns once it has said what it got.
QString StartHolder(QProcess& holder, const QString& folder, bool hold) {
  QStringList args{folder};
  if (hold) args << QStringLiteral("hold");
  holder.start(QStringLiteral(RAVLIN_LOCK_HOLDER), args);
  if (!holder.waitForStarted(10000)) return QStringLiteral("not started");
  while (!holder.canReadLine())
    if (!holder.waitForReadyRead(10000)) return QStringLiteral("silent");
  return QString::fromLocal8Bit(holder.readLine()).trimmed();
}

TEST(SingleInstance, SecondCopyIsRefusedWhileTheFirstRuns) {
  QTemporaryDir dir;
  QProcess first;
  ASSERT_EQ(StartHolder(first, dir.path(), true), "first");

  QProcess second;
  EXPECT_EQ(StartHolder(second, dir.path(), false), "running");
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 1);

  SingleInstance here(QStringLiteral("Ravlin"), dir.path());
  EXPECT_EQ(here.Acquire(), SingleInstance::State::Running);

  first.closeWriteChannel();  // a normal end releases the lock
  ASSERT_TRUE(first.waitForFinished(10000));
  EXPECT_EQ(first.exitCode(), 0);
  EXPECT_FALSE(QFileInfo::exists(here.LockPath()));
  EXPECT_EQ(here.Acquire(), SingleInstance::State::First);
}

TEST(SingleInstance, LockOfACrashedCopyIsTakenOver) {
  QTemporaryDir dir;
  QProcess crashed;
  ASSERT_EQ(StartHolder(crashed, dir.path(), true), "first");
  crashed.kill();
  ASSERT_TRUE(crashed.waitForFinished(10000));
  ASSERT_EQ(crashed.exitStatus(), QProcess::CrashExit);

  SingleInstance next(QStringLiteral("Ravlin"), dir.path());
  ASSERT_TRUE(QFileInfo::exists(next.LockPath()));  // left behind
  EXPECT_EQ(next.Acquire(), SingleInstance::State::First);

  QProcess third;
  EXPECT_EQ(StartHolder(third, dir.path(), false), "running");
  third.waitForFinished(10000);
}

TEST(SingleInstance, LockTheUserCannotWriteFails) {
  QTemporaryDir dir;
  QFile blocker(dir.filePath(QStringLiteral("file")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  SingleInstance instance(QStringLiteral("Ravlin"), blocker.fileName());
  EXPECT_EQ(instance.Acquire(), SingleInstance::State::Failed);
  EXPECT_FALSE(instance.ErrorText().isEmpty());
}

}  // namespace
