#include "PaintProbePlugin.h"

#include "PaintProbeStyle.h"

QStyle* PaintProbePlugin::create(const QString& key) {
  return key.compare(QStringLiteral("paintprobe"), Qt::CaseInsensitive) == 0 ? new PaintProbeStyle
                                                                             : nullptr;
}
