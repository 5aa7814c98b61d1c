#include "platform/FileManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTextStream>
#include <QUrl>
#include <cerrno>
#include <memory>

namespace {

#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
constexpr int kQueryWaitMs = 5000;

// The Exec line of a desktop entry, split into its arguments.
QStringList DesktopCommand(const QString& id) {
  QFile file(QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id));
  if (id.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  QTextStream in(&file);
  bool entry = false;
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (line.startsWith('[')) entry = line == QLatin1String("[Desktop Entry]");
    if (entry && line.startsWith(QLatin1String("Exec=")))
      return QProcess::splitCommand(line.mid(5));
  }
  return {};
}
#endif

}  // namespace

QStringList FileManager::DefaultCommand() {
#if defined(Q_OS_WIN)
  return {QStringLiteral("explorer")};
#elif defined(Q_OS_MACOS)
  return {QStringLiteral("open")};
#else
  // xdg-open would fall back to web browsers and whatever else takes a path
  // when no file manager is registered; the registered program only is used.
  QProcess query;
  query.setStandardInputFile(QProcess::nullDevice());
  query.setStandardErrorFile(QProcess::nullDevice());
  query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                           QStringLiteral("inode/directory")});
  if (!query.waitForFinished(kQueryWaitMs) || query.exitCode() != 0) {
    query.kill();
    query.waitForFinished();
    return {};
  }
  const QString id = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
  return DesktopCommand(id.section(';', 0, 0));
#endif
}

FileManager::FileManager(QStringList command) : command_(std::move(command)) {}

// The field codes of a desktop entry's command: the folder as a path or a
// URL; the others (icon, name, location of the entry) are dropped. Without
// one the folder goes last.
QStringList FileManager::Arguments(const QString& folder) const {
  const QString path = QDir::toNativeSeparators(folder);
  QStringList arguments;
  bool placed = false;
  for (const QString& word : command_.mid(1)) {
    if (word == QLatin1String("%f") || word == QLatin1String("%F")) {
      arguments << path;
      placed = true;
    } else if (word == QLatin1String("%u") || word == QLatin1String("%U")) {
      arguments << QUrl::fromLocalFile(folder).toString();
      placed = true;
    } else if (word.size() == 2 && word.startsWith('%') && word != QLatin1String("%%")) {
      continue;
    } else {
      arguments << QString(word).replace(QLatin1String("%%"), QLatin1String("%"));
    }
  }
  if (!placed) arguments << path;
  return arguments;
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
  if (!HasProgram()) return qt_error_string(ENOENT);
#ifdef Q_OS_WIN
  // The explorer's exit status says nothing: it is 1 also when the folder shows.
  QProcess process;
  process.setProgram(command_.front());
  process.setArguments(Arguments(folder));
  if (process.startDetached()) return QString();
  return process.errorString();
#else
  // A file manager may hand the folder to one that runs already and end; its
  // status and the last line it wrote to standard error tell whether that
  // worked. One that runs on may keep the error output open, so that output
  // goes to a file, never into a pipe that is closed later.
  QTemporaryFile said;
  if (!said.open()) return said.errorString();
  auto process = std::make_unique<QProcess>();
  process->setProgram(command_.front());
  process->setArguments(Arguments(folder));
  process->setStandardInputFile(QProcess::nullDevice());
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(said.fileName());
  process->start();
  if (!process->waitForStarted()) return process->errorString();
  if (!process->waitForFinished(kWaitMs)) {
    // Still running after a while: the file manager shows the folder. It is
    // left to run and goes when it ends.
    QProcess* running = process.release();
    QObject::connect(running, &QProcess::finished, running, &QObject::deleteLater);
    return QString();
  }
  if (process->exitStatus() == QProcess::CrashExit) return process->errorString();
  if (process->exitCode() == 0) return QString();
  const QStringList lines =
      QString::fromLocal8Bit(said.readAll()).trimmed().split('\n', Qt::SkipEmptyParts);
  return lines.isEmpty()
             ? command_.front() + QStringLiteral(": ") + QString::number(process->exitCode())
             : lines.last().trimmed();
#endif
}
