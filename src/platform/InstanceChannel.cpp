#include "platform/InstanceChannel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include "platform/SingleInstance.h"

namespace {

const QByteArray kTaken = QByteArrayLiteral("taken\n");

}  // namespace

InstanceChannel::InstanceChannel(const QString& name, const QString& folder)
    : path_(QDir(folder.isEmpty() ? SingleInstance::UserFolder() : folder)
                .filePath(name + QStringLiteral(".socket"))) {}

InstanceChannel::~InstanceChannel() = default;

bool InstanceChannel::Listen(FileHandler onFile) {
  onFile_ = std::move(onFile);
  server_ = std::make_unique<QLocalServer>();
  // The temporary folder, used where there is no runtime folder, is shared
  // with other users.
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(path_);
  if (!server_->listen(path_)) return false;
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        if (!socket->canReadLine()) return;
        const QString path =
            QString::fromUtf8(QByteArray::fromPercentEncoding(socket->readLine().chopped(1)));
        socket->write(kTaken);
        socket->flush();
        socket->disconnectFromServer();
        if (onFile_) onFile_(path);
      });
    }
  });
  return true;
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
