#include <QCoreApplication>

#include "CliApp.h"
#include "platform/midi/MidiSystem.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("ravlin-cli");
  QCoreApplication::setApplicationVersion(RAVLIN_VERSION);
  MidiSystem::SetClientName("ravlin-cli");
  return CliApp::Run(QCoreApplication::arguments());
}
