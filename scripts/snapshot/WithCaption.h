#pragma once
#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <QWidget>

// The window's frame belongs to the desktop; the picture is its inside
// with the caption drawn above it.
inline QPixmap WithCaption(QWidget& widget) {
  const QPixmap inside = widget.grab();
  QPixmap picture(inside.width(), inside.height() + 24);
  picture.fill(QColor(0x3c, 0x5a, 0x8c));
  QPainter painter(&picture);
  painter.setPen(Qt::white);
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPixelSize(13);
  painter.setFont(font);
  painter.drawText(QRect(8, 0, inside.width() - 8, 24), Qt::AlignVCenter, widget.windowTitle());
  painter.drawPixmap(0, 24, inside);
  return picture;
}
