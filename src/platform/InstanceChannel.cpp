#include "platform/InstanceChannel.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/SingleInstance.h"

namespace {

const QByteArray kTaken = QByteArrayLiteral("taken\n");

}  // namespace

InstanceChannel::InstanceChannel(const QString& name, const QString& folder)
    : path_(QDir(folder.isEmpty() ? SingleInstance::UserFolder() : folder)
                .filePath(name + QStringLiteral(".socket"))) {}

// The connections go first, and may still report their end to the table of
// connections, which must outlive them.
InstanceChannel::~InstanceChannel() {
  owner_.reset();
  if (listener_ >= 0) {
    ::close(listener_);
    ::unlink(QFile::encodeName(path_).constData());
  }
  if (spare_ >= 0) ::close(spare_);
}

bool InstanceChannel::Listen(FileHandler onFile) {
  onFile_ = std::move(onFile);
  const QByteArray name = QFile::encodeName(path_);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (static_cast<size_t>(name.size()) >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, name.constData(), name.size());
  listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return false;
  // A socket left by a copy that crashed; this copy holds the lock. The
  // temporary folder, used where there is no runtime folder, is shared with
  // other users: only the user may connect, set before anyone can.
  ::unlink(name.constData());
  if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(name.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(listener_, SOMAXCONN) != 0) {
    ::close(listener_);
    listener_ = -1;
    return false;
  }
  spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  owner_ = std::make_unique<QObject>();
  auto* notifier = new QSocketNotifier(listener_, QSocketNotifier::Read, owner_.get());
  QObject::connect(notifier, &QSocketNotifier::activated, owner_.get(), [this] { AcceptAll(); });
  auto* timer = new QTimer(owner_.get());
  QObject::connect(timer, &QTimer::timeout, owner_.get(), [this] { CloseLate(); });
  timer->start(1000);
  return true;
}

void InstanceChannel::CloseLate() {
  const auto now = clock_();
  std::vector<QLocalSocket*> late;
  for (const auto& [socket, opened] : opened_) {
    if (now - opened >= kLineLimit) late.push_back(socket);
  }
  for (QLocalSocket* socket : late) Drop(socket);
}

void InstanceChannel::AcceptAll() {
  for (;;) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      Accept(fd);
    } else if ((errno == EMFILE || errno == ENFILE) && spare_ >= 0) {
      // Left waiting, the connection would wake the listener again at
      // once: it takes the spare file's place and is closed.
      ::close(spare_);
      const int cut = ::accept(listener_, nullptr, nullptr);
      if (cut >= 0) ::close(cut);
      spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      // Without a file, accept fails whether or not a connection waits.
      if (cut < 0) return;
    } else if (errno != EINTR && errno != ECONNABORTED) {
      return;
    }
  }
}

void InstanceChannel::Accept(int fd) {
  if (opened_.size() >= kMaxConnections) {
    ::close(fd);
    return;
  }
  auto* socket = new QLocalSocket(owner_.get());
  socket->setSocketDescriptor(fd, QLocalSocket::ConnectedState, QIODevice::ReadWrite);
  opened_[socket] = clock_();
  // Bytes beyond one line stay with the system until the line is judged.
  socket->setReadBufferSize(kMaxLine + 1);
  QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, socket] {
    opened_.erase(socket);
    socket->deleteLater();
  });
  QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { Read(socket); });
  if (socket->bytesAvailable() > 0) Read(socket);
}

QString InstanceChannel::PathOf(const QByteArray& line) {
  if (!line.endsWith('\n') || line.size() > kMaxLine) return {};
  const QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(line.chopped(1)));
  return QDir::isAbsolutePath(path) ? path : QString();
}

void InstanceChannel::Read(QLocalSocket* socket) {
  if (opened_.count(socket) == 0) return;
  if (!socket->canReadLine()) {
    if (socket->bytesAvailable() >= kMaxLine) Drop(socket);
    return;
  }
  const QString path = PathOf(socket->readLine(kMaxLine + 1));
  if (path.isEmpty()) {
    Drop(socket);
    return;
  }
  opened_.erase(socket);
  socket->write(kTaken);
  socket->flush();
  socket->disconnectFromServer();
  if (onFile_) onFile_(path);
}

void InstanceChannel::Drop(QLocalSocket* socket) {
  opened_.erase(socket);
  socket->abort();
  socket->deleteLater();
}

bool InstanceChannel::Send(const QString& path, int timeoutMs) const {
  const QDeadlineTimer deadline(timeoutMs);
  // Encoded, so that a newline in a file name cannot end the line.
  const QByteArray line = path.toUtf8().toPercentEncoding() + '\n';
  for (;;) {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
      socket.write(line);
      while (socket.bytesToWrite() > 0 &&
             socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
      }
      while (!socket.canReadLine() &&
             socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
      }
      if (socket.canReadLine()) return socket.readLine() == kTaken;
    }
    if (deadline.hasExpired()) return false;
    // No server yet (the running copy is still starting), or it was full.
    QThread::msleep(50);
  }
}
