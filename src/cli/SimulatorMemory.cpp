#include "SimulatorMemory.h"

#include <QFileInfo>
#include <QString>
#include <QtGlobal>
#include <string>

#include "CliError.h"
#include "platform/midi/MidiSystem.h"
#include "sim/Trv408.h"

void SimulatorMemory::Apply() {
  const QString path = qEnvironmentVariable(kVariable);
  if (path.isEmpty()) return;
  const std::string file = QFile::encodeName(path).toStdString();
  sim::Trv408& keyboard = MidiSystem::Instance().BuiltInKeyboard();
  if (QFileInfo::exists(path)) {
    if (!keyboard.Load(file)) {
      throw CliError::Failure(MsgStr::kWordCliSimMemoryUnreadable, {kVariable, file});
    }
  } else if (!keyboard.Save(file)) {
    throw CliError::Failure(MsgStr::kWordCliSimMemoryUnwritable, {kVariable, file});
  }
  keyboard.SetAutoSave(file);
}
