// The main window as the user drives it: layout, the two window states,
// runs from start to end, stops at either stage, and drops.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QTableWidget>
#include <QDropEvent>
#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScreen>
#include <QtTest>
#include <algorithm>
#include <chrono>
#include <thread>

#include "FakeDirectoryLister.h"
#include "WindowFixture.h"
#include "app/ElidedLabel.h"
#include "app/ScreenFit.h"
#include "app/TfrmOptions.h"

namespace {

const char* const kRunInputs[] = {"chkIsPriority", "chkIsChangeFreq", "chkIsLastMod", "ChkIsMobile",
                                  "listKakuchoshi", "edtAddKaku",     "btnAddKaku",   "edtLocalPath",
                                  "edtBaseURL",    "btnLocalPath",    "btnMake"};
const char* const kAlwaysUsable[] = {"btnEnd", "menuExit", "mnuAbout", "mnutoha", "mnuGuide"};
constexpr int kRunTimeout = 30000;

QString U(const char* text) { return QString::fromUtf8(text); }

QStringList ListTexts(const QListWidget& list) {
  QStringList texts;
  for (int row = 0; row < list.count(); ++row) texts << list.item(row)->text();
  return texts;
}

bool IsEnabled(const QObject& window, const char* name) {
  if (auto* widget = Find<QWidget>(window, name)) return widget->isEnabled();
  if (auto* action = Find<QAction>(window, name)) return action->isEnabled();
  return false;
}

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void layoutAsDrawnWithReadableCaptions_data();
  void layoutAsDrawnWithReadableCaptions();
  void menusAndTabOrder();
  void statesFollowTheRun_data();
  void statesFollowTheRun();
  void threeEntriesShowEachPercentageThenOpenTheFolder();
  void runTakesInputsAsTheyAreWhenItStarts();
  void emptyOrMissingFolderFails_data();
  void emptyOrMissingFolderFails();
  void stopDuringScanKeepsThePreviousSitemap();
  void stopDuringWritingKeepsThePreviousSitemap();
  void failedWriteKeepsThePreviousSitemap();
  void stopWhenIdleDoesNothing();
  void runAfterStopStartsClean();
  void stopWhileTheApplicationEnds();
  void emptyFolderFieldStartsNothing();
  void refusedInputsStartNothing();
  void drops_data();
  void drops();
  void dropDuringRunIsRefused();
  void deletingLeavesNothingSelected();
  void aRequestToEndClosesAnOpenBoxAsCancelled();
  void resultViewListsWhatWasLeftOut();
  void resultViewSaysWhyARunFailed();
  void resultViewCountsTheParts();
  void resultViewCountsWhatChangedSinceTheLastRun();
  void scanShowsAGrowingFileCount();
  void japaneseHostIsConverted();
  void optionsThatShapeTheOutputAreNamed();
  void aPlaceIsKeptOnAScreen_data();
  void aPlaceIsKeptOnAScreen();
  void searchEngineReportsAreJapanese();

 private:
  std::unique_ptr<TfrmMain> MakeWindow();
  void StartAndWait(TfrmMain& window, const QString& folder);
  void Drop(TfrmMain& window, const QList<QUrl>& urls);

  std::unique_ptr<Workspace> space_;
  std::unique_ptr<UrlRecorder> urls_;
  FakePrompter prompter_;
  GatedLister* lister_ = nullptr;
  HeldFileLayer* files_ = nullptr;
  std::unique_ptr<GatedLister> ownLister_;
  std::unique_ptr<HeldFileLayer> ownFiles_;
  std::unique_ptr<FakeDirectoryLister> fake_;
};

void TestMainWindow::init() {
  space_ = std::make_unique<Workspace>();
  QVERIFY(space_->valid());
  urls_ = std::make_unique<UrlRecorder>();
  prompter_ = FakePrompter();
  lister_ = nullptr;
  files_ = nullptr;
}

void TestMainWindow::cleanup() {
  urls_.reset();
  ownLister_.reset();
  ownFiles_.reset();
  fake_.reset();
  space_.reset();
}

std::unique_ptr<TfrmMain> TestMainWindow::MakeWindow() {
  TfrmMain::Environment environment = space_->environment(&prompter_);
  environment.lister = fake_ ? static_cast<DirectoryLister*>(fake_.get()) : lister_;
  environment.outputFiles = files_;
  auto window = std::make_unique<TfrmMain>(environment);
  window->FormCreate();
  // Inputs a run can write with; tests that need others set them.
  Find<QLineEdit>(*window, "edtBaseURL")->setText(QStringLiteral("https://example.jp/"));
  Find<QListWidget>(*window, "listKakuchoshi")->addItem(QStringLiteral("html"));
  return window;
}

void TestMainWindow::StartAndWait(TfrmMain& window, const QString& folder) {
  Find<QLineEdit>(window, "edtLocalPath")->setText(folder);
  Find<QPushButton>(window, "btnMake")->click();
  QTRY_VERIFY_WITH_TIMEOUT(!window.isRunning(), kRunTimeout);
}

void TestMainWindow::Drop(TfrmMain& window, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &drop);
}

// At the design's text size every control stands where it was drawn; a
// larger desktop font makes the window larger in step. Either way every
// caption fits, and the window may be resized: the fields and the list
// grow with it, the commands keep to its right edge.
void TestMainWindow::layoutAsDrawnWithReadableCaptions_data() {
  QTest::addColumn<int>("textPixels");
  QTest::newRow("as drawn") << 12;
  QTest::newRow("larger desktop font") << 16;
  QTest::newRow("wider than the screen") << 18;  // 804 pixels on one of 800
}

