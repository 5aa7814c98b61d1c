#include "ItemListDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>
#include <QTextLayout>

QSize ItemListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  return size_.isValid() ? size_ : QStyledItemDelegate::sizeHint(option, index);
}

void ItemListDelegate::initStyleOption(QStyleOptionViewItem* option,
                                       const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (!twoLines_ || option->text.isEmpty() || !option->rect.isValid()) return;
  // The style wraps only at blanks and keeps the same margin on each side.
  const QStyle* style = option->widget ? option->widget->style() : QApplication::style();
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option->widget) + 1;
  option->text = TwoLines(option->text, option->font, option->rect.width() - 2 * margin);
}

QString ItemListDelegate::TwoLines(const QString& text, const QFont& font, int width) {
  QTextLayout layout(text, font);
  QTextOption wrap;
  wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(wrap);
  layout.beginLayout();
  QTextLine first = layout.createLine();
  int cut = static_cast<int>(text.size());
  if (first.isValid()) {
    first.setLineWidth(width);
    cut = first.textStart() + first.textLength();
  }
  layout.endLayout();
  if (cut <= 0 || cut >= text.size()) return text;
  // Inside a word, a name breaks better before its extension or after a
  // joining mark ("DSP_Hall" and ".lqd" rather than "DSP_Hall.lq" and "d"),
  // unless that leaves the first line less than half full.
  if (!text.at(cut - 1).isSpace() && !text.at(cut).isSpace()) {
    for (int i = cut - 1; i > cut / 2; --i) {
      const QChar c = text.at(i);
      if (c.isSpace()) break;
      if (c == QLatin1Char('.')) {
        cut = i;
        break;
      }
      if (c == QLatin1Char('_') || c == QLatin1Char('-')) {
        cut = i + 1;
        break;
      }
    }
  }
  const QString rest = QFontMetrics(font).elidedText(text.mid(cut), Qt::ElideRight, width);
  return text.left(cut) + QChar(QChar::LineSeparator) + rest;
}
