#include "ScriptedLink.h"

#include "InstantClock.h"
#include "midi/MidiDev.h"

ScriptedMidiService& ScriptedLink::Service() {
  static ScriptedMidiService service;
  return service;
}

QnSysEx& ScriptedLink::Protocol() {
  static QnSysEx* protocol = [] {
    static InstantClock clock;
    MidiDev::UseService(&Service());
    QnSysEx* made = QnSysEx::Instance();
    MidiDev::Instance()->SetClock(clock);
    return made;
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
