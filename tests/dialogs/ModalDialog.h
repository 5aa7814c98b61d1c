#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

// Runs `action` on the modal dialog of class Dialog once its own event loop
// runs, as a user would act on it; gives up (closing every window, so that
// no exec() waits for ever) when none comes up.
template <typename Dialog>
void OnModal(std::function<void(Dialog*)> action, int tries = 200) {
  QTimer::singleShot(0, [action, tries] {
    if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
      action(dialog);
    } else if (tries > 0) {
      OnModal<Dialog>(action, tries - 1);
    } else {
      qWarning("no modal dialog came up");
      for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* open = qobject_cast<QDialog*>(widget)) open->reject();
    }
  });
}
