// The peer of the start-up figure: the least a Qt Widgets program does to
// show a main window (a menu bar, a status bar and a label), run the same way
// as the program and measured by the same probe.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.menuBar()->addMenu(QStringLiteral("&File"));
  window.setCentralWidget(new QLabel(QStringLiteral("Ravlin")));
  window.statusBar()->showMessage(QStringLiteral("Ready"));
  window.resize(640, 480);
  window.show();
  return QApplication::exec();
}
