// The program as a whole: start-up behind the instance guard, the
// command-line run and its exit status, the settings through the window,
// the extension list, the folder chooser, the about box and the help.

#include <QCheckBox>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QScreen>
#include <QtTest>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "FaultyFileLayer.h"
#include "WindowFixture.h"
#include "app/InstanceGuard.h"
#include "app/TfrmVersionInfo.h"

namespace {

constexpr int kRunTimeout = 30000;

QString U(const char* text) { return QString::fromUtf8(text); }

// The real file layer; the settings file's replacement fails at its first
// step, or is watched at its last one.
class SettingsDisk : public PosixFileLayer {
 public:
  bool failCreate = false;
  std::function<void()> onRename;
  int CreateTemp(int folder, std::string* name, std::string* error) override {
    if (failCreate) {
      *error = "Read-only file system";
      return -1;
    }
    return PosixFileLayer::CreateTemp(folder, name, error);
  }
  bool Rename(int folder, const std::string& from, const std::string& to, std::string* error) override {
    if (onRename) onRename();
    return PosixFileLayer::Rename(folder, from, to, error);
  }
};

}  // namespace

class TestApplication : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void secondInstanceNeitherLoadsNorSaves();
  void killedHolderDoesNotBlock();
  void guardIsReleasedAfterTheSave();
  void commandLineRunEndsWithItsResult_data();
  void commandLineRunEndsWithItsResult();
  void missingCommandLinePathStartsIdle();
  void programExitStatus();
  void signalStopsACommandLineRunAndSaves();
  void signalWhileIdleEndsWithZeroAndSaves();
  void settingsRoundTrip();
  void theWindowsSizeAndPlaceAreKept();
  void anOptionChangedInTheDialogReachesTheSitemapAndIsKept();
  void undecodableTextsKeepTheirBytes();
  void unwritableSettingsReportThePath();
  void unreadableSettingsAreKept_data();
  void unreadableSettingsAreKept();
  void settingsWarningsShowInTheStatus();
  void oneShotRunNeverWaitsForAClick();
  void closingDuringRunStopsThenSaves();
  void addExtension();
  void deleteAndClearAskFirst();
  void folderChooser();
  void aboutBoxIsOneWindow();
  void helpMenusOpenTheShippedPages();
  void boxesOfferTheRightButtons();

 private:
  std::unique_ptr<TfrmMain> MakeWindow(const std::optional<std::string>& argument = std::nullopt,
                                       bool* started = nullptr);
  void WriteSettings(const QByteArray& body) const;
  QStringList ListItems(const TfrmMain& window) const;

  std::unique_ptr<Workspace> space_;
  std::unique_ptr<UrlRecorder> urls_;
  FakePrompter prompter_;
  TfrmMain::Environment extra_;
};

void TestApplication::init() {
  space_ = std::make_unique<Workspace>();
  QVERIFY(space_->valid());
  urls_ = std::make_unique<UrlRecorder>();
  prompter_ = FakePrompter();
  extra_ = TfrmMain::Environment();
}

void TestApplication::cleanup() {
  urls_.reset();
  space_.reset();
}

std::unique_ptr<TfrmMain> TestApplication::MakeWindow(const std::optional<std::string>& argument, bool* started) {
  TfrmMain::Environment environment = space_->environment(&prompter_);
  environment.settingsFiles = extra_.settingsFiles;
  environment.lister = extra_.lister;
  environment.folderChooser = extra_.folderChooser;
  auto window = std::make_unique<TfrmMain>(environment);
  const bool result = window->FormCreate(argument);
  if (started) *started = result;
  return window;
}

void TestApplication::WriteSettings(const QByteArray& body) const {
  space_->write(QStringLiteral("Setting.ini"), "[SETTING]\n" + body);
}

QStringList TestApplication::ListItems(const TfrmMain& window) const {
  QStringList items;
  auto* list = Find<QListWidget>(window, "listKakuchoshi");
  for (int row = 0; row < list->count(); ++row) items << list->item(row)->text();
  return items;
}

