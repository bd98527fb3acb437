#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include "app/PaintThrottle.h"

// A burst of progress changes: every state is applied, but the widgets
// are repainted once per frame, with the latest state.
class TestPaintThrottle : public QObject {
  Q_OBJECT

 private slots:
  void burstChangesStateButPaintsOncePerFrame() {
    QLabel label;
    QProgressBar bar;
    PaintThrottle throttle({&label, &bar}, 50);
    QStringList texts;
    for (int i = 0; i <= 100; ++i) {
      throttle.BeforeChange();
      label.setText(QString::number(i));
      bar.setValue(i);
      texts << label.text();
    }
    QCOMPARE(texts.size(), 101);
    QCOMPARE(texts.last(), QStringLiteral("100"));
    QCOMPARE(bar.value(), 100);
    // Inside the frame the repaints are held back...
    QVERIFY(!label.updatesEnabled());
    QVERIFY(!bar.updatesEnabled());
    // ...and come back by themselves when it is due, even if no change follows.
    QTRY_VERIFY_WITH_TIMEOUT(label.updatesEnabled() && bar.updatesEnabled(), 2000);
  }

  void flushPaintsAtOnce() {
    QLabel label;
    PaintThrottle throttle({&label}, 10000);
    throttle.BeforeChange();
    throttle.BeforeChange();
    QVERIFY(!label.updatesEnabled());
    throttle.Flush();
    QVERIFY(label.updatesEnabled());
    throttle.BeforeChange();  // a change right after a paint waits for the next frame
    QVERIFY(!label.updatesEnabled());
  }
};

QTEST_MAIN(TestPaintThrottle)
#include "tst_paintthrottle.moc"
