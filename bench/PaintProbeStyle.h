#pragma once

#include <QProxyStyle>

// Loaded into the unchanged program as a style plugin (QT_PLUGIN_PATH and
// -style paintprobe): the program's own style (Fusion) does the drawing;
// once the first frame with the main window has been painted, the moment
// (CLOCK_MONOTONIC) and the memory in use go to the file named by
// RAVLIN_BENCH_PAINT_FILE, and the program is asked to quit.
class PaintProbeStyle : public QProxyStyle {
 public:
  PaintProbeStyle();

  void polish(QWidget* widget) override;
  using QProxyStyle::polish;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static void Report();

  bool watching_ = false;
  bool painted_ = false;
};
