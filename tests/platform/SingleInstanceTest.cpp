#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iterator>
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

// A connection has five seconds for its whole line, however often it sends a
// byte of it.
TEST_F(InstanceChannelTest, ALineMustComeWholeWithinFiveSeconds) {
  // The channel takes connections in order: once it has taken the probe's
  // path, it holds the slow one.
  QLocalSocket slow;
  QLocalSocket probe;
  for (QLocalSocket* socket : {&slow, &probe}) {
    socket->connectToServer(channel_.SocketPath());
    ASSERT_TRUE(socket->waitForConnected(5000));
  }
  probe.write("/probe\n");
  ASSERT_TRUE(Until([&] { return !taken_.empty(); }));
  for (const auto step : {std::chrono::milliseconds(4000), std::chrono::milliseconds(999)}) {
    now_ += step;
    slow.write("/");
    slow.flush();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    channel_.CloseLate();
    QCoreApplication::processEvents();
    ASSERT_EQ(slow.state(), QLocalSocket::ConnectedState);
  }
  now_ += std::chrono::milliseconds(1);
  channel_.CloseLate();
  EXPECT_TRUE(Until([&] { return slow.state() == QLocalSocket::UnconnectedState; }));
  EXPECT_EQ(taken_, std::vector<QString>{"/probe"});
}

// Connections made by another process as fast as it can, first beyond what
// the channel holds, then beyond the files the program may open: the channel
// cuts off those beyond kMaxConnections at once, and takes a path afterwards.
TEST_F(InstanceChannelTest, AFloodOfConnectionsLeavesTheChannelListening) {
  constexpr int kFlood = 200;
  rlimit original{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
  const auto openFiles = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
  };
  const QByteArray socketPath = QFile::encodeName(channel_.SocketPath());
  for (const int spare : {static_cast<int>(InstanceChannel::kMaxConnections) + 16, 8}) {
    SCOPED_TRACE(spare);
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    rlimit lowered = original;
    lowered.rlim_cur = static_cast<rlim_t>(openFiles() + spare);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      // Only what is safe after a fork: no Qt, no allocation.
      ::setrlimit(RLIMIT_NOFILE, &original);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::strncpy(address.sun_path, socketPath.constData(), sizeof(address.sun_path) - 1);
      pollfd held[kFlood];
      int counts[2] = {0, 0};  // cut off, refused
      for (pollfd& connection : held) {
        connection = {::socket(AF_UNIX, SOCK_STREAM, 0), POLLIN, 0};
        if (::connect(connection.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
          ::close(connection.fd);
          connection.fd = -1;
          ++counts[1];
        }
      }
      // Waits until all but the held ones are cut off, for at most three
      // seconds; poll returns at once while any is.
      timespec start{};
      timespec now{};
      ::clock_gettime(CLOCK_MONOTONIC, &start);
      do {
        counts[0] = 0;
        ::poll(held, kFlood, 100);
        for (const pollfd& connection : held) {
          if (connection.fd >= 0 && connection.revents != 0) ++counts[0];
        }
        ::clock_gettime(CLOCK_MONOTONIC, &now);
      } while (counts[0] + counts[1] <
                   kFlood - static_cast<int>(InstanceChannel::kMaxConnections) &&
               now.tv_sec - start.tv_sec < 3);
      (void)!::write(report[1], counts, sizeof counts);
      ::_exit(0);
    }
    ::close(report[1]);
    int counts[2] = {-1, -1};
    pollfd done{report[0], POLLIN, 0};
    // A channel that stopped taking connections leaves the other process
    // waiting in its connect.
    if (!Until([&] { return ::poll(&done, 1, 0) > 0; })) {
      ADD_FAILURE() << "the flood was not taken";
      ::kill(child, SIGKILL);
    }
    EXPECT_EQ(::read(report[0], counts, sizeof counts), static_cast<ssize_t>(sizeof counts));
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_GE(counts[0], kFlood - static_cast<int>(InstanceChannel::kMaxConnections));
    EXPECT_EQ(counts[1], 0);

    // The held connections are gone with the other process.
    taken_.clear();
    EXPECT_TRUE(Until([&] {
      QLocalSocket probe;
      probe.connectToServer(channel_.SocketPath());
      if (!probe.waitForConnected(100)) return false;
      probe.write("/after\n");
      Until([&] { return !taken_.empty() || probe.state() == QLocalSocket::UnconnectedState; });
      return !taken_.empty();
    }));
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &original), 0);
  }
}

#endif

}  // namespace
