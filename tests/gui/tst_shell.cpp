// The about box, the help pages and their addresses, and the folder chooser.
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "app/HelpPages.h"
#include "app/TfrmVersionInfo.h"
#include "app/clCalledWinDialog.h"

namespace {

// Runs action on the modal window once it is up, so that a test can answer
// a dialog that exec() is showing.
void WhenModalShown(std::function<void(QWidget*)> action) {
  QTimer::singleShot(10, [action] {
    if (QWidget* modal = QApplication::activeModalWidget())
      action(modal);
    else
      WhenModalShown(action);
  });
}

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

}  // namespace

// Takes the addresses QDesktopServices would hand to the browser.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void record(const QUrl& url) { opened.append(url); }
};

class TestShell : public QObject {
  Q_OBJECT

 private slots:
  void aboutBoxShowsItsTextsInsideTheBox();
  void aboutBoxIsTheSameWindowEachTime();
  void linkLabelOpensTheHomePage();
  void cursorIsAHandFromTheLinkUntilTheBackground();

  void helpAddressesPointAtTheShippedPages();
  void configuredSiteReplacesTheShippedPages();
  void programWithoutPagesBesideItUsesTheInstallFolder();
  void helpPagesLinkOnlyToFilesThatExist();
  void usageGuideExplainsEveryOption();

  void folderChooserPassesItsSettingsAndCancelEmptiesThePath();
  void qtFolderDialogOffersFoldersFromHome();

 private:
  QString ShippedPage(const char* path) const { return QDir(HelpPages().base().toLocalFile()).filePath(path); }
};

void TestShell::aboutBoxShowsItsTextsInsideTheBox() {
  TfrmVersionInfo box(QUrl(QStringLiteral("https://nubika.example/")), nullptr);
  QCOMPARE(box.windowTitle(), QStringLiteral("バージョン情報"));
  QCOMPARE(box.size(), QSize(304, 189));
  QCOMPARE(box.minimumSize(), box.maximumSize());
  QCOMPARE(box.findChild<QLabel*>("Label1")->text(), QStringLiteral("ヌビカサイトマップ生成"));
  QCOMPARE(box.findChild<QLabel*>("Label2")->text(), QStringLiteral("version 2.00LE (2010/02/04)"));
  QCOMPARE(box.findChild<QLabel*>("Label3")->text(),
           QStringLiteral("ローカル環境でGoogleやYahoo等に使えるサイトマップを生成するツール"));
  QVERIFY(box.findChild<QLabel*>("Label4")->text().contains(QStringLiteral("nubika.example")));
  QCOMPARE(box.findChild<QPushButton*>("btnOK")->text(), QStringLiteral("OK"));
  QVERIFY(!box.findChild<QLabel*>("Image1")->pixmap().isNull());
  QVERIFY(!box.windowIcon().isNull());
  QCOMPARE(box.font().family(), QStringLiteral("IPAPGothic"));

  // Every text fits the box: nothing is cut at its right edge.
  for (const char* name : {"Label1", "Label2", "Label3", "Label4"}) {
    const QLabel* label = box.findChild<QLabel*>(name);
    QVERIFY2(box.rect().contains(label->geometry()), name);
    QVERIFY2(label->heightForWidth(label->width()) <= label->height() || !label->wordWrap(), name);
    if (!label->wordWrap())
      QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), name);
  }
}

void TestShell::aboutBoxIsTheSameWindowEachTime() {
  QWidget mainWindow;
  mainWindow.show();
  TfrmVersionInfo box(QUrl(QStringLiteral("https://nubika.example/")), &mainWindow);
  QList<QWidget*> shown;

  WhenModalShown([&](QWidget* modal) {
    shown.append(modal);
    QTest::mouseClick(modal->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
  });
  QCOMPARE(box.exec(), int(QDialog::Accepted));
  QVERIFY(box.isHidden());

  WhenModalShown([&](QWidget* modal) {
    shown.append(modal);
    modal->close();  // the close box
  });
  QCOMPARE(box.exec(), int(QDialog::Rejected));

  QCOMPARE(shown, (QList<QWidget*>{&box, &box}));
  QVERIFY(box.isHidden());
}

void TestShell::linkLabelOpensTheHomePage() {
  UrlRecorder recorder;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "record");
  TfrmVersionInfo box(QUrl(QStringLiteral("https://nubika.example/home.htm")), nullptr);
  box.show();
  QVERIFY(QTest::qWaitForWindowExposed(&box));
  QTest::mouseClick(box.findChild<QLabel*>("Label4"), Qt::LeftButton);
  QTest::mouseClick(box.findChild<QLabel*>("Label3"), Qt::LeftButton);
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  QCOMPARE(recorder.opened, QList<QUrl>{QUrl(QStringLiteral("https://nubika.example/home.htm"))});
}

