#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <initializer_list>
#include <vector>

class QWidget;

// Lets a fast stream of state changes reach the screen at most once per
// frame. Between frames the widgets' updates are off: their text and value
// still change, every time and in order, but not every change costs a
// paint. The latest state is painted when the frame is due.
class PaintThrottle : public QObject {
 public:
  PaintThrottle(std::initializer_list<QWidget*> widgets, int frameMs, QObject* parent = nullptr);

  // Call before changing the widgets' state.
  void BeforeChange();
  // Paints the latest state now and ends the throttling until the next change.
  void Flush();

 private:
  void SetUpdates(bool enabled);

  std::vector<QWidget*> widgets_;
  int frameMs_;
  QElapsedTimer sincePaint_;
  QTimer frameDue_;
  bool held_ = false;
};
