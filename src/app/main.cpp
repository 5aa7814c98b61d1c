#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "TPcLinkForm.h"
#include "platform/InstanceChannel.h"
#include "platform/SingleInstance.h"

namespace {

const QCommandLineOption kSimulator("simulator",
                                    "Use the built-in keyboard simulator for this run.");
const QCommandLineOption kVersion("version", "Show the version.");
const QCommandLineOption kHelp({"h", "help"}, "Show this help.");

void Define(QCommandLineParser& parser) {
  parser.setApplicationDescription("Manages the user data of the TRV-408 keyboard over MIDI.");
  parser.addOptions({kSimulator, kVersion, kHelp});
  // Qt's own options, which QApplication takes: known here so that their
  // values are not taken for a file.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const char* name :
       {"platform", "platformpluginpath", "platformtheme", "plugin", "style", "stylesheet",
        "display", "qwindowgeometry", "qwindowicon", "qwindowtitle", "session"}) {
    QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : {"reverse", "nograb", "dograb", "sync", "widgetcount"}) {
    QCommandLineOption option(QString::fromLatin1(name));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  parser.addPositionalArgument("file", "A .lqd data file to show in the PC list.", "[FILE]");
}

}  // namespace

int main(int argc, char* argv[]) {
  // Read before the lock and before any display is needed, so that --version
  // and --help work anywhere.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  QCommandLineParser parser;
  Define(parser);
  if (!parser.parse(arguments) || parser.positionalArguments().size() > 1) {
    std::fprintf(
        stderr, "ravlin: %s\nTry 'ravlin --help'.\n",
        parser.errorText().isEmpty() ? "more than one file given" : qPrintable(parser.errorText()));
    return 2;
  }
  if (parser.isSet(kVersion)) {
    std::printf("ravlin %s\n", RAVLIN_VERSION);
    return 0;
  }
  if (parser.isSet(kHelp)) {
    QCoreApplication core(argc, argv);
    std::fputs(qPrintable(parser.helpText()), stdout);
    return 0;
  }
  const QString file = parser.positionalArguments().isEmpty()
                           ? QString()
                           : QFileInfo(parser.positionalArguments().first()).absoluteFilePath();

  // Taken before anything is shown: a second copy ends silently, after
  // handing the running copy the file it was given.
  SingleInstance instance(QStringLiteral("Ravlin"));
  const SingleInstance::State state = instance.Acquire();
  if (state != SingleInstance::State::First) {
    if (state == SingleInstance::State::Running && !file.isEmpty()) {
      QCoreApplication core(argc, argv);
      if (InstanceChannel(QStringLiteral("Ravlin")).Send(file)) return 0;
    }
    return 1;
  }

  QApplication app(argc, argv);
  TPcLinkForm::SetUpApplication();
  QApplication::setApplicationVersion(QStringLiteral(RAVLIN_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral(RAVLIN_APP_ID));
  Q_INIT_RESOURCE(icons);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/ravlin.svg")));

  TPcLinkForm::Options options;
  options.simulator = parser.isSet(kSimulator);
  try {
    TPcLinkForm form(options);
    form.show();
    if (!file.isEmpty()) form.ShowLocalFile(file);
    InstanceChannel channel(QStringLiteral("Ravlin"));
    if (!channel.Listen([&form](const QString& path) { form.ShowLocalFile(path); })) {
      qWarning("Files from other starts cannot be taken: %s", qPrintable(channel.SocketPath()));
    }
    QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QString::fromLatin1(TPcLinkForm::kApplicationTitle),
                          QString::fromLocal8Bit(e.what()));
  }
  return 0;
}
