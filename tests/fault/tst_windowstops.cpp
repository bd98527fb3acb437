// The stop button at 200 random moments of runs started from the window:
// before the scan, during it, while the sitemap is written and after the
// run has ended. Every run must end, the window must come back to idle,
// no temporary file may stay, and a stopped run must leave the previous
// sitemap as it was. Leaks are the AddressSanitizer build's to find.

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

#include "SitemapCheck.h"
#include "WindowFixture.h"

namespace {

constexpr int kStops = 200;
constexpr int kFolders = 30;
constexpr int kPages = 100;
constexpr int kRunTimeout = 60000;
const char* const kDoneText = "サイトマップ(nubika_sitemap.xml)生成完了\n";

// Runs the event loop until done() holds. Unlike QTest::qWait, which
// sleeps between rounds of events, it hands each of the worker's notices
// over at once, as the program's own event loop does.
template <typename Done>
bool RunEventsUntil(Done done, int timeoutMs = kRunTimeout) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  poll.start(1);
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  if (!done()) loop.exec();
  return done();
}

}  // namespace

class TestWindowStops : public QObject {
  Q_OBJECT

 private slots:
  void stopsAtRandomMomentsKeepThePreviousSitemap();
};

void TestWindowStops::stopsAtRandomMomentsKeepThePreviousSitemap() {
  Workspace space;
  QVERIFY(space.valid());
  UrlRecorder urls;  // a finished run opens its folder; keep it off the desktop
  FakePrompter prompter;
  for (int folder = 0; folder < kFolders; ++folder)
    for (int page = 0; page < kPages; ++page)
      space.write(QStringLiteral("site/お知らせ %1/page %2.html").arg(folder).arg(page));
  const QString sitemap = QStringLiteral("site/nubika_sitemap.xml");

  TfrmMain window(space.environment(&prompter));
  QVERIFY(window.FormCreate());
  Find<QListWidget>(window, "listKakuchoshi")->addItem(QStringLiteral("html"));
  Find<QLineEdit>(window, "edtBaseURL")->setText(QStringLiteral("https://example.jp/"));
  Find<QLineEdit>(window, "edtLocalPath")->setText(space.path(QStringLiteral("site")));
  auto* make = Find<QPushButton>(window, "btnMake");
  auto* stop = Find<QPushButton>(window, "btnSuspend");
  auto* label = Find<QLabel>(window, "lblStat");

  // How long one whole run takes here, to spread the stops over it.
  QElapsedTimer clock;
  clock.start();
  make->click();
  QVERIFY(RunEventsUntil([&] { return !window.isRunning(); }));
  const int runMs = static_cast<int>(clock.elapsed()) + 1;
  QCOMPARE(label->text(), QString::fromUtf8(kDoneText));
  const QByteArray complete = space.read(sitemap);
  QCOMPARE(SitemapCheck::Parse(complete.toStdString()).locs.size(), std::size_t{kFolders * kPages});

  QRandomGenerator random(1026);
  int stoppedRuns = 0;
  for (int run = 0; run < kStops; ++run) {
    space.write(sitemap, "previous");
    make->click();
    QVERIFY(window.isRunning());
    // A third of the stops come at once or nearly, the rest anywhere in the
    // run and a little past its end.
    const int delay = run % 3 == 0 ? static_cast<int>(random.bounded(3)) : static_cast<int>(random.bounded(runMs * 5 / 4 + 1));
    bool stopped = false;
    QTimer::singleShot(delay, stop, [&] {
      stop->click();
      stopped = true;
    });
    QVERIFY2(RunEventsUntil([&] { return stopped && !window.isRunning(); }), "the run did not end");
    QVERIFY(make->isEnabled());
    QVERIFY(Find<QLineEdit>(window, "edtLocalPath")->isEnabled());
    QVERIFY(!stop->isEnabled());

    const QByteArray now = space.read(sitemap);
    const QString context = QStringLiteral("run %1, stop after %2 ms").arg(run).arg(delay);
    if (label->text() == QString::fromUtf8(kDoneText)) {
      QVERIFY2(now == complete, qPrintable(context));
    } else {
      ++stoppedRuns;
      QVERIFY2(now == "previous", qPrintable(context));
    }
    const QStringList temps = QDir(space.path(QStringLiteral("site"))).entryList({QStringLiteral(".nubika_sitemap.tmp-*")}, QDir::Files | QDir::Hidden);
    QVERIFY2(temps.isEmpty(), qPrintable(context + QStringLiteral(": ") + temps.join(QLatin1Char(' '))));
  }
  // Stops that all came too late would test nothing.
  QVERIFY(stoppedRuns > kStops / 4);
  qInfo("%d of %d runs were stopped before their end; one whole run took %d ms", stoppedRuns, kStops, runMs);
  window.FormDestroy();
}

QTEST_MAIN(TestWindowStops)
#include "tst_windowstops.moc"
