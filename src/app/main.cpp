#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "TPcLinkForm.h"
#include "platform/SingleInstance.h"

int main(int argc, char* argv[]) {
  // Taken before anything is shown: a second copy ends silently.
  SingleInstance instance(QStringLiteral("Ravlin"));
  if (instance.Acquire() != SingleInstance::State::First) return 1;

  QApplication app(argc, argv);
  TPcLinkForm::SetUpApplication();

  TPcLinkForm::Options options;
  options.simulator = QApplication::arguments().contains(QStringLiteral("--simulator"));
  try {
    TPcLinkForm form(options);
    form.show();
    QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QString::fromLatin1(TPcLinkForm::kApplicationTitle),
                          QString::fromLocal8Bit(e.what()));
  }
  return 0;
}
