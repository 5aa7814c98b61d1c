#include "platform/InstanceChannel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <vector>

#include "platform/SingleInstance.h"

namespace {

const QByteArray kTaken = QByteArrayLiteral("taken\n");

}  // namespace

InstanceChannel::InstanceChannel(const QString& name, const QString& folder)
    : path_(QDir(folder.isEmpty() ? SingleInstance::UserFolder() : folder)
                .filePath(name + QStringLiteral(".socket"))) {}

// The connections go with the server, and may still report their end to the
// table of connections, which must outlive them.
InstanceChannel::~InstanceChannel() { server_.reset(); }

bool InstanceChannel::Listen(FileHandler onFile) {
  onFile_ = std::move(onFile);
  server_ = std::make_unique<QLocalServer>();
  // The temporary folder, used where there is no runtime folder, is shared
  // with other users.
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(path_);
  if (!server_->listen(path_)) return false;
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) Accept(socket);
  });
  idleTimer_ = std::make_unique<QTimer>();
  QObject::connect(idleTimer_.get(), &QTimer::timeout, idleTimer_.get(), [this] { CloseSilent(); });
  idleTimer_->start(1000);
  return true;
}

void InstanceChannel::CloseSilent() {
  const auto now = clock_();
  std::vector<QLocalSocket*> silent;
  for (const auto& [socket, heard] : heard_) {
    if (now - heard >= kIdleLimit) silent.push_back(socket);
  }
  for (QLocalSocket* socket : silent) Drop(socket);
}

void InstanceChannel::Accept(QLocalSocket* socket) {
  heard_[socket] = clock_();
  // Bytes beyond one line stay with the system until the line is judged.
  socket->setReadBufferSize(kMaxLine + 1);
  QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, socket] {
    heard_.erase(socket);
    socket->deleteLater();
  });
  QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { Read(socket); });
  if (socket->bytesAvailable() > 0) Read(socket);
}

void InstanceChannel::Read(QLocalSocket* socket) {
  if (heard_.count(socket) == 0) return;
  heard_[socket] = clock_();
  if (!socket->canReadLine()) {
    if (socket->bytesAvailable() >= kMaxLine) Drop(socket);
    return;
  }
  const QByteArray line = socket->readLine(kMaxLine + 1);
  const QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(line.chopped(1)));
  if (!line.endsWith('\n') || !QDir::isAbsolutePath(path)) {
    Drop(socket);
    return;
  }
  heard_.erase(socket);
  socket->write(kTaken);
  socket->flush();
  socket->disconnectFromServer();
  if (onFile_) onFile_(path);
}

void InstanceChannel::Drop(QLocalSocket* socket) {
  heard_.erase(socket);
  socket->abort();
  socket->deleteLater();
}

bool InstanceChannel::Send(const QString& path, int timeoutMs) const {
  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  for (;;) {
    socket.connectToServer(path_);
    if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) break;
    if (deadline.hasExpired()) return false;
    // No server yet: the running copy is still starting.
    QThread::msleep(50);
  }
  // Encoded, so that a newline in a file name cannot end the line.
  socket.write(path.toUtf8().toPercentEncoding() + '\n');
  if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return false;
  while (!socket.canReadLine()) {
    if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) return false;
  }
  return socket.readLine() == kTaken;
}
