#include "ListDrag.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

QMimeData* ListDrag::Data(const QWidget* list) {
  auto* data = new QMimeData;
  data->setData(QString::fromLatin1(kSourceMimeType), list->objectName().toLatin1());
  return data;
}

QString ListDrag::Source(const QDropEvent& event) {
  const QMimeData* data = event.mimeData();
  if (data == nullptr || !data->hasFormat(QString::fromLatin1(kSourceMimeType))) return QString();
  const QString name = QString::fromLatin1(data->data(QString::fromLatin1(kSourceMimeType)));
  if (event.source() && event.source()->objectName() != name) return QString();
  return name;
}

QStringList ListDrag::LqdFiles(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  QStringList paths;
  for (const QUrl& url : data->urls()) {
    const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
    if (!path.endsWith(QLatin1String(".lqd")) || !QFileInfo(path).isFile()) return {};
    paths << QDir::toNativeSeparators(path);
  }
  return paths;
}
