#include "app/ElidedLabel.h"

#include <QPainter>
#include <QStyle>

bool ElidedLabel::elided() const { return fontMetrics().horizontalAdvance(text()) > contentsRect().width(); }

void ElidedLabel::paintEvent(QPaintEvent* event) {
  if (!elided()) {
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  const QRect room = contentsRect();
  const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
  style()->drawItemText(&painter, room, static_cast<int>(alignment()), palette(), isEnabled(), shown, foregroundRole());
}
