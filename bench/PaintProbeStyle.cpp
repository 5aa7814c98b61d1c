#include "PaintProbeStyle.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QMainWindow>
#include <QStyleFactory>
#include <QTimer>
#include <ctime>

namespace {

// Values in KiB of the lines of a /proc file that start with the given names.
QByteArray MemoryLines(const char* path, const QList<QByteArray>& names) {
  QFile file(QString::fromLatin1(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray out;
  for (const QByteArray& line : file.readAll().split('\n')) {
    const qsizetype colon = line.indexOf(':');
    if (colon < 0 || !names.contains(line.left(colon))) continue;
    const QList<QByteArray> words = line.mid(colon + 1).simplified().split(' ');
    out += line.left(colon) + ' ' + words.value(0) + '\n';
  }
  return out;
}

}  // namespace

PaintProbeStyle::PaintProbeStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void PaintProbeStyle::polish(QWidget* widget) {
  QProxyStyle::polish(widget);
  if (!watching_) {
    watching_ = true;
    qApp->installEventFilter(this);
  }
}

bool PaintProbeStyle::eventFilter(QObject* watched, QEvent* event) {
  if (!painted_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
      qobject_cast<QMainWindow*>(static_cast<QWidget*>(watched)->window()) != nullptr) {
    painted_ = true;
    // Runs once the whole frame has been painted and flushed.
    QTimer::singleShot(0, qApp, &PaintProbeStyle::Report);
  }
  return QProxyStyle::eventFilter(watched, event);
}

void PaintProbeStyle::Report() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  QFile file(qEnvironmentVariable("RAVLIN_BENCH_PAINT_FILE"));
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    file.write("painted_ns " +
               QByteArray::number(static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec) +
               '\n');
    const auto* probe = qobject_cast<QProxyStyle*>(qApp->style());
    if (probe != nullptr) file.write("style " + probe->baseStyle()->name().toUtf8() + '\n');
    file.write(
        MemoryLines("/proc/self/status", {"VmHWM", "VmRSS", "RssAnon", "RssFile", "RssShmem"}));
    file.write(MemoryLines("/proc/self/smaps_rollup", {"Pss", "Private_Clean", "Private_Dirty"}));
  }
  QCoreApplication::quit();
}