void TestApplication::secondInstanceNeitherLoadsNorSaves() {
  WriteSettings("LOCAL_FOLDER=/srv/site\nKAKUCHO=htm,\n");
  const QByteArray stored = space_->read(QStringLiteral("Setting.ini"));
  QProcess holder;
  holder.start(QStringLiteral(LOCK_HOLDER), {space_->environment(&prompter_).guardName});
  QVERIFY(holder.waitForReadyRead(kRunTimeout));
  QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));

  bool started = true;
  auto window = MakeWindow(space_->bytes(QStringLiteral("site")), &started);
  QVERIFY(!started);
  QCOMPARE(prompter_.notices, QStringList{U("複数起動は出来ません")});
  QVERIFY(Find<QLineEdit>(*window, "edtLocalPath")->text().isEmpty());
  QVERIFY(!window->isRunning());
  window.reset();
  QCOMPARE(space_->read(QStringLiteral("Setting.ini")), stored);
  // The first instance keeps running and keeps its lock.
  QCOMPARE(holder.state(), QProcess::Running);
  QCOMPARE(InstanceGuard(space_->environment(&prompter_).guardName).acquire(), InstanceGuard::State::kHeldByAnother);
  holder.closeWriteChannel();
  QVERIFY(holder.waitForFinished(kRunTimeout));
}

void TestApplication::killedHolderDoesNotBlock() {
  QProcess holder;
  holder.start(QStringLiteral(LOCK_HOLDER), {space_->environment(&prompter_).guardName});
  QVERIFY(holder.waitForReadyRead(kRunTimeout));
  ::kill(static_cast<pid_t>(holder.processId()), SIGKILL);
  QVERIFY(holder.waitForFinished(kRunTimeout));

  bool started = false;
  auto window = MakeWindow(std::nullopt, &started);
  QVERIFY(started);
  QVERIFY(prompter_.notices.isEmpty());
}

// A new instance may start only once the settings are on disk.
void TestApplication::guardIsReleasedAfterTheSave() {
  SettingsDisk disk;
  extra_.settingsFiles = &disk;
  const QString name = space_->environment(&prompter_).guardName;
  InstanceGuard::State duringSave = InstanceGuard::State::kNotTried;
  disk.onRename = [&] { duringSave = InstanceGuard(name).acquire(); };
  auto window = MakeWindow();
  window->FormDestroy();
  QCOMPARE(duringSave, InstanceGuard::State::kHeldByAnother);
  QCOMPARE(InstanceGuard(name).acquire(), InstanceGuard::State::kHeld);
}

void TestApplication::commandLineRunEndsWithItsResult_data() {
  QTest::addColumn<QString>("argument");
  QTest::addColumn<int>("exitCode");
  QTest::addColumn<QString>("sitemapFolder");
  QTest::newRow("folder") << "site" << 0 << "site";
  QTest::newRow("file in a folder") << "site/a.html" << 0 << "site";
  QTest::newRow("empty folder") << "empty" << 1 << "";
  // Run from inside the site: a bare file name stands for the current folder.
  QTest::newRow("bare file name") << "a.html" << 0 << "site";
}

void TestApplication::commandLineRunEndsWithItsResult() {
  QFETCH(QString, argument);
  QFETCH(int, exitCode);
  QFETCH(QString, sitemapFolder);
  space_->write(QStringLiteral("site/a.html"));
  QDir().mkpath(space_->path(QStringLiteral("empty")));
  WriteSettings("LOCAL_FOLDER=/srv/stored\nBASE_URL=https://stored.example/\nKAKUCHO=html,\n");

  const QString home = QDir::currentPath();
  const bool bare = !argument.contains(QLatin1Char('/')) && argument.contains(QLatin1Char('.'));
  if (bare) QDir::setCurrent(space_->path(QStringLiteral("site")));
  TfrmMain window(space_->environment(&prompter_));
  QSignalSpy ended(&window, &TfrmMain::endRequested);
  const bool started = window.FormCreate(bare ? argument.toStdString() : space_->bytes(argument));
  QDir::setCurrent(home);
  QVERIFY(started);
  QVERIFY(window.isRunning());
  QCOMPARE(Find<QLineEdit>(window, "edtLocalPath")->text(), QStringLiteral("/srv/stored"));
  QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, kRunTimeout);
  QCOMPARE(ended.at(0).at(0).toInt(), exitCode);
  QCOMPARE(window.exitCode(), exitCode);
  if (!sitemapFolder.isEmpty()) {
    // The settings loaded at start-up are the run's inputs.
    QVERIFY(space_->read(sitemapFolder + QStringLiteral("/nubika_sitemap.xml"))
                .contains("<loc>https://stored.example/a.html</loc>"));
  }
  Find<QLineEdit>(window, "edtBaseURL")->setText(QStringLiteral("https://changed.example/"));
  window.FormDestroy();
  QVERIFY(space_->read(QStringLiteral("Setting.ini")).contains("BASE_URL=https://changed.example/"));
}

