#pragma once

#include <QLabel>

// A one-line label that never widens its window: it can shrink to a few
// characters, and then shows its text cut in the middle. text() and the
// tool tip keep the whole text.
class ElidedLabel : public QLabel {
 public:
  explicit ElidedLabel(QWidget* parent = nullptr);

  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
