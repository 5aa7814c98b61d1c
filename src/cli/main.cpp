#include <QCoreApplication>

#include "CliApp.h"
#include "midi/MidiDev.h"
#include "platform/midi/MidiSystem.h"
#include "platform/midi/ServiceDriver.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("ravlin-cli");
  QCoreApplication::setApplicationVersion(RAVLIN_VERSION);
  MidiSystem::SetClientName("ravlin-cli");
  // The tool waits for the keyboard: a loop that sleeps until a message or
  // the next deadline.
  MidiDev::UseDriver(&ServiceDriver::ForMidiSystem());
  return CliApp::Run(QCoreApplication::arguments());
}