void TestApplication::missingCommandLinePathStartsIdle() {
  TfrmMain window(space_->environment(&prompter_));
  QSignalSpy ended(&window, &TfrmMain::endRequested);
  QVERIFY(window.FormCreate(space_->bytes(QStringLiteral("nowhere"))));
  QVERIFY(!window.isRunning());
  QVERIFY(Find<QLabel>(window, "lblStat")->text().isEmpty());
  QVERIFY(prompter_.notices.isEmpty());
  QCOMPARE(ended.size(), 0);
}

// The program itself, copied into the test's folder so that its settings
// and its lock are the test's own.
void TestApplication::programExitStatus() {
  const QString program = space_->path(QStringLiteral("bin/nubika-sitemap"));
  QDir().mkpath(space_->path(QStringLiteral("bin")));
  QVERIFY(QFile::copy(QStringLiteral(DESKTOP_PROGRAM), program));
  space_->write(QStringLiteral("site/a.html"));
  QDir().mkpath(space_->path(QStringLiteral("empty")));
  space_->write(QStringLiteral("bin/Setting.ini"), "[SETTING]\nBASE_URL=https://example.jp/\nKAKUCHO=html,\n");

  const auto run = [&](const QString& folder) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(program, {space_->path(folder)});
    return process.waitForFinished(kRunTimeout) && process.exitStatus() == QProcess::NormalExit ? process.exitCode()
                                                                                               : -1;
  };
  QCOMPARE(run(QStringLiteral("site")), 0);
  QVERIFY(QFile::exists(space_->path(QStringLiteral("site/nubika_sitemap.xml"))));
  QVERIFY(QFile::exists(space_->path(QStringLiteral("bin/Setting.ini"))));
  QCOMPARE(run(QStringLiteral("empty")), 1);
  QVERIFY(!QFile::exists(space_->path(QStringLiteral("empty/nubika_sitemap.xml"))));
  // An unusable base URL: a line on stderr instead of a box, and status 1.
  space_->write(QStringLiteral("bin/Setting.ini"), "[SETTING]\nBASE_URL=/relative/\nKAKUCHO=html,\n");
  QFile::remove(space_->path(QStringLiteral("site/nubika_sitemap.xml")));
  QCOMPARE(run(QStringLiteral("site")), 1);
  QVERIFY(!QFile::exists(space_->path(QStringLiteral("site/nubika_sitemap.xml"))));
}

// SIGTERM during a command-line run ends the program as a close would: the
// run stops, its temporary file goes, the previous sitemap stays, the
// settings are saved and the status is 1. The signal is sent once the
// temporary file exists, i.e. while the sitemap is being written.
void TestApplication::signalStopsACommandLineRunAndSaves() {
  const QString program = space_->path(QStringLiteral("bin/nubika-sitemap"));
  QDir().mkpath(space_->path(QStringLiteral("bin")));
  QVERIFY(QFile::copy(QStringLiteral(DESKTOP_PROGRAM), program));
  space_->write(QStringLiteral("bin/Setting.ini"), "[SETTING]\nBASE_URL=https://example.jp/\nKAKUCHO=html,\n");
  for (int folder = 0; folder < 40; ++folder)
    for (int page = 0; page < 1000; ++page)
      space_->write(QStringLiteral("site/f%1/p%2.html").arg(folder).arg(page), "");
  const QString sitemap = space_->path(QStringLiteral("site/nubika_sitemap.xml"));

  int stopped = 0;
  for (int attempt = 0; attempt < 5 && stopped == 0; ++attempt) {
    space_->write(QStringLiteral("site/nubika_sitemap.xml"), "previous");
    QFile::remove(space_->path(QStringLiteral("bin/Setting.ini.saved")));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(program, {space_->path(QStringLiteral("site"))});
    QVERIFY(process.waitForStarted());
    QDir site(space_->path(QStringLiteral("site")));
    QElapsedTimer waited;
    waited.start();
    while (site.entryList({QStringLiteral(".nubika_sitemap.tmp-*")}, QDir::Hidden | QDir::Files).isEmpty() &&
           process.state() == QProcess::Running && waited.elapsed() < kRunTimeout)
      QThread::usleep(200);
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    QVERIFY(process.waitForFinished(kRunTimeout));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY(site.entryList({QStringLiteral(".nubika_sitemap.tmp-*")}, QDir::Hidden | QDir::Files).isEmpty());
    QVERIFY(space_->read(QStringLiteral("bin/Setting.ini")).contains("LOCAL_FOLDER="));  // saved on the way out
    if (process.exitCode() == 1) {
      ++stopped;
      QCOMPARE(space_->read(QStringLiteral("site/nubika_sitemap.xml")), QByteArray("previous"));
    } else {
      QCOMPARE(process.exitCode(), 0);  // it finished before the signal came
      QVERIFY(space_->read(QStringLiteral("site/nubika_sitemap.xml")).contains("</urlset>"));
    }
  }
  QVERIFY(stopped > 0);
}

