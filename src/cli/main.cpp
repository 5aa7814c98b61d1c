#include <fcntl.h>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "CliApp.h"
#include "midi/MidiDev.h"
#include "platform/midi/MidiSystem.h"
#include "platform/midi/ServiceDriver.h"
#include "protocol/MsgStr.h"

int main(int argc, char* argv[]) {
  // A standard stream the caller closed keeps its number, open for reading
  // only: a file opened later cannot take it, and writing to it fails.
  for (const int stream : {0, 1, 2}) {
    if (fcntl(stream, F_GETFD) < 0) open("/dev/null", O_RDONLY);
  }
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("ravlin-cli");
  QCoreApplication::setApplicationVersion(RAVLIN_VERSION);
  // The command line's own errors ("Unknown option") in the catalog's
  // language, from the toolkit's translations.
  QTranslator toolkit;
  if (MsgStr::LocaleLanguage() == MsgStr::Language::Japanese &&
      toolkit.load(QLocale(QLocale::Japanese), "qtbase", "_",
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(&toolkit);
  }
  MidiSystem::SetClientName("ravlin-cli");
  // The tool waits for the keyboard: a loop that sleeps until a message or
  // the next deadline.
  MidiDev::UseDriver(&ServiceDriver::ForMidiSystem());
  return CliApp::Run(QCoreApplication::arguments());
}
