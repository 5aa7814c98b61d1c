#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <optional>

#include "platform/SingleInstance.h"
#ifdef RAVLIN_HAS_CHANNEL
#include <QLocalSocket>

#include "platform/InstanceChannel.h"
#endif

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

#ifdef RAVLIN_HAS_CHANNEL

// The running copy's channel, on its own clock, and clients that connect to
// it as anything on the machine could.
class InstanceChannelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
  }

  void SetUp() override {
    channel_.SetClock([this] { return now_; });
    ASSERT_TRUE(channel_.Listen([this](const QString& path) { taken_.push_back(path); }));
  }

  // Runs the event loop until `done` holds; false after ten seconds.
  static bool Until(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10000);
    while (!done()) {
      if (deadline.hasExpired()) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
  }

  QTemporaryDir dir_;
  std::chrono::steady_clock::time_point now_{};
  InstanceChannel channel_{QStringLiteral("Ravlin"), dir_.path()};
  std::vector<QString> taken_;
};

TEST_F(InstanceChannelTest, TakesOneAbsolutePathAndCutsOffAnythingElse) {
  const QByteArray longest = "/" + QByteArray(InstanceChannel::kMaxLine - 2, 'a') + "\n";
  const std::vector<std::pair<QByteArray, std::optional<QString>>> cases = {
      {"/music/a.lqd\n", "/music/a.lqd"}, {longest, QString::fromLatin1(longest.chopped(1))},
      {"music/a.lqd\n", std::nullopt},    {"\n", std::nullopt},
      {"/" + longest, std::nullopt},      {"/" + QByteArray(1 << 20, 'a'), std::nullopt},
  };
  for (const auto& [line, path] : cases) {
    SCOPED_TRACE(line.left(40).toStdString());
    taken_.clear();
    QLocalSocket client;
    QByteArray reply;
    QObject::connect(&client, &QLocalSocket::readyRead, [&] { reply += client.readAll(); });
    client.connectToServer(channel_.SocketPath());
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(line);
    ASSERT_TRUE(Until([&] { return client.state() == QLocalSocket::UnconnectedState; }));
    reply += client.readAll();
    if (path) {
      EXPECT_EQ(reply, "taken\n");
      EXPECT_EQ(taken_, std::vector<QString>{*path});
    } else {
      EXPECT_EQ(reply, "");
      EXPECT_TRUE(taken_.empty());
    }
  }
}

TEST_F(InstanceChannelTest, SilentConnectionIsCutOffAfterFiveSeconds) {
  // The channel takes connections in order: once it has taken the probe's
  // path, it holds the silent one.
  QLocalSocket silent;
  QLocalSocket probe;
  for (QLocalSocket* socket : {&silent, &probe}) {
    socket->connectToServer(channel_.SocketPath());
    ASSERT_TRUE(socket->waitForConnected(5000));
  }
  probe.write("/probe\n");
  ASSERT_TRUE(Until([&] { return !taken_.empty(); }));
  now_ += InstanceChannel::kIdleLimit - std::chrono::milliseconds(1);
  channel_.CloseSilent();
  QCoreApplication::processEvents();
  EXPECT_EQ(silent.state(), QLocalSocket::ConnectedState);

  now_ += std::chrono::milliseconds(1);
  channel_.CloseSilent();
  EXPECT_TRUE(Until([&] { return silent.state() == QLocalSocket::UnconnectedState; }));
  EXPECT_EQ(taken_, std::vector<QString>{"/probe"});
}

#endif

}  // namespace
