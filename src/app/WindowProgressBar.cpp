#include "WindowProgressBar.h"

#include <QProgressBar>

int WindowProgressBar::Position() const { return bar_->value(); }

void WindowProgressBar::SetPosition(int position) {
  bar_->setValue(qBound(bar_->minimum(), position, bar_->maximum()));
}

void WindowProgressBar::SetRange(int minimum, int maximum) { bar_->setRange(minimum, maximum); }

void WindowProgressBar::Repaint() { bar_->repaint(); }
