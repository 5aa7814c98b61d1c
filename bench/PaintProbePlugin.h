#pragma once

#include <QStylePlugin>

// Makes PaintProbeStyle available as the style "paintprobe".
class PaintProbePlugin : public QStylePlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "paintprobe.json")

 public:
  QStyle* create(const QString& key) override;
};
