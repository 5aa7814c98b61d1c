#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <functional>

// Answers every message box that a command opens, without blocking the
// test: a timer finds the modal box, notes its title and text, and presses OK.
class BoxCatcher : public QObject {
 public:
  BoxCatcher() {
    connect(&timer_, &QTimer::timeout, this, &BoxCatcher::Poll);
    timer_.start(5);
  }

  QStringList texts;
  QStringList titles;
  QList<QMessageBox::Icon> icons;
  std::function<void()> whileShown;  // runs while each box is up

  QString Last() const { return texts.isEmpty() ? QString() : texts.last(); }

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    texts << box->text();
    titles << box->windowTitle();
    icons << box->icon();
    if (whileShown) whileShown();
    box->done(QMessageBox::Ok);
  }

  QTimer timer_;
};
