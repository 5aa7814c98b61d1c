#include "platform/FileManager.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <cerrno>
#include <memory>

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
#ifdef Q_OS_WIN
  // The explorer's exit status says nothing: it is 1 also when the folder shows.
  QProcess process;
  process.setProgram(program_);
  process.setArguments({QDir::toNativeSeparators(folder)});
  if (process.startDetached()) return QString();
  return process.errorString();
#else
  // The opener hands the folder to the file manager and ends; its status and
  // what it wrote to standard error tell whether that worked. The file
  // manager it starts may inherit the error output and outlive the opener,
  // so that output goes to a file, never into a pipe that is closed later.
  QTemporaryFile said;
  if (!said.open()) return said.errorString();
  auto process = std::make_unique<QProcess>();
  process->setProgram(program_);
  process->setArguments({QDir::toNativeSeparators(folder)});
  process->setStandardInputFile(QProcess::nullDevice());
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(said.fileName());
  process->start();
  if (!process->waitForStarted()) return process->errorString();
  if (!process->waitForFinished(kWaitMs)) {
    // Still running after a while: an opener that runs the file manager
    // itself. It is left to run and goes when it ends.
    QProcess* running = process.release();
    QObject::connect(running, &QProcess::finished, running, &QObject::deleteLater);
    return QString();
  }
  if (process->exitStatus() == QProcess::CrashExit) return process->errorString();
  if (process->exitCode() == 0) return QString();
  const QString text = QString::fromLocal8Bit(said.readAll()).trimmed();
  return text.isEmpty() ? program_ + QStringLiteral(": ") + QString::number(process->exitCode())
                        : text;
#endif
}
