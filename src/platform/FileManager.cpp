#include "platform/FileManager.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <cerrno>

FileManager::FileManager(QString program) : program_(std::move(program)) {}

QString FileManager::DefaultProgram() {
#if defined(Q_OS_WIN)
  return QStringLiteral("explorer");
#elif defined(Q_OS_MACOS)
  return QStringLiteral("open");
#else
  return QStringLiteral("xdg-open");
#endif
}

QString FileManager::Open(const QString& folder) const {
  // File managers fall back to some other folder, silently, when the one
  // asked for is gone.
  if (!QFileInfo(folder).isDir()) {
#ifdef Q_OS_WIN
    constexpr int kNotFound = 3;  // ERROR_PATH_NOT_FOUND
#else
    constexpr int kNotFound = ENOENT;
#endif
    return qt_error_string(kNotFound);
  }
  QProcess process;
  process.setProgram(program_);
  process.setArguments({QDir::toNativeSeparators(folder)});
  if (process.startDetached()) return QString();
  return process.errorString();
}
