#include "app/ScreenFit.h"

#include <algorithm>

namespace {

// The area shared, as a number that cannot overflow for screen sizes.
long long Overlap(const QRect& a, const QRect& b) {
  const QRect shared = a.intersected(b);
  return shared.isEmpty() ? 0 : static_cast<long long>(shared.width()) * shared.height();
}

// start moved so that [start, start + length) lies within [low, high), or
// at low when it is longer than that.
int Within(int start, int length, int low, int high) { return std::max(low, std::min(start, high - length)); }

}  // namespace

QRect ScreenFit::Fitted(const QRect& frame, const QList<QRect>& screens, QSize minimum) {
  if (screens.isEmpty()) return frame;
  QRect screen = screens.front();
  long long best = 0;
  for (const QRect& candidate : screens) {
    if (const long long shared = Overlap(frame, candidate); shared > best) {
      best = shared;
      screen = candidate;
    }
  }
  const int width = std::max(minimum.width(), std::min(frame.width(), screen.width()));
  const int height = std::max(minimum.height(), std::min(frame.height(), screen.height()));
  return QRect(Within(frame.x(), width, screen.left(), screen.left() + screen.width()),
               Within(frame.y(), height, screen.top(), screen.top() + screen.height()), width, height);
}
