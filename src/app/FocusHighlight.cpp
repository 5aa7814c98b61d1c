#include "FocusHighlight.h"

#include <QApplication>

FocusHighlight::FocusHighlight(std::vector<QWidget*> views, QObject* parent) : QObject(parent) {
  for (QWidget* view : views) {
    views_.emplace_back(view);
    view->setPalette(Unfocused(view->palette()));
  }
  connect(qApp, &QApplication::focusChanged, this,
          [this](QWidget*, QWidget* now) { FocusChanged(now); });
}

QPalette FocusHighlight::Unfocused(const QPalette& palette) {
  QPalette pale = palette;
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    const QColor highlight = palette.color(group, QPalette::Highlight);
    const QColor base = palette.color(group, QPalette::Base);
    // A third of the highlight over the base: still seen, clearly not the focus.
    const QColor mixed = QColor::fromRgbF(base.redF() + (highlight.redF() - base.redF()) / 3,
                                          base.greenF() + (highlight.greenF() - base.greenF()) / 3,
                                          base.blueF() + (highlight.blueF() - base.blueF()) / 3);
    pale.setColor(group, QPalette::Highlight, mixed);
    pale.setColor(group, QPalette::HighlightedText, palette.color(group, QPalette::Text));
  }
  return pale;
}

void FocusHighlight::FocusChanged(QWidget* now) {
  QWidget* focused = nullptr;
  for (const QPointer<QWidget>& view : views_)
    if (view && now && (now == view || view->isAncestorOf(now))) focused = view;
  if (focused == nullptr) return;
  const QPalette normal = QApplication::palette(focused);
  for (const QPointer<QWidget>& view : views_)
    if (view) view->setPalette(view == focused ? normal : Unfocused(normal));
}
