#include "platform/SingleInstance.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

QString SingleInstance::UserFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
  return folder;
}

SingleInstance::SingleInstance(const QString& name, const QString& folder) {
  const QString dir = folder.isEmpty() ? UserFolder() : folder;
  QDir().mkpath(dir);
  lock_ = std::make_unique<QLockFile>(QDir(dir).filePath(name + QStringLiteral(".lock")));
  // Held for the whole run, so its age says nothing: only a lock whose
  // process is gone counts as stale.
  lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

SingleInstance::State SingleInstance::Acquire() {
  if (lock_->isLocked() || lock_->tryLock(0)) return State::First;
  return lock_->error() == QLockFile::LockFailedError ? State::Running : State::Failed;
}

QString SingleInstance::LockPath() const { return lock_->fileName(); }

QString SingleInstance::ErrorText() const {
  switch (lock_->error()) {
    case QLockFile::NoError:
      return QString();
    case QLockFile::LockFailedError:
      return QStringLiteral("%1: held by another process").arg(LockPath());
    case QLockFile::PermissionError:
      return QStringLiteral("%1: permission denied").arg(LockPath());
    case QLockFile::UnknownError:
      break;
  }
  return QStringLiteral("%1: cannot be created").arg(LockPath());
}
