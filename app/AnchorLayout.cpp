#include "app/AnchorLayout.h"

#include <QWidget>
#include <cmath>

AnchorLayout::AnchorLayout(QWidget* parent, QSize design, double scale, QSize shrink)
    : QLayout(parent), design_(design), scale_(scale), shrink_(shrink) {
  setContentsMargins(0, 0, 0, 0);
}

AnchorLayout::~AnchorLayout() {
  for (Item& item : items_) delete item.item;
}

int AnchorLayout::Scaled(int design) const { return static_cast<int>(std::lround(design * scale_)); }

QSize AnchorLayout::Scaled(QSize design) const { return {Scaled(design.width()), Scaled(design.height())}; }

void AnchorLayout::Place(QWidget* widget, QRect rect, int anchors) {
  addChildWidget(widget);
  items_.push_back({new QWidgetItem(widget), rect, anchors});
  invalidate();
}

void AnchorLayout::PlaceNatural(QWidget* widget, QPoint at, int anchors) { Place(widget, QRect(at, QSize()), anchors); }

// Widgets come only through Place: an item without a place has no spot in
// the design, so it is laid at the top left with its own size.
void AnchorLayout::addItem(QLayoutItem* item) { items_.push_back({item, QRect(), kTopLeft}); }

QLayoutItem* AnchorLayout::itemAt(int index) const {
  return index >= 0 && index < count() ? items_[static_cast<std::size_t>(index)].item : nullptr;
}

QLayoutItem* AnchorLayout::takeAt(int index) {
  if (index < 0 || index >= count()) return nullptr;
  QLayoutItem* item = items_[static_cast<std::size_t>(index)].item;
  items_.erase(items_.begin() + index);
  return item;
}

QSize AnchorLayout::sizeHint() const { return Scaled(design_); }

QSize AnchorLayout::minimumSize() const { return Scaled(design_ - shrink_); }

void AnchorLayout::setGeometry(const QRect& area) {
  QLayout::setGeometry(area);
  const QSize designed = Scaled(design_);
  const int dx = area.width() - designed.width();
  const int dy = area.height() - designed.height();
  // Along one axis: anchored at both ends it grows, at the far end alone
  // it moves.
  const auto follow = [](int* start, int* length, int grow, bool nearEnd, bool farEnd) {
    if (nearEnd && farEnd)
      *length += grow;
    else if (farEnd)
      *start += grow;
  };
  for (const Item& placed : items_) {
    const QSize own = placed.item->sizeHint();
    int x = Scaled(placed.rect.x()), y = Scaled(placed.rect.y());
    int width = placed.rect.isEmpty() ? own.width() : Scaled(placed.rect.width());
    int height = placed.rect.isEmpty() ? own.height() : Scaled(placed.rect.height());
    follow(&x, &width, dx, placed.anchors & kLeft, placed.anchors & kRight);
    follow(&y, &height, dy, placed.anchors & kTop, placed.anchors & kBottom);
    const QRect rect(area.x() + x, area.y() + y, width, height);
    // A widget takes its rectangle as it is: the design, not the widget's
    // own idea of its height, decides.
    if (QWidget* widget = placed.item->widget())
      widget->setGeometry(rect);
    else
      placed.item->setGeometry(rect);
  }
}
