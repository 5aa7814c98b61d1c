#include "ScriptedLink.h"

#include "midi/MidiDev.h"

ScriptedDriver& ScriptedLink::Driver() {
  static ScriptedDriver driver;
  return driver;
}

QnSysEx& ScriptedLink::Protocol() {
  static QnSysEx* protocol = [] {
    MidiDev::UseDriver(&Driver());
    return QnSysEx::Instance();
  }();
  return *protocol;
}

void ScriptedLink::Begin(uint8_t command, SysExAddress* address) {
  QnSysEx& protocol = Protocol();
  protocol.OpenIn(0);
  protocol.OpenOut(0);
  protocol.SetModel(QnSysEx::kModelCode);
  protocol.SetDevice(QnSysEx::kDeviceNumber);
  protocol.SetCommand(command);
  protocol.SetAddress(address);
}