void TestMainWindow::layoutAsDrawnWithReadableCaptions() {
  QFETCH(int, textPixels);
  const QFont desktop = QApplication::font();
  QFont font = desktop;
  font.setPixelSize(textPixels);
  QApplication::setFont(font);
  auto window = MakeWindow();
  QApplication::setFont(desktop);
  const double scale = textPixels / 12.0;
  const auto scaled = [scale](QRect drawn) {
    return QRect(qRound(drawn.x() * scale), qRound(drawn.y() * scale), qRound(drawn.width() * scale),
                 qRound(drawn.height() * scale));
  };
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const QSize drawnClient = scaled(QRect(0, 0, 536, 297)).size();
  const bool fits = drawnClient.width() <= screen.width();
  // Too wide for the screen: as wide as the screen less the frame's few
  // pixels, and on it.
  if (fits)
    QCOMPARE(window->centralWidget()->size(), drawnClient);
  else
    QVERIFY2(window->width() < screen.width() && window->width() >= screen.width() - 8, qPrintable(QString::number(window->width())));
  QCOMPARE(window->centralWidget()->height(), drawnClient.height());
  QVERIFY(screen.contains(QRect(window->pos(), window->size())));
  QVERIFY(window->minimumSize().width() < window->width() && window->minimumSize().height() < window->height());
  QCOMPARE(window->windowTitle(), U("ヌビカサイトマップ生成"));
  QCOMPARE(QFontInfo(window->font()).family(), QStringLiteral("IPAPGothic"));
  QCOMPARE(QFontInfo(window->font()).pixelSize(), textPixels);

  const struct {
    const char* name;
    QRect drawn;
  } placed[] = {{"edtLocalPath", {32, 28, 273, 20}}, {"listKakuchoshi", {224, 176, 145, 97}},
                {"btnEnd", {416, 264, 105, 22}},     {"Panel1", {24, 120, 353, 169}}};
  const int narrower = drawnClient.width() - window->centralWidget()->width();
  QCOMPARE(Find<QWidget>(*window, "edtLocalPath")->geometry(), scaled(placed[0].drawn).adjusted(0, 0, -narrower, 0));
  QCOMPARE(Find<QWidget>(*window, "listKakuchoshi")->geometry(), scaled(placed[1].drawn).translated(-narrower, 0));
  QCOMPARE(Find<QWidget>(*window, "btnEnd")->geometry(), scaled(placed[2].drawn).translated(-narrower, 0));
  QCOMPARE(Find<QWidget>(*window, "Panel1")->geometry(), scaled(placed[3].drawn).adjusted(0, 0, -narrower, 0));
  QCOMPARE(Find<QProgressBar>(*window, "prgStat")->value(), 100);
  QCOMPARE(Find<QWidget>(*window, "edtBaseURL")->toolTip(),
           U("サイトマップ作成対象となるホームページのURLを指定してください"));

  // Every caption fits its control and stays inside the window.
  const QRect client = window->centralWidget()->rect();
  for (auto* button : window->findChildren<QAbstractButton*>()) {
    const int needed = button->fontMetrics().horizontalAdvance(button->text());
    const int room = button->width() - (qobject_cast<QCheckBox*>(button) ? 20 : 4);
    QVERIFY2(needed <= room, qPrintable(button->objectName()));
  }
  for (auto* label : window->findChildren<QLabel*>()) {
    if (label->objectName() == QLatin1String("lblStat") || label->text().isEmpty()) continue;
    QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), qPrintable(label->objectName()));
    const QRect onClient(label->mapTo(window->centralWidget(), QPoint(0, 0)), label->size());
    QVERIFY2(client.contains(onClient), qPrintable(label->objectName()));
  }
  // Every status text fits the status label, wrapped as the label wraps
  // (the success text's final line feed only adds an empty line).
  auto* status = Find<QLabel>(*window, "lblStat");
  for (const char* text : {"サイトマップ(nubika_sitemap.xml)生成完了", "サイトマップ作成中100.00%",
                           "サイトマップ生成失敗", "サイトマップ作成中...", "サイトマップ作成を中断しました",
                           "サイトマップ作成中... 1,000,000 ファイル"}) {
    const QRect needed = status->fontMetrics().boundingRect(QRect(0, 0, status->width(), 1000),
                                                            Qt::TextWordWrap, U(text));
    QVERIFY2(needed.width() <= status->width() && needed.height() <= status->height(),
             qPrintable(QStringLiteral("%1x%2 %3").arg(needed.width()).arg(needed.height()).arg(U(text))));
  }
  // Label1 names the extension field; nothing may cover it.
  const QRect label1 = Find<QWidget>(*window, "Label1")->geometry();
  QVERIFY(!label1.intersects(Find<QWidget>(*window, "edtAddKaku")->geometry()));
  QVERIFY(!label1.intersects(Find<QWidget>(*window, "btnAddKaku")->geometry()));

  window->show();
  QRect before[std::size(placed)];
  for (std::size_t i = 0; i < std::size(placed); ++i) before[i] = Find<QWidget>(*window, placed[i].name)->geometry();
  window->resize(window->size() + QSize(100, 60));
  QTRY_COMPARE(Find<QWidget>(*window, "edtLocalPath")->geometry(), before[0].adjusted(0, 0, 100, 0));
  QCOMPARE(Find<QWidget>(*window, "listKakuchoshi")->geometry(), before[1].adjusted(100, 0, 100, 60));
  QCOMPARE(Find<QWidget>(*window, "btnEnd")->geometry(), before[2].translated(100, 60));
  QCOMPARE(Find<QWidget>(*window, "Panel1")->geometry(), before[3].adjusted(0, 0, 100, 60));
  // At its smallest the options panel still holds its boxes, and the
  // extension group stays clear of their captions.
  window->resize(window->minimumSize());
  QTRY_COMPARE(window->centralWidget()->height(), window->minimumSize().height() - window->menuBar()->height());
  const QRect panel = Find<QWidget>(*window, "Panel1")->geometry();
  for (const char* box : {"chkIsPriority", "chkIsChangeFreq", "chkIsLastMod", "ChkIsMobile"}) {
    auto* check = Find<QCheckBox>(*window, box);
    QVERIFY2(panel.contains(check->geometry()), box);
    const int captionEnd = check->x() + 20 + check->fontMetrics().horizontalAdvance(check->text());
    QVERIFY2(captionEnd < Find<QWidget>(*window, "edtAddKaku")->x(), box);
  }
}

