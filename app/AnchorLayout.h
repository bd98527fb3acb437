#pragma once
#include <QLayout>
#include <QRect>
#include <QSize>
#include <vector>

// Lays widgets out as a window was drawn: each at its place on a design of
// the area, all scaled by one factor (the window's font against the font it
// was drawn with), and each following the edges of the area it is anchored
// to when the area is larger or smaller than the scaled design: anchored
// left and right it grows with the area's width, anchored right alone it
// moves with the right edge, and likewise for top and bottom. At factor 1
// and the design's size every widget stands exactly where it was drawn.
class AnchorLayout : public QLayout {
 public:
  enum Edge { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8, kTopLeft = kLeft | kTop };

  // design: the area as drawn; shrink: how much smaller than the design
  // the area may become (in design pixels) before widgets would meet.
  AnchorLayout(QWidget* parent, QSize design, double scale, QSize shrink = {});
  ~AnchorLayout() override;

  // The widget at rect of the design.
  void Place(QWidget* widget, QRect rect, int anchors = kTopLeft);
  // The widget with its top left at at, as large as its content asks
  // (a label's text).
  void PlaceNatural(QWidget* widget, QPoint at, int anchors = kTopLeft);
  double scale() const { return scale_; }

  QSize sizeHint() const override;
  QSize minimumSize() const override;
  void setGeometry(const QRect& area) override;
  void addItem(QLayoutItem* item) override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  int count() const override { return static_cast<int>(items_.size()); }
  Qt::Orientations expandingDirections() const override { return Qt::Horizontal | Qt::Vertical; }

 private:
  struct Item {
    QLayoutItem* item;
    QRect rect;  // size empty: the item's own size
    int anchors;
  };
  int Scaled(int design) const;
  QSize Scaled(QSize design) const;

  QSize design_;
  double scale_;
  QSize shrink_;
  std::vector<Item> items_;
};