void TestApplication::signalWhileIdleEndsWithZeroAndSaves() {
  const QString program = space_->path(QStringLiteral("bin/nubika-sitemap"));
  QDir().mkpath(space_->path(QStringLiteral("bin")));
  QVERIFY(QFile::copy(QStringLiteral(DESKTOP_PROGRAM), program));
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  process.setProcessEnvironment(environment);
  process.start(program, {});
  QVERIFY(process.waitForStarted());
  QThread::msleep(500);  // time to set up; a signal before that ends it as well
  ::kill(static_cast<pid_t>(process.processId()), SIGHUP);
  QVERIFY(process.waitForFinished(kRunTimeout));
  QCOMPARE(process.exitStatus(), QProcess::NormalExit);
  QCOMPARE(process.exitCode(), 0);
  QVERIFY(space_->read(QStringLiteral("bin/Setting.ini")).contains("KAKUCHO="));
}

void TestApplication::settingsRoundTrip() {
  WriteSettings(
      "LOCAL_FOLDER=/srv/site\nBASE_URL=https://example.jp/\nPRIORITY_AUTO=1\nUPDATE_FREQ_AUTO=0\n"
      "LAST_UPDATE_AUTO=2\nMOBILE=yes\nKAKUCHO=htm,,htm,html, php,\n");
  auto first = MakeWindow();
  QCOMPARE(Find<QLineEdit>(*first, "edtLocalPath")->text(), QStringLiteral("/srv/site"));
  QCOMPARE(Find<QLineEdit>(*first, "edtBaseURL")->text(), QStringLiteral("https://example.jp/"));
  QVERIFY(Find<QCheckBox>(*first, "chkIsPriority")->isChecked());
  QVERIFY(!Find<QCheckBox>(*first, "chkIsChangeFreq")->isChecked());
  QVERIFY(Find<QCheckBox>(*first, "chkIsLastMod")->isChecked());
  QVERIFY(!Find<QCheckBox>(*first, "ChkIsMobile")->isChecked());
  QCOMPARE(ListItems(*first), (QStringList{"htm", "html", " php"}));

  Find<QLineEdit>(*first, "edtLocalPath")->setText(U("/srv/サイト"));
  Find<QCheckBox>(*first, "ChkIsMobile")->setChecked(true);
  Find<QCheckBox>(*first, "chkIsPriority")->setChecked(false);
  Find<QListWidget>(*first, "listKakuchoshi")->addItem(QStringLiteral("shtml"));
  first.reset();

  auto second = MakeWindow();
  QCOMPARE(Find<QLineEdit>(*second, "edtLocalPath")->text(), U("/srv/サイト"));
  QVERIFY(!Find<QCheckBox>(*second, "chkIsPriority")->isChecked());
  QVERIFY(Find<QCheckBox>(*second, "ChkIsMobile")->isChecked());
  QCOMPARE(ListItems(*second), (QStringList{"htm", "html", " php", "shtml"}));
  QVERIFY(space_->read(QStringLiteral("Setting.ini")).contains("KAKUCHO=htm,html, php,shtml,"));
}