void TestMainWindow::menusAndTabOrder() {
  auto window = MakeWindow();
  QCOMPARE(Find<QAction>(*window, "mnuSuspend")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
  QCOMPARE(Find<QAction>(*window, "mnuReadFolder")->text(), U("サイトマップ生成(&M)"));
  QCOMPARE(Find<QMenu>(*window, "mnuMenu")->title(), U("メイン(&M)"));
  QCOMPARE(Find<QMenu>(*window, "mnuHelp")->actions().size(), 3);
  QCOMPARE(Find<QMenu>(*window, "PopupMenu1")->actions().size(), 2);

  const char* const order[] = {"listKakuchoshi", "edtAddKaku",      "btnAddKaku",   "edtBaseURL",
                               "edtLocalPath",   "btnLocalPath",    "chkIsPriority", "chkIsChangeFreq",
                               "chkIsLastMod",   "ChkIsMobile",     "btnMake",       "btnEnd",
                               "btnSuspend"};
  for (std::size_t i = 1; i < std::size(order); ++i) {
    // The next widget that Tab reaches.
    QWidget* next = Find<QWidget>(*window, order[i - 1])->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    QCOMPARE(next->objectName(), QString::fromLatin1(order[i]));
  }

  // Enter in the field adds; Delete on the list asks before it deletes.
  auto* field = Find<QLineEdit>(*window, "edtAddKaku");
  field->setText(QStringLiteral("php"));
  QTest::keyClick(field, Qt::Key_Return);
  auto* list = Find<QListWidget>(*window, "listKakuchoshi");
  QCOMPARE(ListTexts(*list), (QStringList{QStringLiteral("html"), QStringLiteral("php")}));
  QVERIFY(field->text().isEmpty());
  list->setCurrentRow(0);
  prompter_.answer = false;
  QTest::keyClick(list, Qt::Key_Delete);
  QCOMPARE(prompter_.questions.size(), 1u);
  QCOMPARE(prompter_.questions[0].text, U("選択中の拡張子を削除してもいいですか？"));
  QCOMPARE(list->count(), 2);
  prompter_.answer = true;
  QTest::keyClick(list, Qt::Key_Delete);
  QCOMPARE(ListTexts(*list), QStringList{QStringLiteral("php")});
}

// Outcomes: written, failed write, nothing to scan.
void TestMainWindow::statesFollowTheRun_data() {
  QTest::addColumn<QString>("outcome");
  QTest::newRow("written") << "written";
  QTest::newRow("write failed") << "failed";
  QTest::newRow("empty folder") << "empty";
}

void TestMainWindow::statesFollowTheRun() {
  QFETCH(QString, outcome);
  ownLister_ = std::make_unique<GatedLister>();
  lister_ = ownLister_.get();
  ownFiles_ = std::make_unique<HeldFileLayer>();
  ownFiles_->hold = false;
  ownFiles_->failCreate = outcome == QLatin1String("failed");
  files_ = ownFiles_.get();
  if (outcome != QLatin1String("empty")) space_->write(QStringLiteral("site/a.html"));
  QDir().mkpath(space_->path(QStringLiteral("site")));
  auto window = MakeWindow();

  Find<QLineEdit>(*window, "edtLocalPath")->setText(space_->path(QStringLiteral("site")));
  Find<QPushButton>(*window, "btnMake")->click();
  QVERIFY(window->isRunning());
  for (const char* name : kRunInputs) QVERIFY2(!IsEnabled(*window, name), name);
  QVERIFY(!IsEnabled(*window, "mnuReadFolder"));
  QVERIFY(!IsEnabled(*window, "mnuOptions"));
  QVERIFY(IsEnabled(*window, "btnSuspend"));
  QVERIFY(IsEnabled(*window, "mnuSuspend"));
  for (const char* name : kAlwaysUsable) QVERIFY2(IsEnabled(*window, name), name);

  lister_->gate.Open();
  QTRY_VERIFY_WITH_TIMEOUT(!window->isRunning(), kRunTimeout);
  for (const char* name : kRunInputs) QVERIFY2(IsEnabled(*window, name), name);
  QVERIFY(IsEnabled(*window, "mnuReadFolder"));
  QVERIFY(IsEnabled(*window, "mnuOptions"));
  QVERIFY(!IsEnabled(*window, "btnSuspend"));
  QVERIFY(!IsEnabled(*window, "mnuSuspend"));
  const QString status = Find<QLabel>(*window, "lblStat")->text();
  QCOMPARE(status, outcome == QLatin1String("written") ? U("サイトマップ(nubika_sitemap.xml)生成完了\n")
                                                       : U("サイトマップ生成失敗"));
  // The reason, or the counts, wait in the label's tooltip.
  const QString details = Find<QLabel>(*window, "lblStat")->toolTip();
  const QString expected = outcome == QLatin1String("written")  ? U("URL: 1件")
                           : outcome == QLatin1String("failed") ? U("理由: サイトマップを書き込めません: cannot write ")
                                                                : U("理由: フォルダ ") + space_->path(QStringLiteral("site"));
  QVERIFY2(details.startsWith(expected), qPrintable(details));
}

void TestMainWindow::threeEntriesShowEachPercentageThenOpenTheFolder() {
  space_->write(QStringLiteral("site/index.html"));
  space_->write(QStringLiteral("site/docs/page.html"));
  auto window = MakeWindow();
  Find<QLineEdit>(*window, "edtBaseURL")->setText(QStringLiteral("https://example.jp/"));

  QStringList seen;
  auto* label = Find<QLabel>(*window, "lblStat");
  connect(Find<QProgressBar>(*window, "prgStat"), &QProgressBar::valueChanged, this,
          [&](int value) { seen << QString::number(value) + QLatin1Char(' ') + label->text(); });
  StartAndWait(*window, space_->path(QStringLiteral("site")));

  QCOMPARE(seen, (QStringList{U("0 サイトマップ作成中0.00%"), U("33 サイトマップ作成中33.33%"),
                              U("66 サイトマップ作成中66.67%"), U("100 サイトマップ作成中100.00%")}));
  QCOMPARE(label->text(), U("サイトマップ(nubika_sitemap.xml)生成完了\n"));
  QCOMPARE(urls_->opened, QList<QUrl>{QUrl::fromLocalFile(space_->path(QStringLiteral("site")))});
  const QByteArray sitemap = space_->read(QStringLiteral("site/nubika_sitemap.xml"));
  QVERIFY(sitemap.contains("<loc>https://example.jp/docs/page.html</loc>"));
  QVERIFY(sitemap.contains("<loc>https://example.jp/index.html</loc>"));
}

// The writer works while the scan goes on, so the run reads the inputs
// once, as it starts; the window keeps them disabled until it is over.
void TestMainWindow::runTakesInputsAsTheyAreWhenItStarts() {
  ownLister_ = std::make_unique<GatedLister>();
  lister_ = ownLister_.get();
  space_->write(QStringLiteral("site/a.html"));
  space_->write(QStringLiteral("site/b.htm"));
  auto window = MakeWindow();
  Find<QLineEdit>(*window, "edtBaseURL")->setText(QStringLiteral("https://old.example/"));
  Find<QLineEdit>(*window, "edtLocalPath")->setText(space_->path(QStringLiteral("site")));
  Find<QPushButton>(*window, "btnMake")->click();
  QTRY_VERIFY_WITH_TIMEOUT(lister_->gate.arrived(), kRunTimeout);
  Find<QLineEdit>(*window, "edtBaseURL")->setText(QStringLiteral("https://new.example/"));
  Find<QListWidget>(*window, "listKakuchoshi")->clear();
  Find<QListWidget>(*window, "listKakuchoshi")->addItem(QStringLiteral("htm"));
  lister_->gate.Open();
  QTRY_VERIFY_WITH_TIMEOUT(!window->isRunning(), kRunTimeout);
  const QByteArray sitemap = space_->read(QStringLiteral("site/nubika_sitemap.xml"));
  QVERIFY(sitemap.contains("<loc>https://old.example/a.html</loc>"));
  QVERIFY(!sitemap.contains("new.example"));
  QVERIFY(!sitemap.contains("b.htm"));
}

void TestMainWindow::emptyOrMissingFolderFails_data() {
  QTest::addColumn<QString>("folder");
  QTest::addColumn<bool>("create");
  QTest::newRow("empty") << "empty" << true;
  QTest::newRow("missing") << "missing" << false;
}

void TestMainWindow::emptyOrMissingFolderFails() {
  QFETCH(QString, folder);
  QFETCH(bool, create);
  if (create) QDir().mkpath(space_->path(folder));
  space_->write(QStringLiteral("file.html"));
  auto window = MakeWindow();
  StartAndWait(*window, space_->path(folder));
  QCOMPARE(Find<QLabel>(*window, "lblStat")->text(), U("サイトマップ生成失敗"));
  QVERIFY(!QFile::exists(space_->path(folder + QStringLiteral("/nubika_sitemap.xml"))));
  QVERIFY(urls_->opened.isEmpty());
  QVERIFY(IsEnabled(*window, "btnMake"));
}

void TestMainWindow::stopDuringScanKeepsThePreviousSitemap() {
  ownLister_ = std::make_unique<GatedLister>();
  lister_ = ownLister_.get();
  space_->write(QStringLiteral("site/a.html"));
  space_->write(QStringLiteral("site/nubika_sitemap.xml"), "previous");
  auto window = MakeWindow();
  Find<QLineEdit>(*window, "edtLocalPath")->setText(space_->path(QStringLiteral("site")));
  Find<QPushButton>(*window, "btnMake")->click();
  QTRY_VERIFY_WITH_TIMEOUT(lister_->gate.arrived(), kRunTimeout);

  // The stop waits for the worker, which waits at the gate: open it once
  // the stop is under way.
  QTimer::singleShot(0, this, [this] { lister_->gate.Open(); });
  Find<QAction>(*window, "mnuSuspend")->trigger();
  QVERIFY(!window->isRunning());
  QCOMPARE(Find<QLabel>(*window, "lblStat")->text(), U("サイトマップ作成を中断しました"));
  QCOMPARE(Find<QLabel>(*window, "lblHeadline")->text(), U("サイトマップ作成を中断しました"));
  QVERIFY(!Find<QLabel>(*window, "lblCause")->isVisibleTo(window->resultView()));
  QCOMPARE(space_->read(QStringLiteral("site/nubika_sitemap.xml")), QByteArray("previous"));
  QCOMPARE(QDir(space_->path(QStringLiteral("site"))).entryList(QDir::Files).size(), 2);
  for (const char* name : kRunInputs) QVERIFY2(IsEnabled(*window, name), name);
  QVERIFY(urls_->opened.isEmpty());
}

void TestMainWindow::stopDuringWritingKeepsThePreviousSitemap() {
  ownFiles_ = std::make_unique<HeldFileLayer>();
  files_ = ownFiles_.get();
  space_->write(QStringLiteral("site/a.html"));
  space_->write(QStringLiteral("site/nubika_sitemap.xml"), "previous");
  auto window = MakeWindow();
  Find<QLineEdit>(*window, "edtLocalPath")->setText(space_->path(QStringLiteral("site")));
  Find<QPushButton>(*window, "btnMake")->click();
  QTRY_VERIFY_WITH_TIMEOUT(files_->gate.arrived(), kRunTimeout);

  QTimer::singleShot(0, this, [this] { files_->gate.Open(); });
  Find<QPushButton>(*window, "btnSuspend")->click();
  QVERIFY(!window->isRunning());
  QCOMPARE(Find<QLabel>(*window, "lblStat")->text(), U("サイトマップ作成を中断しました"));
  QCOMPARE(Find<QLabel>(*window, "lblWritten")->text(), U("以前のサイトマップはそのままです"));
  QCOMPARE(space_->read(QStringLiteral("site/nubika_sitemap.xml")), QByteArray("previous"));
  QCOMPARE(QDir(space_->path(QStringLiteral("site"))).entryList(QDir::Files).size(), 2);  // no temp file left
  QVERIFY(urls_->opened.isEmpty());
}

void TestMainWindow::failedWriteKeepsThePreviousSitemap() {
  ownFiles_ = std::make_unique<HeldFileLayer>();
  ownFiles_->failCreate = true;
  files_ = ownFiles_.get();
  space_->write(QStringLiteral("site/a.html"));
  space_->write(QStringLiteral("site/nubika_sitemap.xml"), "previous");
  auto window = MakeWindow();
  StartAndWait(*window, space_->path(QStringLiteral("site")));
  QCOMPARE(Find<QLabel>(*window, "lblStat")->text(), U("サイトマップ生成失敗"));
  QCOMPARE(space_->read(QStringLiteral("site/nubika_sitemap.xml")), QByteArray("previous"));
}

void TestMainWindow::stopWhenIdleDoesNothing() {
  auto window = MakeWindow();
  Find<QLabel>(*window, "lblStat")->setText(QStringLiteral("before"));
  window->StopRun();
  Find<QAction>(*window, "mnuSuspend")->trigger();  // disabled: no effect
  QVERIFY(!window->isRunning());
  QCOMPARE(Find<QLabel>(*window, "lblStat")->text(), QStringLiteral("before"));
  QVERIFY(IsEnabled(*window, "btnMake"));
  QVERIFY(!IsEnabled(*window, "btnSuspend"));
}

void TestMainWindow::runAfterStopStartsClean() {
  ownLister_ = std::make_unique<GatedLister>();
  lister_ = ownLister_.get();
  space_->write(QStringLiteral("site/a.html"));
  space_->write(QStringLiteral("site/b.html"));
  auto window = MakeWindow();
  Find<QLineEdit>(*window, "edtLocalPath")->setText(space_->path(QStringLiteral("site")));
  Find<QPushButton>(*window, "btnMake")->click();
  QTRY_VERIFY_WITH_TIMEOUT(lister_->gate.arrived(), kRunTimeout);
  QTimer::singleShot(0, this, [this] { lister_->gate.Open(); });
  window->StopRun();
  window->StopRun();  // a second stop finds nothing to stop

  QStringList seen;
  auto* label = Find<QLabel>(*window, "lblStat");
  connect(Find<QProgressBar>(*window, "prgStat"), &QProgressBar::valueChanged, this,
          [&](int) { seen << label->text(); });
  Find<QPushButton>(*window, "btnMake")->click();
  QTRY_VERIFY_WITH_TIMEOUT(!window->isRunning(), kRunTimeout);
  QCOMPARE(seen, (QStringList{U("サイトマップ作成中0.00%"), U("サイトマップ作成中50.00%"), U("サイトマップ作成中100.00%")}));
  QCOMPARE(label->text(), U("サイトマップ(nubika_sitemap.xml)生成完了\n"));
}

// Closing the program while a run goes on: the event loops have been told
// to end, and the stop must still serve the worker until it is done.
void TestMainWindow::stopWhileTheApplicationEnds() {
  ownLister_ = std::make_unique<GatedLister>();
  lister_ = ownLister_.get();
  space_->write(QStringLiteral("site/a.html"));
  auto window = MakeWindow();
  Find<QLineEdit>(*window, "edtLocalPath")->setText(space_->path(QStringLiteral("site")));
  Find<QPushButton>(*window, "btnMake")->click();
  QTRY_VERIFY_WITH_TIMEOUT(lister_->gate.arrived(), kRunTimeout);
  QTimer::singleShot(0, this, [this] { lister_->gate.Open(); });
  QCoreApplication::exit(0);
  window->StopRun();
  QVERIFY(!window->isRunning());
  // Let the application's loop run once more, which clears its exit.
  QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  QCoreApplication::exec();
}

void TestMainWindow::emptyFolderFieldStartsNothing() {
  auto window = MakeWindow();
  Find<QAction>(*window, "mnuReadFolder")->trigger();
  QVERIFY(!window->isRunning());
  QVERIFY(Find<QLabel>(*window, "lblStat")->text().isEmpty());
  QVERIFY(prompter_.notices.isEmpty());
}

// A base URL or a stored exclusion pattern that cannot make a run: a
// notice, no run, nothing written.
void TestMainWindow::refusedInputsStartNothing() {
  space_->write(QStringLiteral("site/index.html"));
  space_->write(QStringLiteral("Setting.ini"), "[SETTING]\n[OPTIONS]\nEXCLUDE=\"drafts/\\n[abc\"\n");
  auto window = MakeWindow();
  Find<QLineEdit>(*window, "edtLocalPath")->setText(space_->path(QStringLiteral("site")));
  Find<QPushButton>(*window, "btnMake")->click();
  QVERIFY(!window->isRunning());
  QCOMPARE(prompter_.notices,
           QStringList{U("除外パターン「[abc」（2番目）は使えません\n1文字目の「[」を閉じる「]」がありません")});
  Find<QLineEdit>(*window, "edtBaseURL")->setText(QStringLiteral("http://example.jp:99999/"));
  Find<QPushButton>(*window, "btnMake")->click();
  QVERIFY(!window->isRunning());
  QCOMPARE(prompter_.notices.size(), 2);
  QCOMPARE(prompter_.notices.back(), U("ホームページのURL(http://～)を正しく指定してください\n"
                                       "ポート番号は1～65535の数字で指定してください"));
  QVERIFY(!QFile::exists(space_->path(QStringLiteral("site/nubika_sitemap.xml"))));
}

void TestMainWindow::drops_data() {
  QTest::addColumn<QStringList>("dropped");
  QTest::addColumn<QString>("expected");
  QTest::newRow("one file") << QStringList{"site/index.html"} << "site";
  QTest::newRow("one folder") << QStringList{"site/docs"} << "site/docs";
  QTest::newRow("two items") << QStringList{"site/index.html", "site/docs"} << "unchanged";
  QTest::newRow("missing path") << QStringList{"site/gone.html"} << "site/gone.html";
}

void TestMainWindow::drops() {
  QFETCH(QStringList, dropped);
  QFETCH(QString, expected);
  space_->write(QStringLiteral("site/index.html"));
  space_->write(QStringLiteral("site/docs/page.html"));
  auto window = MakeWindow();
  auto* field = Find<QLineEdit>(*window, "edtLocalPath");
  field->setText(QStringLiteral("unchanged"));
  QList<QUrl> urls;
  for (const QString& item : dropped) urls << QUrl::fromLocalFile(space_->path(item));
  Drop(*window, urls);
  QCOMPARE(field->text(), expected == QLatin1String("unchanged") ? expected : space_->path(expected));
  QVERIFY(!window->isRunning());
  QVERIFY(prompter_.notices.isEmpty());
}

void TestMainWindow::dropDuringRunIsRefused() {
  ownLister_ = std::make_unique<GatedLister>();
  lister_ = ownLister_.get();
  space_->write(QStringLiteral("site/a.html"));
  space_->write(QStringLiteral("other/b.html"));
  auto window = MakeWindow();
  auto* field = Find<QLineEdit>(*window, "edtLocalPath");
  field->setText(space_->path(QStringLiteral("site")));
  Find<QPushButton>(*window, "btnMake")->click();
  Drop(*window, {QUrl::fromLocalFile(space_->path(QStringLiteral("other")))});
  QCOMPARE(prompter_.notices, QStringList{U("現在取り込み中です。完了まで次の操作はお待ち下さい")});
  QCOMPARE(field->text(), space_->path(QStringLiteral("site")));
  lister_->gate.Open();
  QTRY_VERIFY_WITH_TIMEOUT(!window->isRunning(), kRunTimeout);
}

// A tree with one of each thing a run leaves out, through the test's own
// lister: the result view lists exactly those, in Japanese, and copies
// and saves them as text.
void TestMainWindow::resultViewListsWhatWasLeftOut() {
  using Kind = ListedEntry::Kind;
  const std::string site = space_->bytes(QStringLiteral("site"));
  QDir().mkpath(space_->path(QStringLiteral("site")));
  fake_ = std::make_unique<FakeDirectoryLister>();
  const std::string longName = std::string(2100, 'l') + ".html";
  fake_->Add(site, {{"a.html", Kind::kFile},
                    {"dangling.html", Kind::kBrokenLink},
                    {"fifo.html", Kind::kOther},
                    {"hidden.html", Kind::kFile},
                    {longName, Kind::kFile},
                    {"locked", Kind::kFolder}});
  fake_->Refuse(site + "/locked", "許可がありません");
  fake_->noindex.insert(site + "/hidden.html");
  space_->write(QStringLiteral("Setting.ini"), "[SETTING]\n[OPTIONS]\nSKIP_NOINDEX=1\n");
  QString saved;
  auto window = MakeWindow();
  StartAndWait(*window, space_->path(QStringLiteral("site")));
  QCOMPARE(Find<QLabel>(*window, "lblStat")->text(), U("サイトマップ(nubika_sitemap.xml)生成完了\n"));

  TfrmResult* view = window->resultView();
  QVERIFY(view && view->isVisible() && !view->isModal());
  QCOMPARE(Find<QLabel>(*view, "lblUrlCount")->text(), U("URL 数: 1"));
  QCOMPARE(Find<QLabel>(*view, "lblWritten")->text(),
           U("サイトマップ: ") + space_->path(QStringLiteral("site/nubika_sitemap.xml")));
  QVERIFY(!Find<QLabel>(*view, "lblChanges")->isVisibleTo(view));  // no record of pages kept
  auto* table = Find<QTableWidget>(*view, "tblLeftOut");
  const QStringList expected{U("/locked\t読めないフォルダ\t許可がありません").prepend(QString::fromStdString(site)),
                             U("dangling.html\tリンク切れ\t"), U("fifo.html\t通常のファイルではない\t"),
                             U("hidden.html\tnoindex\t"),
                             QString::fromStdString(longName) + U("\t長すぎる URL\t2124 文字（上限 2048 文字）")};
  QStringList rows = view->RowsText(false).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  rows.sort();
  QStringList sorted = expected;
  sorted.sort();
  QCOMPARE(rows, sorted);

  // Sorted by reason, filtered to one, copied.
  table->sortItems(1);
  QCOMPARE(table->item(0, 1)->text(), U("noindex"));
  auto* filter = Find<QComboBox>(*view, "cmbReason");
  QCOMPARE(filter->count(), 6);  // every reason and the five present
  filter->setCurrentIndex(filter->findText(U("リンク切れ")));
  int shown = 0;
  for (int row = 0; row < table->rowCount(); ++row) shown += table->isRowHidden(row) ? 0 : 1;
  QCOMPARE(shown, 1);
  filter->setCurrentIndex(0);
  table->selectAll();
  table->setFocus();
  QTest::keySequence(table, QKeySequence::Copy);
  QStringList copied = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  copied.sort();
  QCOMPARE(copied, sorted);

  const QString list = space_->path(QStringLiteral("list.txt"));
  QVERIFY(view->SaveList(list));
  QCOMPARE(QString::fromUtf8(space_->read(QStringLiteral("list.txt"))), view->RowsText(false));

  urls_->opened.clear();
  Find<QPushButton>(*view, "btnOpenSitemap")->click();
  Find<QPushButton>(*view, "btnOpenFolder")->click();
  QCOMPARE(urls_->opened, (QList<QUrl>{QUrl::fromLocalFile(space_->path(QStringLiteral("site/nubika_sitemap.xml"))),
                                       QUrl::fromLocalFile(space_->path(QStringLiteral("site")))}));
  Find<QPushButton>(*view, "btnClose")->click();
  QVERIFY(!view->isVisible());
}

// A first start has no extension: the run fails at once, and says what to do.
void TestMainWindow::resultViewSaysWhyARunFailed() {
  space_->write(QStringLiteral("site/a.html"));
  auto window = MakeWindow();
  Find<QListWidget>(*window, "listKakuchoshi")->clear();
  StartAndWait(*window, space_->path(QStringLiteral("site")));
  QCOMPARE(Find<QLabel>(*window, "lblStat")->text(), U("サイトマップ生成失敗"));
  TfrmResult* view = window->resultView();
  QVERIFY(view && view->isVisible());
  QCOMPARE(Find<QLabel>(*view, "lblCause")->text(), U("原因: 対象とする拡張子が1つも登録されていません"));
  QCOMPARE(Find<QLabel>(*view, "lblAdvice")->text(), U("対処: 拡張子を追加してください"));
  QCOMPARE(Find<QLabel>(*view, "lblWritten")->text(), U("サイトマップは作成していません"));  // none was there
  QVERIFY(!Find<QPushButton>(*view, "btnOpenSitemap")->isEnabled());
  QCOMPARE(Find<QTableWidget>(*view, "tblLeftOut")->rowCount(), 0);
}

void TestMainWindow::resultViewCountsTheParts() {
  const std::string site = space_->bytes(QStringLiteral("site"));
  QDir().mkpath(space_->path(QStringLiteral("site")));
  fake_ = std::make_unique<FakeDirectoryLister>();
  std::vector<ListedEntry> pages;
  for (std::size_t n = 0; n <= 50000; ++n) pages.push_back({"p" + std::to_string(n) + ".html", ListedEntry::Kind::kFile});
  fake_->Add(site, std::move(pages));
  space_->write(QStringLiteral("Setting.ini"), "[SETTING]\n[OPTIONS]\nGZIP=1\n");
  auto window = MakeWindow();
  StartAndWait(*window, space_->path(QStringLiteral("site")));
  TfrmResult* view = window->resultView();
  QVERIFY(view);
  QCOMPARE(Find<QLabel>(*view, "lblWritten")->text(),
           U("サイトマップインデックス: %1（パート 2 個、gzip 圧縮）")
               .arg(space_->path(QStringLiteral("site/nubika_sitemap.xml"))));
  QCOMPARE(Find<QLabel>(*view, "lblUrlCount")->text(), U("URL 数: 50,001"));
}

// With content dates the run keeps a ledger where 詳細設定 says: the
// second run counts the page added, the one changed and the one deleted.
void TestMainWindow::resultViewCountsWhatChangedSinceTheLastRun() {
  for (const char* page : {"site/a.html", "site/b.html", "site/c.html"}) space_->write(QLatin1String(page), page);
  const QString ledger = space_->path(QStringLiteral("state/dates.sqlite"));
  QVERIFY(QDir().mkpath(space_->path(QStringLiteral("state"))));
  space_->write(QStringLiteral("Setting.ini"),
                "[SETTING]\nLAST_UPDATE_AUTO=1\n[OPTIONS]\nLASTMOD_FROM=content\nLEDGER=" + QFile::encodeName(ledger) + "\n");
  auto window = MakeWindow();
  StartAndWait(*window, space_->path(QStringLiteral("site")));
  auto* changes = Find<QLabel>(*window->resultView(), "lblChanges");
  QVERIFY2(changes->isVisibleTo(window->resultView()), qPrintable(Find<QLabel>(*window, "lblStat")->toolTip()));
  QCOMPARE(changes->text(), U("追加 3 件 / 更新 0 件 / 削除 0 件"));
  QVERIFY(QFile::exists(ledger));

  space_->write(QStringLiteral("site/a.html"), "a, rewritten");
  QVERIFY(QFile::remove(space_->path(QStringLiteral("site/c.html"))));
  space_->write(QStringLiteral("site/d.html"), "new");
  StartAndWait(*window, space_->path(QStringLiteral("site")));
  QCOMPARE(Find<QLabel>(*window, "lblStat")->text(), U("サイトマップ(nubika_sitemap.xml)生成完了\n"));
  QCOMPARE(changes->text(), U("追加 1 件 / 更新 1 件 / 削除 1 件"));
  QCOMPARE(Find<QLabel>(*window->resultView(), "lblUrlCount")->text(), U("URL 数: 3"));
}

// 200,000 files in 2,000 folders, each listing a little slow: the label
// counts the files as the scan finds them, the bar is busy, and the
// writing then shows its percentage.
void TestMainWindow::scanShowsAGrowingFileCount() {
  const std::string site = space_->bytes(QStringLiteral("site"));
  QDir().mkpath(space_->path(QStringLiteral("site")));
  fake_ = std::make_unique<FakeDirectoryLister>();
  for (int folder = 0; folder < 2000; ++folder) {
    const std::string name = "d" + std::to_string(folder);
    fake_->Dir(site, name);
    std::vector<ListedEntry> files;
    for (int file = 0; file < 100; ++file) files.push_back({"f" + std::to_string(file) + ".html", ListedEntry::Kind::kFile});
    fake_->Add(site + "/" + name, std::move(files));
  }
  fake_->onList = [](const std::string&) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
  auto window = MakeWindow();
  auto* label = Find<QLabel>(*window, "lblStat");
  auto* bar = Find<QProgressBar>(*window, "prgStat");
  Find<QLineEdit>(*window, "edtLocalPath")->setText(space_->path(QStringLiteral("site")));
  Find<QPushButton>(*window, "btnMake")->click();
  const QRegularExpression counting(U("^サイトマップ作成中\\.\\.\\. ([0-9,]+) ファイル$"));
  QList<qulonglong> counts;
  bool busy = false, percentAfter = false;
  QElapsedTimer waited;
  waited.start();
  while (window->isRunning() && waited.elapsed() < kRunTimeout) {
    QTest::qWait(20);
    const QRegularExpressionMatch match = counting.match(label->text());
    if (match.hasMatch()) {
      busy = busy || bar->maximum() == 0;
      const qulonglong count = match.captured(1).remove(QLatin1Char(',')).toULongLong();
      if (counts.isEmpty() || counts.back() != count) counts << count;
      if (count >= 1000) QVERIFY2(match.captured(1).contains(QLatin1Char(',')), qPrintable(label->text()));
    } else if (!counts.isEmpty() && label->text().startsWith(U("サイトマップ作成中")) && label->text().endsWith(U("%"))) {
      percentAfter = true;
    }
  }
  QVERIFY(!window->isRunning());
  QVERIFY2(counts.size() >= 3, qPrintable(QString::number(counts.size())));
  QVERIFY(std::is_sorted(counts.begin(), counts.end()));
  QVERIFY(counts.back() <= 200000);
  QVERIFY(busy);
  QVERIFY(percentAfter);
  QCOMPARE(bar->maximum(), 100);
  QCOMPARE(label->text(), U("サイトマップ(nubika_sitemap.xml)生成完了\n"));
}

// A Japanese host is written in its IDNA form; one that has none is
// refused with its reason.
void TestMainWindow::japaneseHostIsConverted() {
  space_->write(QStringLiteral("site/a.html"));
  auto window = MakeWindow();
  Find<QLineEdit>(*window, "edtBaseURL")->setText(U("https://例え.jp/"));
  StartAndWait(*window, space_->path(QStringLiteral("site")));
  QVERIFY(space_->read(QStringLiteral("site/nubika_sitemap.xml")).contains("<loc>https://xn--r8jz45g.jp/a.html</loc>"));
  Find<QLineEdit>(*window, "edtBaseURL")->setText(U("https://☃.jp/"));
  Find<QPushButton>(*window, "btnMake")->click();
  QVERIFY(!window->isRunning());
  QCOMPARE(prompter_.notices.size(), 1);
  QVERIFY2(prompter_.notices.back().endsWith(U("国際化ドメイン名（xn--）に変換できません。使えない文字やハイフンの位置を確かめてください")),
           qPrintable(prompter_.notices.back()));
}

void TestMainWindow::optionsThatShapeTheOutputAreNamed() {
  space_->write(QStringLiteral("Setting.ini"),
                "[SETTING]\n[OPTIONS]\nEXCLUDE=\"drafts/\\n*.bak\\ntmp/\"\nSKIP_NOINDEX=1\nGZIP=1\n");
  auto window = MakeWindow();
  auto* line = Find<QLabel>(*window, "lblOptions");
  QCOMPARE(line->text(), U("詳細設定: 除外 3 件, noindex を除く, gzip"));
  QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= line->width());

  // The index names count only with folder URLs; the date applies with
  // the main window's box.
  TfrmOptions dialog;
  GenerationInputs inputs;
  dialog.Show(inputs);
  auto* names = Find<QLineEdit>(dialog, "edtIndexNames");
  QVERIFY(!names->isEnabled());
  Find<QCheckBox>(dialog, "chkFolderUrls")->setChecked(true);
  QVERIFY(names->isEnabled());
  inputs.folderUrls = true;
  dialog.Show(inputs);
  QVERIFY(names->isEnabled());
  QCOMPARE(Find<QLabel>(dialog, "lblLastModNote")->text(),
           U("メイン画面の「最終更新日を指定」にチェックがあるときに使います"));
  // The ledger's field counts only with content dates; empty is its usual
  // place, and a path comes back as the bytes it was.
  auto* ledger = Find<QLineEdit>(dialog, "edtLedger");
  QVERIFY(!ledger->isEnabled() && !Find<QPushButton>(dialog, "btnLedger")->isEnabled());
  inputs.lastModFromContent = true;
  inputs.ledgerPath = "/var/lib/\xff/dates.sqlite";
  dialog.Show(inputs);
  QVERIFY(ledger->isEnabled() && Find<QCheckBox>(dialog, "chkDigestText")->isEnabled());
  QCOMPARE(dialog.Applied(GenerationInputs{}), inputs);
  // git is content's rule with commit dates: both come back from the
  // choice, and the ledger's field stays.
  auto* dates = Find<QComboBox>(dialog, "cmbLastModFrom");
  inputs.lastModFromGit = true;
  dialog.Show(inputs);
  QCOMPARE(dates->currentIndex(), 3);
  QVERIFY(ledger->isEnabled());
  QCOMPARE(dialog.Applied(GenerationInputs{}), inputs);
  dates->setCurrentIndex(2);
  QVERIFY(dialog.Applied({}).lastModFromContent && !dialog.Applied({}).lastModFromGit);
  ledger->clear();
  QVERIFY(dialog.Applied(inputs).ledgerPath.empty());

  auto empty = std::make_unique<Workspace>();
  space_.swap(empty);
  auto plain = MakeWindow();
  QVERIFY(Find<QLabel>(*plain, "lblOptions")->text().isEmpty());
  plain.reset();

  // Every option on: the line ends in "…" where the window is too narrow,
  // and its tooltip says it whole.
  space_->write(QStringLiteral("Setting.ini"),
                "[OPTIONS]\nLASTMOD_FROM=content\nDIGEST=text\nEXCLUDE=drafts/\nSKIP_NOINDEX=1\nFOLDER_URLS=1\n"
                "FOLLOW_LINKS=1\nGZIP=1\nCANONICAL=1\nROBOTS_TXT=1\nROBOTS_SITEMAP_LINE=1\nHREFLANG=1\n");
  auto full = MakeWindow();
  auto* everything = Find<ElidedLabel>(*full, "lblOptions");
  QCOMPARE(everything->text(), U("詳細設定: 日付は見える文字の変更日, 除外 1 件, noindex を除く, フォルダの URL, "
                                 "リンクの先も調べる, gzip, canonical 確認, robots.txt 準拠, Sitemap 行追加, "
                                 "hreflang 確認"));
  QVERIFY(everything->elided());
  QVERIFY(everything->toolTip().startsWith(everything->text() + QLatin1Char('\n')));
  full->resize(full->width() + everything->fontMetrics().horizontalAdvance(everything->text()), full->height());
  full->show();
  QTRY_VERIFY(!everything->elided());
}