void TestShell::cursorIsAHandFromTheLinkUntilTheBackground() {
  TfrmVersionInfo box(QUrl(QStringLiteral("https://nubika.example/")), nullptr);
  box.show();
  QVERIFY(QTest::qWaitForWindowExposed(&box));
  QLabel* link = box.findChild<QLabel*>("Label4");
  QCOMPARE(box.cursor().shape(), Qt::ArrowCursor);

  QTest::mouseMove(link, link->rect().center());
  QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
  QTest::mouseMove(box.findChild<QLabel*>("Label1"), QPoint(3, 3));
  QCOMPARE(box.findChild<QLabel*>("Label1")->cursor().shape(), Qt::PointingHandCursor);
  QTest::mouseMove(&box, QPoint(box.width() / 2, 4));  // bare background above the labels
  QCOMPARE(link->cursor().shape(), Qt::ArrowCursor);

  // A box closed with the hand up opens with the arrow next time.
  QTest::mouseMove(link, link->rect().center());
  QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
  box.hide();
  QCOMPARE(link->cursor().shape(), Qt::ArrowCursor);
}

void TestShell::helpAddressesPointAtTheShippedPages() {
  const HelpPages pages;
  const QUrl explained = pages.sitemapExplained();
  const QUrl guide = pages.usageGuide();
  QVERIFY2(explained.toString().endsWith(QStringLiteral("/soft/nubika_sitemap_hatena.htm")), qPrintable(explained.toString()));
  QVERIFY2(guide.toString().endsWith(QStringLiteral("/soft/nubika_sitemap_howtouse.htm")), qPrintable(guide.toString()));
  for (const QUrl& page : {explained, guide, pages.homePage()}) {
    QVERIFY2(page.isLocalFile(), qPrintable(page.toString()));
    QVERIFY2(QFileInfo(page.toLocalFile()).isFile(), qPrintable(page.toString()));
  }
  // The build tree is laid out as an install: <build>/bin beside <build>/share.
  QCOMPARE(QDir(QCoreApplication::applicationDirPath()).relativeFilePath(pages.base().toLocalFile()),
           QStringLiteral("../share/nubika-sitemap/help"));
}

void TestShell::configuredSiteReplacesTheShippedPages() {
  const HelpPages site(QStringLiteral("/nowhere"), QStringLiteral("https://example.jp/manual"), {});
  QCOMPARE(site.sitemapExplained(), QUrl(QStringLiteral("https://example.jp/manual/soft/nubika_sitemap_hatena.htm")));
  QCOMPARE(site.usageGuide(), QUrl(QStringLiteral("https://example.jp/manual/soft/nubika_sitemap_howtouse.htm")));
  QCOMPARE(site.homePage(), QUrl(QStringLiteral("https://example.jp/manual/index.htm")));

  const HelpPages twoHosts(QStringLiteral("/nowhere"), QStringLiteral("https://help.example.jp/"),
                           QStringLiteral("https://www.example.jp/"));
  QCOMPARE(twoHosts.usageGuide(), QUrl(QStringLiteral("https://help.example.jp/soft/nubika_sitemap_howtouse.htm")));
  QCOMPARE(twoHosts.homePage(), QUrl(QStringLiteral("https://www.example.jp/")));

  const HelpPages folder(QStringLiteral("/nowhere"), QStringLiteral("/opt/ヘルプ"), {});
  QCOMPARE(folder.sitemapExplained().toLocalFile(), QStringLiteral("/opt/ヘルプ/soft/nubika_sitemap_hatena.htm"));
}

void TestShell::programWithoutPagesBesideItUsesTheInstallFolder() {
  QTemporaryDir program;
  const HelpPages pages(program.path(), {}, {});
  QVERIFY(pages.base().isLocalFile());
  QVERIFY(!pages.base().toLocalFile().startsWith(program.path()));
  QVERIFY2(pages.base().path().endsWith(QStringLiteral("/share/nubika-sitemap/help/")), qPrintable(pages.base().path()));
}

