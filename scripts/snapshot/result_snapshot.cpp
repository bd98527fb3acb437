// result_snapshot RESULT.png PROGRESS.png: draws the result view after a
// run that left pages out, and the main window while a scan counts its
// files, into pictures for the documentation. The site is an in-memory
// tree (the tests' lister), written to a scratch folder. Not a test; run
// by hand under Xvfb.
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <thread>

#include "FakeDirectoryLister.h"
#include "app/Prompter.h"
#include "app/QtJapanese.h"
#include "app/TfrmMain.h"
#include "WithCaption.h"

namespace {

// Takes the addresses the window would open in the desktop's programs.
class UrlSink : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl&) {}
};

class SilentPrompter : public Prompter {
 public:
  void Notice(const QString&) override {}
  bool AskYesNo(const QString&, const QString&) override { return true; }
  void Error(const QString&) override {}
};

void WaitWhile(const std::function<bool()>& condition) {
  QElapsedTimer waited;
  waited.start();
  while (condition() && waited.elapsed() < 60000) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

std::unique_ptr<TfrmMain> Window(const QTemporaryDir& scratch, DirectoryLister* lister, SilentPrompter* prompter) {
  TfrmMain::Environment environment;
  environment.settingsPath = (scratch.path() + QStringLiteral("/Setting.ini")).toStdString();
  environment.lister = lister;
  environment.prompter = prompter;
  environment.guardName = QStringLiteral("nubika-snapshot-") + QFileInfo(scratch.path()).fileName();
  auto window = std::make_unique<TfrmMain>(environment);
  window->FormCreate();
  window->findChild<QLineEdit*>(QStringLiteral("edtBaseURL"))->setText(QStringLiteral("https://例え.jp/"));
  window->findChild<QListWidget*>(QStringLiteral("listKakuchoshi"))->addItems({QStringLiteral("html")});
  window->findChild<QCheckBox*>(QStringLiteral("chkIsLastMod"))->setChecked(true);
  return window;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QtJapanese::Install(app);
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPixelSize(12);
  app.setFont(font);
  if (argc < 3) return 2;
  UrlSink sink;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &sink, "open");
  SilentPrompter prompter;

  {
    QTemporaryDir scratch;
    const std::string site = (scratch.path() + QStringLiteral("/site")).toStdString();
    QDir().mkpath(QString::fromStdString(site));
    {
      QFile settings(scratch.path() + QStringLiteral("/Setting.ini"));
      settings.open(QIODevice::WriteOnly);
      settings.write("[SETTING]\n[OPTIONS]\nSKIP_NOINDEX=1\nEXCLUDE=\"drafts/\"\n");
    }
    using Kind = ListedEntry::Kind;
    FakeDirectoryLister lister;
    lister.Add(site, {{"index.html", Kind::kFile},
                      {"about.html", Kind::kFile},
                      {"old-link.html", Kind::kBrokenLink},
                      {"queue.html", Kind::kOther},
                      {"members", Kind::kFolder},
                      {"news", Kind::kFolder}});
    lister.Add(site + "/news", {{"2026.html", Kind::kFile},
                                {"draft-preview.html", Kind::kFile},
                                {std::string(200, 'a') + ".html", Kind::kFile}});
    lister.Refuse(site + "/members", "許可がありません");
    lister.noindex.insert(site + "/news/draft-preview.html");
    // A URL over the protocol's 2,048 characters.
    std::string deep = site + "/news";
    for (int level = 0; level < 10; ++level) {
      const std::string name = "archive-" + std::string(200, 'x');
      lister.Add(deep, name, Kind::kFolder);
      deep += "/" + name;
    }
    lister.File(deep, "page.html");
    auto window = Window(scratch, &lister, &prompter);
    window->findChild<QLineEdit*>(QStringLiteral("edtLocalPath"))->setText(QString::fromStdString(site));
    window->show();
    window->findChild<QPushButton*>(QStringLiteral("btnMake"))->click();
    WaitWhile([&] { return window->isRunning(); });
    TfrmResult* view = window->resultView();
    if (!view) return 1;
    view->findChild<QTableWidget*>(QStringLiteral("tblLeftOut"))->sortItems(1);
    view->findChild<QTableWidget*>(QStringLiteral("tblLeftOut"))->selectRow(1);
    view->resize(720, 400);
    app.processEvents();
    if (!WithCaption(*view).save(QString::fromLocal8Bit(argv[1]))) return 1;
    view->close();
    window->FormDestroy();
  }

  QTemporaryDir scratch;
  const std::string site = (scratch.path() + QStringLiteral("/site")).toStdString();
  QDir().mkpath(QString::fromStdString(site));
  FakeDirectoryLister lister;
  for (int folder = 0; folder < 2000; ++folder) {
    const std::string name = "d" + std::to_string(folder);
    lister.Dir(site, name);
    std::vector<ListedEntry> files;
    for (int file = 0; file < 100; ++file) files.push_back({"f" + std::to_string(file) + ".html", ListedEntry::Kind::kFile});
    lister.Add(site + "/" + name, std::move(files));
  }
  lister.onList = [](const std::string&) { std::this_thread::sleep_for(std::chrono::milliseconds(3)); };
  auto window = Window(scratch, &lister, &prompter);
  window->findChild<QLineEdit*>(QStringLiteral("edtLocalPath"))->setText(QString::fromStdString(site));
  window->show();
  window->findChild<QPushButton*>(QStringLiteral("btnMake"))->click();
  auto* status = window->findChild<QLabel*>(QStringLiteral("lblStat"));
  WaitWhile([&] { return window->isRunning() && !status->text().contains(QStringLiteral("0,")); });
  QElapsedTimer shown;
  shown.start();
  WaitWhile([&] { return shown.elapsed() < 600; });
  const bool saved = WithCaption(*window).save(QString::fromLocal8Bit(argv[2]));
  window->StopRun();
  window->FormDestroy();
  return saved ? 0 : 1;
}

#include "result_snapshot.moc"