// Two screens side by side, the primary one at the right of the other.
void TestMainWindow::aPlaceIsKeptOnAScreen_data() {
  QTest::addColumn<QRect>("wanted");
  QTest::addColumn<QRect>("placed");
  QTest::newRow("on the primary screen") << QRect(100, 50, 600, 400) << QRect(100, 50, 600, 400);
  QTest::newRow("on the other screen") << QRect(-1200, 0, 600, 400) << QRect(-1200, 0, 600, 400);
  QTest::newRow("across the right edge") << QRect(1700, 900, 600, 400) << QRect(1320, 640, 600, 400);
  QTest::newRow("mostly on the other screen") << QRect(-500, 100, 600, 400) << QRect(-600, 100, 600, 400);
  QTest::newRow("off every screen") << QRect(5000, -3000, 600, 400) << QRect(1320, 0, 600, 400);
  QTest::newRow("larger than its screen") << QRect(-1300, 0, 1400, 900) << QRect(-1280, 0, 1280, 768);
  QTest::newRow("smaller than allowed") << QRect(10, 10, 200, 100) << QRect(10, 10, 540, 330);
}

void TestMainWindow::aPlaceIsKeptOnAScreen() {
  QFETCH(QRect, wanted);
  QFETCH(QRect, placed);
  const QList<QRect> screens{QRect(0, 0, 1920, 1040), QRect(-1280, 0, 1280, 768)};
  QCOMPARE(ScreenFit::Fitted(wanted, screens, QSize(540, 330)), placed);
}

