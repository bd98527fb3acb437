#pragma once
#include <QLabel>

// A one-line label that shows as much of its text as its width allows and
// ends it with "…" when the rest does not fit; text() is always the whole.
class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;
  // Whether the whole text is not shown.
  bool elided() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