// The window comes back at the size and place it had; a place off every
// screen comes back onto the screen, and a damaged one is the default.
void TestApplication::theWindowsSizeAndPlaceAreKept() {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  auto first = MakeWindow();
  const QSize drawn = first->size();
  first->show();
  first->resize(drawn + QSize(90, 40));
  first->move(screen.topLeft() + QPoint(30, 40));
  first.reset();
  QVERIFY(space_->read(QStringLiteral("Setting.ini"))
              .contains(QStringLiteral("[WINDOW]\nLEFT=%1\nTOP=%2\nWIDTH=%3\nHEIGHT=%4\nMAXIMIZED=0\n")
                            .arg(screen.left() + 30).arg(screen.top() + 40).arg(drawn.width() + 90).arg(drawn.height() + 40)
                            .toLatin1()));
  auto second = MakeWindow();
  QCOMPARE(second->size(), drawn + QSize(90, 40));
  QCOMPARE(second->pos(), screen.topLeft() + QPoint(30, 40));
  // Maximised, it keeps the place it returns to.
  second->showMaximized();
  QTRY_VERIFY(second->isMaximized() && second->size() != drawn + QSize(90, 40));
  second.reset();
  QVERIFY(space_->read(QStringLiteral("Setting.ini"))
              .contains(QStringLiteral("WIDTH=%1\nHEIGHT=%2\nMAXIMIZED=1\n")
                            .arg(drawn.width() + 90).arg(drawn.height() + 40).toLatin1()));
  auto third = MakeWindow();
  third->show();
  QTRY_VERIFY(third->isMaximized());
  third->showNormal();
  QTRY_COMPARE(third->size(), drawn + QSize(90, 40));
  third.reset();

  WriteSettings("KAKUCHO=html,\n[WINDOW]\nLEFT=-30000\nTOP=40000\nWIDTH=600\nHEIGHT=330\n");
  auto far = MakeWindow();
  QCOMPARE(far->size(), QSize(600, 330));
  QVERIFY(screen.contains(QRect(far->pos(), far->size())));
  far.reset();
  WriteSettings("KAKUCHO=html,\n[WINDOW]\nLEFT=10\nTOP=10\nWIDTH=wide\nHEIGHT=330\n");
  QCOMPARE(MakeWindow()->size(), drawn);
}

// The options dialog, driven as a user would: a changed option reaches the
// next sitemap, and the next start of the program.
void TestApplication::anOptionChangedInTheDialogReachesTheSitemapAndIsKept() {
  space_->write(QStringLiteral("site/index.html"));
  space_->write(QStringLiteral("site/docs/index.html"));
  space_->write(QStringLiteral("site/drafts/wip.html"));
  WriteSettings("BASE_URL=https://example.jp/\nKAKUCHO=html,\n");
  auto first = MakeWindow();
  auto* options = Find<QAction>(*first, "mnuOptions");
  QCOMPARE(options->text(), U("詳細設定(&O)..."));
  const QList<QAction*> menu = Find<QMenu>(*first, "mnuMenu")->actions();
  QCOMPARE(menu.indexOf(options) + 1, menu.indexOf(Find<QAction>(*first, "menuExit")));

  QTimer::singleShot(0, this, [] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    Find<QCheckBox>(*dialog, "chkFolderUrls")->setChecked(true);
    Find<QPlainTextEdit>(*dialog, "memExclude")->setPlainText(QStringLiteral("drafts/"));
    dialog->accept();
  });
  options->trigger();
  Find<QLineEdit>(*first, "edtLocalPath")->setText(space_->path(QStringLiteral("site")));
  Find<QPushButton>(*first, "btnMake")->click();
  QTRY_VERIFY_WITH_TIMEOUT(!first->isRunning(), kRunTimeout);
  const QByteArray sitemap = space_->read(QStringLiteral("site/nubika_sitemap.xml"));
  QVERIFY(sitemap.contains("<loc>https://example.jp/</loc>"));
  QVERIFY(sitemap.contains("<loc>https://example.jp/docs/</loc>"));
  QVERIFY(!sitemap.contains("drafts"));
  first.reset();

  auto second = MakeWindow();
  bool shown = false;
  QTimer::singleShot(0, this, [&shown] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    shown = Find<QCheckBox>(*dialog, "chkFolderUrls")->isChecked() &&
            Find<QPlainTextEdit>(*dialog, "memExclude")->toPlainText() == QStringLiteral("drafts/\n");
    dialog->reject();
  });
  Find<QAction>(*second, "mnuOptions")->trigger();
  QVERIFY(shown);
}

void TestApplication::undecodableTextsKeepTheirBytes() {
  // Shift-JIS bytes from the program's Windows days.
  const QByteArray folder = "/srv/\x83\x54\x83\x43\x83\x67";
  const QByteArray extension = "\x83\x65";
  WriteSettings("LOCAL_FOLDER=" + folder + "\nBASE_URL=https://a.example/\nKAKUCHO=" + extension + ",htm,\n");
  auto window = MakeWindow();
  Find<QLineEdit>(*window, "edtBaseURL")->setText(QStringLiteral("https://b.example/"));
  window.reset();
  const QByteArray saved = space_->read(QStringLiteral("Setting.ini"));
  QVERIFY(saved.contains("LOCAL_FOLDER=" + folder + "\n") || saved.contains("LOCAL_FOLDER=" + folder + "\r\n"));
  QVERIFY(saved.contains("KAKUCHO=" + extension + ",htm,"));
  QVERIFY(saved.contains("BASE_URL=https://b.example/"));
}

