#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>

// Answers every modal window that a command opens, without blocking the
// test: a timer finds it, notes a message box's title and text and presses
// OK, and hands any other dialog to `onDialog` (or cancels it).
class BoxCatcher : public QObject {
 public:
  BoxCatcher() {
    connect(&timer_, &QTimer::timeout, this, &BoxCatcher::Poll);
    timer_.start(5);
  }

  QStringList texts;
  QStringList titles;
  QStringList dialogs;               // class names of the other dialogs seen
  std::function<void()> whileShown;  // runs while each message box is up
  // The button pressed in a box that has it; else OK.
  QMessageBox::StandardButton answer = QMessageBox::Ok;
  std::function<void(QDialog*)> onDialog;

  QString Last() const { return texts.isEmpty() ? QString() : texts.last(); }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      texts << box->text();
      titles << box->windowTitle();
      if (whileShown) whileShown();
      if (QAbstractButton* button = box->button(answer)) {
        button->click();
      } else {
        box->done(QMessageBox::Ok);
      }
      return;
    }
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (dialog == nullptr || handled_ == dialog) return;
    handled_ = dialog;
    connect(dialog, &QDialog::finished, this, [this] { handled_ = nullptr; });
    dialogs << QString::fromLatin1(dialog->metaObject()->className());
    if (onDialog) {
      onDialog(dialog);
    } else {
      dialog->reject();
    }
  }

  QTimer timer_;
  QPointer<QDialog> handled_;
};
