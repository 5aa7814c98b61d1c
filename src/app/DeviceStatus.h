#pragma once

#include <QString>

#include "protocol/MsgStr.h"

class DeviceWatch;
class QBoxLayout;
class QLabel;
class QStatusBar;

// The status bar's field that names the MIDI ports in use, with a warning
// mark while one of them is gone.
class DeviceStatus {
 public:
  // The field goes at the end of `layout`.
  DeviceStatus(QBoxLayout* layout, const DeviceWatch& devices, const MsgStr& msg);

  void Show();
  // Shows the ports as they are now after they were `goneBefore`: the
  // status line says at once that a port has gone, and no more once it is
  // back.
  void Show(const QString& goneBefore, QStatusBar* status);
  // The gone ports' names, for the status line and a failure's box.
  QString Gone() const;

 private:
  QString Word(MsgStr::Word word) const;

  const DeviceWatch& devices_;
  const MsgStr& msg_;
  QLabel* icon_;   // marks a port that is gone
  QLabel* field_;  // names the ports in use
};