// What --canonical, --robots-txt and --hreflang find, on real pages, is
// listed in the result view in Japanese; the options are named on the
// main window and kept by the options dialog.
void TestMainWindow::searchEngineReportsAreJapanese() {
  const auto page = [](const char* head) {
    return QByteArray("<!DOCTYPE html><html><head>") + head + "</head><body>x</body></html>";
  };
  space_->write(QStringLiteral("site/a.html"), page("<link rel=canonical href=/b.html>"));
  space_->write(QStringLiteral("site/b.html"), page("<link rel=alternate hreflang=en href=b.html>"
                                                    "<link rel=alternate hreflang=ja href=c.html>"));
  space_->write(QStringLiteral("site/c.html"), page("<link rel=canonical href=\"file:///c.html\">"));
  space_->write(QStringLiteral("site/private/d.html"), page(""));
  space_->write(QStringLiteral("site/robots.txt"), "User-agent: *\nDisallow: /private/\n");
  space_->write(QStringLiteral("Setting.ini"),
                "[SETTING]\n[OPTIONS]\nCANONICAL=1\nROBOTS_TXT=1\nROBOTS_AGENT=Googlebot\nHREFLANG=1\n");
  auto window = MakeWindow();
  QCOMPARE(Find<QLabel>(*window, "lblOptions")->text(),
           U("詳細設定: canonical 確認, robots.txt 準拠 (Googlebot), hreflang 確認"));
  StartAndWait(*window, space_->path(QStringLiteral("site")));
  TfrmResult* view = window->resultView();
  QVERIFY(view);
  QStringList rows = view->RowsText(false).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  rows.sort();
  const QString robots = space_->path(QStringLiteral("site/robots.txt"));
  QStringList expected{
      U("a.html\tcanonical が別の URL\tcanonical: https://example.jp/b.html（このページは載せません）"),
      U("b.html\threflang の相互リンクなし\t言語版 https://example.jp/c.html からこのページへのリンクがありません"),
      U("c.html\tcanonical が http(s) でない\tcanonical「file:///c.html」は http でも https でもないため無視し、"
        "ページは載せました"),
      U("private/d.html\trobots.txt で禁止\t規則: Disallow: /private/"),
      robots + U("\trobots.txt に Sitemap: 行がない\thttps://example.jp/nubika_sitemap.xml を示す Sitemap: 行があり"
                 "ません（「robots.txt に Sitemap: 行を追加する」で追加できます）")};
  expected.sort();
  QCOMPARE(rows, expected);

  TfrmOptions dialog;
  GenerationInputs inputs;
  inputs.canonical = inputs.robotsTxt = inputs.robotsSitemapLine = inputs.hreflang = true;
  inputs.robotsAgent = "Googlebot";
  dialog.Show(inputs);
  QCOMPARE(dialog.Applied(GenerationInputs{}), inputs);
  Find<QCheckBox>(dialog, "chkRobotsSitemapLine")->setChecked(false);
  Find<QLineEdit>(dialog, "edtRobotsAgent")->clear();
  inputs.robotsSitemapLine = false;
  inputs.robotsAgent = "*";  // an empty name stands for any crawler
  QCOMPARE(dialog.Applied(GenerationInputs{}), inputs);
}