void TestApplication::unwritableSettingsReportThePath() {
  SettingsDisk disk;
  disk.failCreate = true;
  extra_.settingsFiles = &disk;
  auto window = MakeWindow();
  window->FormDestroy();
  QCOMPARE(prompter_.errors.size(), 1);
  QVERIFY2(prompter_.errors[0].startsWith(space_->path(QStringLiteral("Setting.ini")) + U(" に書き込めません\n")),
           qPrintable(prompter_.errors[0]));
  QVERIFY(prompter_.errors[0].contains(QStringLiteral("Read-only file system")));
  // The program still ends normally: nothing holds the instance any more.
  QCOMPARE(InstanceGuard(space_->environment(&prompter_).guardName).acquire(), InstanceGuard::State::kHeld);
}

void TestApplication::unreadableSettingsAreKept_data() {
  QTest::addColumn<QString>("kind");
  QTest::newRow("read error") << "read error";
  QTest::newRow("folder") << "folder";
  QTest::newRow("FIFO") << "FIFO";
  QTest::newRow("device") << "device";
}

// Settings that cannot be read are said to be so at start, and the empty
// inputs never replace them: a read error's file keeps every byte, the
// others stay what they are.
void TestApplication::unreadableSettingsAreKept() {
  QFETCH(QString, kind);
  const std::string path = space_->bytes(QStringLiteral("Setting.ini"));
  FaultyFileLayer failing(FaultyFileLayer::Step::kReadWhole, 1, EIO);
  if (kind == QStringLiteral("read error")) {
    WriteSettings("BASE_URL=https://kept.example/\n[MINE]\nA = 1\n");
    extra_.settingsFiles = &failing;
  } else if (kind == QStringLiteral("folder")) {
    QVERIFY(QDir().mkdir(QString::fromStdString(path)));
  } else if (kind == QStringLiteral("FIFO")) {
    QCOMPARE(mkfifo(path.c_str(), 0644), 0);
  } else {
    QCOMPARE(mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);  // as /dev/null
  }
  // Only the regular file is read here: opening the FIFO would wait.
  const bool regular = kind == QStringLiteral("read error");
  const QByteArray before = regular ? space_->read(QStringLiteral("Setting.ini")) : QByteArray();
  struct stat was;
  QCOMPARE(lstat(path.c_str(), &was), 0);

  auto window = MakeWindow();
  QCOMPARE(prompter_.notices.size(), 1);
  QVERIFY2(prompter_.notices[0].startsWith(U("設定ファイル ") + QString::fromStdString(path) +
                                           U(" を読めないため、終了時に保存しません\n")),
           qPrintable(prompter_.notices[0]));
  QVERIFY(Find<QLineEdit>(*window, "edtBaseURL")->text().isEmpty());
  Find<QLineEdit>(*window, "edtBaseURL")->setText(QStringLiteral("https://typed.example/"));
  window->FormDestroy();
  QVERIFY(prompter_.errors.isEmpty());
  struct stat is;
  QCOMPARE(lstat(path.c_str(), &is), 0);
  QCOMPARE(is.st_ino, was.st_ino);
  QCOMPARE(is.st_mode, was.st_mode);
  if (regular) QCOMPARE(space_->read(QStringLiteral("Setting.ini")), before);
  QCOMPARE(QDir(space_->path()).entryList({QStringLiteral(".Setting.ini*")}, QDir::Hidden | QDir::Files),
           QStringList());
}

void TestApplication::settingsWarningsShowInTheStatus() {
  WriteSettings("MOBILE=yes\nKAKUCHO=html,\n[OPTIONS]\nGZIP=true\n");
  auto window = MakeWindow();
  QVERIFY(prompter_.notices.isEmpty());  // worth a look, not a box
  auto* status = Find<QLabel>(*window, "lblStat");
  QCOMPARE(status->text(), U("設定ファイルに警告があります"));
  QVERIFY2(status->toolTip().contains(U("MOBILE=yes は使えない値のため、0 として読みました（使える値: 1, 0）")),
           qPrintable(status->toolTip()));
  QVERIFY(status->toolTip().contains(U("GZIP=true")));
}