void TestShell::helpPagesLinkOnlyToFilesThatExist() {
  const QRegularExpression reference(QStringLiteral(R"re((?:href|src)="([^"#:]+)")re"));
  const QStringList pages = {QStringLiteral("index.htm"), QStringLiteral("soft/nubika_sitemap_hatena.htm"),
                             QStringLiteral("soft/nubika_sitemap_howtouse.htm")};
  for (const QString& page : pages) {
    const QString path = ShippedPage(qPrintable(page));
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    QVERIFY2(!utf8.hasError(), qPrintable(page));
    QVERIFY2(text.contains(QStringLiteral("<meta charset=\"UTF-8\">")), qPrintable(page));
    int links = 0;
    for (const auto& match : reference.globalMatch(text)) {
      const QString target = QFileInfo(path).dir().filePath(match.captured(1));
      QVERIFY2(QFileInfo::exists(target), qPrintable(page + ": " + match.captured(1)));
      ++links;
    }
    QVERIFY2(links >= 2, qPrintable(page));
  }
}

void TestShell::usageGuideExplainsEveryOption() {
  QProcess cli;
  cli.start(QStringLiteral(CLI_PROGRAM), {QStringLiteral("--help")});
  QVERIFY(cli.waitForFinished());
  const QString help = QString::fromUtf8(cli.readAllStandardOutput());
  const QString guide = ReadText(ShippedPage(HelpPages::kUsageGuidePath));
  QVERIFY(!guide.isEmpty());

  QStringList options;
  for (const auto& match : QRegularExpression(QStringLiteral("(?<![\\w-])--?[a-z][a-z-]*")).globalMatch(help))
    options.append(match.captured());
  QVERIFY2(options.size() >= 10, qPrintable(help));
  for (const QString& option : options)
    QVERIFY2(guide.contains(QStringLiteral("<code>") + option), qPrintable(option));

  for (const char* caption : {"ホームページのローカルフォルダを指定", "参照", "ホームページのURL(http://～)を指定",
                              "対象とする拡張子の種類", "拡張子追加", "優先度を自動で指定", "更新頻度を自動で指定",
                              "最終更新日を指定", "モバイルサイトマップ", "サイトマップ生成", "中断"})
    QVERIFY2(guide.contains(QString::fromUtf8(caption)), caption);
}

void TestShell::folderChooserPassesItsSettingsAndCancelEmptiesThePath() {
  QStringList answers = {QStringLiteral("/srv/サイト"), QString()};
  QWidget owner;
  QWidget* seenOwner = nullptr;
  QString seenTitle, seenFolder;
  clCalledWinDialog dialog([&](QWidget* o, const QString& title, const QString& folder) {
    seenOwner = o;
    seenTitle = title;
    seenFolder = folder;
    return answers.takeFirst();
  });
  QCOMPARE(dialog.title(), QStringLiteral("フォルダを選択してください。"));
  dialog.setTitle(QStringLiteral("サイトマップ生成対象のフォルダを指定してください"));

  QVERIFY(dialog.execute(&owner));
  QCOMPARE(dialog.getSelectedPath(), QStringLiteral("/srv/サイト"));
  QCOMPARE(seenOwner, &owner);
  QCOMPARE(seenTitle, QStringLiteral("サイトマップ生成対象のフォルダを指定してください"));
  QCOMPARE(seenFolder, QDir::homePath());

  QVERIFY(dialog.execute(&owner));  // cancelled: true all the same
  QVERIFY(dialog.getSelectedPath().isEmpty());
}

void TestShell::qtFolderDialogOffersFoldersFromHome() {
  QTemporaryDir site;
  QString title, shownFolder;
  bool foldersOnly = false;
  WhenModalShown([&](QWidget* modal) {
    auto* chooser = qobject_cast<QFileDialog*>(modal);
    if (!chooser) {
      modal->close();
      return;
    }
    title = chooser->windowTitle();
    shownFolder = chooser->directory().absolutePath();
    foldersOnly = chooser->fileMode() == QFileDialog::Directory && chooser->testOption(QFileDialog::ShowDirsOnly);
    chooser->reject();
  });
  clCalledWinDialog dialog;
  dialog.setTitle(QStringLiteral("サイトマップ生成対象のフォルダを指定してください"));
  QVERIFY(dialog.execute(nullptr));
  QVERIFY(dialog.getSelectedPath().isEmpty());
  QCOMPARE(title, QStringLiteral("サイトマップ生成対象のフォルダを指定してください"));
  QCOMPARE(shownFolder, QDir::homePath());
  QVERIFY(foldersOnly);

  WhenModalShown([&](QWidget* modal) {
    auto* chooser = qobject_cast<QFileDialog*>(modal);
    if (!chooser) {
      modal->close();
      return;
    }
    chooser->setDirectory(site.path());
    static_cast<QDialog*>(chooser)->accept();
  });
  QVERIFY(dialog.execute(nullptr));
  QCOMPARE(dialog.getSelectedPath(), site.path());
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