QTEST_MAIN(TestMainWindow)
// The question is asked with a neighbour of the deleted entry nearby: a
// second delete must find nothing chosen, not an entry the user never
// picked.
void TestMainWindow::deletingLeavesNothingSelected() {
  auto window = MakeWindow();
  window->show();
  auto* list = Find<QListWidget>(*window, "listKakuchoshi");
  list->addItem(QStringLiteral("htm"));
  list->addItem(QStringLiteral("php"));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
  QCOMPARE(list->selectedItems().size(), 1);
  QCOMPARE(list->selectedItems().first()->text(), QStringLiteral("htm"));

  Find<QAction>(*window, "Delete1")->trigger();
  QCOMPARE(ListTexts(*list), (QStringList{"html", "php"}));
  QVERIFY(list->selectedItems().isEmpty());
  Find<QAction>(*window, "Delete1")->trigger();
  QCOMPARE(ListTexts(*list), (QStringList{"html", "php"}));
  QCOMPARE(prompter_.questions.size(), std::size_t(2));  // asked both times, as before
}

// A signal from outside ends the program like its close command: a box
// that is open closes as if cancelled, and then the window closes.
void TestMainWindow::aRequestToEndClosesAnOpenBoxAsCancelled() {
  TfrmMain::Environment environment = space_->environment(nullptr);  // the real boxes
  TfrmMain window(environment);
  QVERIFY(window.FormCreate());
  window.show();
  auto* list = Find<QListWidget>(window, "listKakuchoshi");
  list->addItem(QStringLiteral("html"));
  list->setCurrentRow(0);
  QTimer::singleShot(0, &window, [&window] {
    if (QApplication::activeModalWidget()) window.EndOnRequest();
  });
  Find<QAction>(window, "Delete1")->trigger();  // asks, and waits for the answer
  QCOMPARE(list->count(), 1);
  QTRY_VERIFY(!window.isVisible());
}

#include "tst_mainwindow.moc"