// A one-shot run that cannot save its settings, or that meets a running
// instance, shows no box: it says why on stderr and ends with 1. A FIFO
// as settings is said to be unreadable and is left as it is.
void TestApplication::oneShotRunNeverWaitsForAClick() {
  const QString name = QStringLiteral("nubika-sitemap-") + QFileInfo(space_->path()).fileName();
  const QString program = space_->path(QStringLiteral("bin/") + name);
  QDir().mkpath(space_->path(QStringLiteral("bin")));
  QVERIFY(QFile::copy(QStringLiteral(DESKTOP_PROGRAM), program));
  space_->write(QStringLiteral("site/a.html"));
  const std::string settings = space_->bytes(QStringLiteral("bin/Setting.ini"));
  const auto run = [&](QByteArray* err) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(program, {space_->path(QStringLiteral("site"))});
    const bool ended = process.waitForFinished(5000);
    if (!ended) process.kill(), process.waitForFinished();
    *err = process.readAllStandardError();
    return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  };
  QByteArray err;
  // Saved through a link to a name so long that no temporary file can be
  // named after it beside it.
  const QString longName = QString(250, QLatin1Char('s'));
  space_->write(QStringLiteral("bin/") + longName, "[SETTING]\nBASE_URL=https://example.jp/\nKAKUCHO=html,\n");
  QCOMPARE(symlink(longName.toLatin1().constData(), settings.c_str()), 0);
  QCOMPARE(run(&err), 1);
  QVERIFY2(err.contains(U("に書き込めません").toUtf8()), err.constData());
  QCOMPARE(unlink(settings.c_str()), 0);

  QProcess holder;
  holder.start(QStringLiteral(LOCK_HOLDER), {name});
  QVERIFY(holder.waitForReadyRead(kRunTimeout));
  QCOMPARE(run(&err), 1);
  QVERIFY2(err.contains(U("複数起動は出来ません").toUtf8()), err.constData());
  holder.closeWriteChannel();
  QVERIFY(holder.waitForFinished(kRunTimeout));

  QCOMPARE(mkfifo(settings.c_str(), 0644), 0);
  QCOMPARE(run(&err), 1);  // no base URL without settings
  QVERIFY2(err.contains(U("を読めないため、終了時に保存しません").toUtf8()), err.constData());
  struct stat status;
  QCOMPARE(lstat(settings.c_str(), &status), 0);
  QVERIFY(S_ISFIFO(status.st_mode));
}

void TestApplication::closingDuringRunStopsThenSaves() {
  GatedLister lister;
  extra_.lister = &lister;
  space_->write(QStringLiteral("site/a.html"));
  WriteSettings("BASE_URL=https://example.jp/\nKAKUCHO=html,\n");
  auto window = MakeWindow();
  Find<QLineEdit>(*window, "edtLocalPath")->setText(space_->path(QStringLiteral("site")));
  Find<QPushButton>(*window, "btnMake")->click();
  QTRY_VERIFY_WITH_TIMEOUT(lister.gate.arrived(), kRunTimeout);
  QTimer::singleShot(0, this, [&lister] { lister.gate.Open(); });
  window->FormDestroy();
  QVERIFY(!window->isRunning());
  QVERIFY(space_->read(QStringLiteral("Setting.ini")).contains(QFile::encodeName(space_->path(QStringLiteral("site")))));
  QVERIFY(!QFile::exists(space_->path(QStringLiteral("site/nubika_sitemap.xml"))));
}

void TestApplication::addExtension() {
  auto window = MakeWindow();
  auto* field = Find<QLineEdit>(*window, "edtAddKaku");
  auto* add = Find<QPushButton>(*window, "btnAddKaku");
  const auto type = [&](const QString& text) {
    field->setText(text);
    add->click();
  };
  type(QStringLiteral("  htm "));
  type(QStringLiteral("HTM"));
  type(QStringLiteral(".php"));
  QVERIFY(prompter_.notices.isEmpty());
  QVERIFY(field->text().isEmpty());
  type(QStringLiteral("htm"));
  QCOMPARE(prompter_.notices, QStringList{U("既に登録済みです")});
  QVERIFY(field->text().isEmpty());
  type(QStringLiteral("   "));
  QCOMPARE(field->text(), QStringLiteral("   "));
  QCOMPARE(ListItems(*window), (QStringList{"htm", "HTM", ".php"}));
  QVERIFY(Find<QListWidget>(*window, "listKakuchoshi")->selectedItems().isEmpty());
}

