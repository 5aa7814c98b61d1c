#include <QCoreApplication>

#include "CliApp.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("ravlin-cli");
  QCoreApplication::setApplicationVersion(RAVLIN_VERSION);
  return CliApp::Run(QCoreApplication::arguments());
}
