#pragma once
#include <QList>
#include <QRect>
#include <QSize>

// Where a window may stand: a frame asked for at any place (a stored one,
// from a desktop that had other screens, or the design's at a large scale)
// is moved onto a screen and, when larger than that screen, made smaller,
// never below its minimum.
class ScreenFit {
 public:
  // frame: the window with its frame; screens: the screens' available
  // areas, primary first; minimum: the smallest frame the window allows.
  // The frame stays on the screen it overlaps most, or goes to the primary
  // one when it overlaps none.
  static QRect Fitted(const QRect& frame, const QList<QRect>& screens, QSize minimum);
};