void TestApplication::deleteAndClearAskFirst() {
  WriteSettings("KAKUCHO=htm,html,php,\n");
  auto window = MakeWindow();
  auto* list = Find<QListWidget>(*window, "listKakuchoshi");
  auto* deleteOne = Find<QAction>(*window, "Delete1");
  auto* deleteAll = Find<QAction>(*window, "N1");

  list->item(1)->setSelected(true);
  prompter_.answer = false;
  deleteOne->trigger();
  deleteAll->trigger();
  QCOMPARE(ListItems(*window), (QStringList{"htm", "html", "php"}));
  QCOMPARE(prompter_.questions.size(), std::size_t(2));
  QCOMPARE(prompter_.questions[0].caption, U("確認"));
  QCOMPARE(prompter_.questions[0].text, U("選択中の拡張子を削除してもいいですか？"));
  QCOMPARE(prompter_.questions[1].text, U("全削除してもいいですか？"));

  prompter_.answer = true;
  deleteOne->trigger();
  QCOMPARE(ListItems(*window), (QStringList{"htm", "php"}));
  list->clearSelection();
  deleteOne->trigger();  // asked, but nothing is selected
  QCOMPARE(prompter_.questions.size(), std::size_t(4));
  QCOMPARE(ListItems(*window), (QStringList{"htm", "php"}));
  deleteAll->trigger();
  QVERIFY(ListItems(*window).isEmpty());
}

void TestApplication::folderChooser() {
  QString answer;
  QString askedTitle;
  QString askedStart;
  extra_.folderChooser = [&](QWidget*, const QString& title, const QString& start) {
    askedTitle = title;
    askedStart = start;
    return answer;
  };
  auto window = MakeWindow();
  auto* field = Find<QLineEdit>(*window, "edtLocalPath");
  field->setText(QStringLiteral("/srv/before"));
  Find<QPushButton>(*window, "btnLocalPath")->click();  // cancelled
  QCOMPARE(field->text(), QStringLiteral("/srv/before"));
  QCOMPARE(askedTitle, U("サイトマップ生成対象のフォルダを指定してください"));
  QCOMPARE(askedStart, QDir::homePath());

  answer = U("/srv/サイト/");
  Find<QPushButton>(*window, "btnLocalPath")->click();
  QCOMPARE(field->text(), U("/srv/サイト/"));
}

void TestApplication::aboutBoxIsOneWindow() {
  auto window = MakeWindow();
  TfrmVersionInfo about(QUrl(QStringLiteral("https://example.jp/")), window.get());
  window->setAboutBox(&about);
  QList<QWidget*> shown;
  for (int i = 0; i < 2; ++i) {
    QTimer::singleShot(0, this, [&shown] {
      QWidget* modal = QApplication::activeModalWidget();
      shown << modal;
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->accept();
    });
    Find<QAction>(*window, "mnuAbout")->trigger();
  }
  QCOMPARE(shown, (QList<QWidget*>{&about, &about}));
  QVERIFY(!about.isVisible());
}

void TestApplication::helpMenusOpenTheShippedPages() {
  auto window = MakeWindow();
  Find<QAction>(*window, "mnutoha")->trigger();
  Find<QAction>(*window, "mnuGuide")->trigger();
  QCOMPARE(urls_->opened.size(), 2);
  QVERIFY(urls_->opened[0].path().endsWith(QStringLiteral("/soft/nubika_sitemap_hatena.htm")));
  QVERIFY(urls_->opened[1].path().endsWith(QStringLiteral("/soft/nubika_sitemap_howtouse.htm")));
  QVERIFY(!urls_->opened[0].isLocalFile() || QFile::exists(urls_->opened[0].toLocalFile()));
}

// The real boxes: Enter answers Yes, Escape No; notices carry the title.
void TestApplication::boxesOfferTheRightButtons() {
  QWidget owner;
  MessageBoxPrompter prompter(&owner);
  QStringList captions;
  const auto press = [&](Qt::Key key) {
    QTimer::singleShot(0, this, [&captions, key] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      captions << box->windowTitle();
      QTest::keyClick(box, key);
    });
  };
  press(Qt::Key_Return);
  QVERIFY(prompter.AskYesNo(U("確認"), U("全削除してもいいですか？")));
  press(Qt::Key_Escape);
  QVERIFY(!prompter.AskYesNo(U("確認"), U("全削除してもいいですか？")));
  press(Qt::Key_Return);
  prompter.Notice(U("既に登録済みです"));
  QCOMPARE(captions, (QStringList{U("確認"), U("確認"), U("ヌビカHTML自動目次生成")}));
}

QTEST_MAIN(TestApplication)
#include "tst_application.moc"
