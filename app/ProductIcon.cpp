#include "app/ProductIcon.h"

#include <QString>

namespace {
constexpr int kSizes[] = {32, 48, 64, 128, 256};

QString PathFor(int side) { return QStringLiteral(":/nubika/icons/nubika-sitemap-%1.png").arg(side); }
}  // namespace

QIcon ProductIcon::Icon() {
  QIcon icon;
  for (int side : kSizes) icon.addFile(PathFor(side), QSize(side, side));
  return icon;
}

QPixmap ProductIcon::Logo(int side) { return Icon().pixmap(QSize(side, side)); }
