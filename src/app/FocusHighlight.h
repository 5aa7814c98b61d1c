#pragma once

#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QWidget>
#include <vector>

// Shows which of several views has the keyboard focus: the selection of the
// others turns pale, as it does on most desktops. Focus that goes elsewhere
// (a popup menu, a dialog) leaves the marks as they are, since it comes back.
class FocusHighlight : public QObject {
 public:
  explicit FocusHighlight(std::vector<QWidget*> views, QObject* parent = nullptr);

  // The selection colours of a view without the focus, from a palette.
  static QPalette Unfocused(const QPalette& palette);

 private:
  void FocusChanged(QWidget* now);

  std::vector<QPointer<QWidget>> views_;
};
