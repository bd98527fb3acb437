#include "app/PaintThrottle.h"

#include <QWidget>

PaintThrottle::PaintThrottle(std::initializer_list<QWidget*> widgets, int frameMs, QObject* parent)
    : QObject(parent), widgets_(widgets), frameMs_(frameMs) {
  frameDue_.setSingleShot(true);
  connect(&frameDue_, &QTimer::timeout, this, &PaintThrottle::Flush);
}

void PaintThrottle::BeforeChange() {
  if (!sincePaint_.isValid() || sincePaint_.elapsed() >= frameMs_) {
    Flush();
    return;
  }
  if (held_) return;
  SetUpdates(false);
  frameDue_.start(static_cast<int>(frameMs_ - sincePaint_.elapsed()));
}

void PaintThrottle::Flush() {
  frameDue_.stop();
  SetUpdates(true);
  sincePaint_.restart();
}

void PaintThrottle::SetUpdates(bool enabled) {
  if (held_ == !enabled) return;
  held_ = !enabled;
  // Turning updates back on schedules a paint of the current state.
  for (QWidget* widget : widgets_) widget->setUpdatesEnabled(enabled);
}
