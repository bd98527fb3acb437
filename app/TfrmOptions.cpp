#include "app/TfrmOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ShownText.h"
#include "settings/SettingsFile.h"
#include "text/AsciiText.h"

namespace {

QString U(const char* text) { return QString::fromUtf8(text); }

template <class Widget>
Widget* Named(Widget* widget, const char* name, const char* hint = nullptr) {
  widget->setObjectName(QString::fromLatin1(name));
  if (hint) widget->setToolTip(U(hint));
  return widget;
}

// The date choices that keep a ledger: content, and git, which dates by
// content what it cannot date itself.
constexpr int kContentDates = 2;
constexpr int kGitDates = 3;

}  // namespace

TfrmOptions::TfrmOptions(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmOptions"));
  setWindowTitle(U("詳細設定"));
  if (parent) setFont(parent->font());

  cmbLastModFrom = Named(new QComboBox(this), "cmbLastModFrom",
                         "「最終更新日を指定」で書く日付です。「git で最後にコミットした日」は、git で管理していて"
                         "未コミットの変更がないページにそのページを最後に変えたコミットの日付を書き、"
                         "ほかのページは中身が変わった日で決めます");
  cmbLastModFrom->addItem(U("サイトマップを作った日"));
  cmbLastModFrom->addItem(U("ファイルの更新日"));
  cmbLastModFrom->addItem(U("ページの中身が変わった日"));
  cmbLastModFrom->addItem(U("git で最後にコミットした日"));
  chkDigestText = Named(new QCheckBox(U("見える文字が変わったときだけ変更とみなす"), this), "chkDigestText",
                        "「ページの中身が変わった日」で、タイトル・説明文・本文（<main>）の文字だけを比べます。"
                        "フッターやファイル名の変更では日付が変わりません");
  edtLedger = Named(new QLineEdit(this), "edtLedger",
                    "「ページの中身が変わった日」で、前回までに見たページの中身を覚えておく台帳のファイルです");
  edtLedger->setPlaceholderText(U("空欄: 既定の場所"));
  btnLedger = Named(new QPushButton(U("参照..."), this), "btnLedger");
  connect(btnLedger, &QPushButton::clicked, this, [this] {
    // The ledger need not exist yet: the run makes it.
    const QString chosen = QFileDialog::getSaveFileName(this, U("日付の台帳"), edtLedger->text(),
                                                        U("台帳 (*.sqlite);;すべてのファイル (*)"), nullptr,
                                                        QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty()) edtLedger->setText(chosen);
  });
  memExclude = Named(new QPlainTextEdit(this), "memExclude",
                     "サイトマップに載せないファイルやフォルダを 1 行に 1 つ、.gitignore と同じ書き方で指定します");
  memExclude->setTabChangesFocus(true);
  lblLastModNote = Named(new QLabel(U("メイン画面の「最終更新日を指定」にチェックがあるときに使います"), this),
                         "lblLastModNote");
  lblLastModNote->setWordWrap(true);
  chkSkipNoindex = Named(new QCheckBox(U("noindex のページを載せない"), this), "chkSkipNoindex",
                         "<meta name=\"robots\" content=\"noindex\"> のあるページを除きます");
  chkFolderUrls = Named(new QCheckBox(U("index ページをフォルダの URL で書く"), this), "chkFolderUrls",
                        "docs/index.html を https://example.jp/docs/ と書きます");
  edtIndexNames = Named(new QLineEdit(this), "edtIndexNames",
                        "フォルダの URL にする index ページの名前をコンマで区切って、優先する順に指定します");
  chkFollowLinks = Named(new QCheckBox(U("フォルダへのリンクの中も調べる"), this), "chkFollowLinks",
                         "シンボリックリンクの先のフォルダも調べます（同じフォルダは一度だけ）");
  chkGzip = Named(new QCheckBox(U("gzip で圧縮する"), this), "chkGzip",
                  "ページを .xml.gz の部分ファイルに書き、nubika_sitemap.xml をその索引にします");

  chkCanonical = Named(new QCheckBox(U("canonical が別の URL のページを載せない"), this), "chkCanonical",
                       "<link rel=\"canonical\"> が別のページを指すページを除きます");
  chkRobotsTxt = Named(new QCheckBox(U("robots.txt で禁止されたページを載せない"), this), "chkRobotsTxt",
                       "フォルダの robots.txt が禁止するページを除きます（ベース URL がホストの / のときだけ）");
  edtRobotsAgent = Named(new QLineEdit(this), "edtRobotsAgent",
                         "robots.txt を読むクローラの名前です（* はすべてのクローラ、例: Googlebot）");
  edtRobotsAgent->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\*|[A-Za-z_-]+")), edtRobotsAgent));
  chkRobotsSitemapLine =
      Named(new QCheckBox(U("robots.txt に Sitemap: 行を追加する"), this), "chkRobotsSitemapLine",
            "作成後、robots.txt にこのサイトマップを示す Sitemap: 行がなければ追加します（robots.txt がなければ作ります。"
            "ベース URL がホストの / のときだけ）");
  chkHreflang = Named(new QCheckBox(U("言語版 (hreflang) を書き、相互リンクを確かめる"), this), "chkHreflang",
                      "<link rel=\"alternate\" hreflang> を xhtml:link として書き、言語版どうしのリンクを確かめます");

  auto* form = new QFormLayout;
  form->addRow(U("最終更新日:"), cmbLastModFrom);
  form->addRow(QString(), lblLastModNote);
  form->addRow(QString(), chkDigestText);
  auto* ledgerRow = new QHBoxLayout;
  ledgerRow->addWidget(edtLedger, 1);
  ledgerRow->addWidget(btnLedger);
  form->addRow(U("日付の台帳:"), ledgerRow);
  form->addRow(U("除外パターン:"), memExclude);
  form->addRow(QString(), chkSkipNoindex);
  form->addRow(QString(), chkFolderUrls);
  form->addRow(U("index ページの名前:"), edtIndexNames);
  form->addRow(QString(), chkFollowLinks);
  form->addRow(QString(), chkGzip);
  form->addRow(QString(), chkCanonical);
  form->addRow(QString(), chkRobotsTxt);
  form->addRow(U("robots.txt のクローラ:"), edtRobotsAgent);
  form->addRow(QString(), chkRobotsSitemapLine);
  form->addRow(QString(), chkHreflang);
  // The names matter only to folder URLs, the digest and the ledger only
  // to content dates.
  connect(chkFolderUrls, &QCheckBox::toggled, edtIndexNames, &QWidget::setEnabled);
  edtIndexNames->setEnabled(false);
  connect(cmbLastModFrom, &QComboBox::currentIndexChanged, this, &TfrmOptions::EnableLedgerFields);
  EnableLedgerFields(cmbLastModFrom->currentIndex());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("buttons"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  resize(420, 0);
}

void TfrmOptions::EnableLedgerFields(int dateChoice) {
  for (QWidget* field : std::initializer_list<QWidget*>{chkDigestText, edtLedger, btnLedger})
    field->setEnabled(dateChoice == kContentDates || dateChoice == kGitDates);
}

void TfrmOptions::Show(const GenerationInputs& inputs) {
  cmbLastModFrom->setCurrentIndex(inputs.lastModFromContent ? (inputs.lastModFromGit ? kGitDates : kContentDates)
                                  : inputs.lastModFromFile  ? 1
                                                            : 0);
  chkDigestText->setChecked(inputs.digestText);
  ShownText::Set(edtLedger, inputs.ledgerPath);
  std::string patterns;
  for (const std::string& pattern : inputs.exclude) patterns += pattern + "\n";
  ShownText::Set(memExclude, patterns);
  chkSkipNoindex->setChecked(inputs.skipNoindex);
  chkFolderUrls->setChecked(inputs.folderUrls);
  edtIndexNames->setEnabled(inputs.folderUrls);
  std::string names;
  for (const std::string& name : inputs.indexNames) names += (names.empty() ? "" : ",") + name;
  ShownText::Set(edtIndexNames, names);
  chkFollowLinks->setChecked(inputs.followLinks);
  chkGzip->setChecked(inputs.gzip);
  chkCanonical->setChecked(inputs.canonical);
  chkRobotsTxt->setChecked(inputs.robotsTxt);
  ShownText::Set(edtRobotsAgent, inputs.robotsAgent);
  chkRobotsSitemapLine->setChecked(inputs.robotsSitemapLine);
  chkHreflang->setChecked(inputs.hreflang);
}

GenerationInputs TfrmOptions::Applied(GenerationInputs inputs) const {
  inputs.lastModFromFile = cmbLastModFrom->currentIndex() == 1;
  inputs.lastModFromContent = cmbLastModFrom->currentIndex() == kContentDates ||
                              cmbLastModFrom->currentIndex() == kGitDates;
  inputs.lastModFromGit = cmbLastModFrom->currentIndex() == kGitDates;
  inputs.digestText = chkDigestText->isChecked();
  inputs.ledgerPath = ShownText::Get(edtLedger);
  inputs.exclude.clear();
  const std::string patterns = ShownText::Get(memExclude);
  for (std::string& line : AsciiText::Lines(patterns))
    if (!line.empty()) inputs.exclude.push_back(std::move(line));
  inputs.skipNoindex = chkSkipNoindex->isChecked();
  inputs.folderUrls = chkFolderUrls->isChecked();
  inputs.indexNames = SettingsFile::SplitExtensions(ShownText::Get(edtIndexNames));
  inputs.followLinks = chkFollowLinks->isChecked();
  inputs.gzip = chkGzip->isChecked();
  inputs.canonical = chkCanonical->isChecked();
  inputs.robotsTxt = chkRobotsTxt->isChecked();
  // The validator lets through only a crawler's name or "*"; left empty, any crawler.
  const std::string agent = ShownText::Get(edtRobotsAgent);
  inputs.robotsAgent = agent.empty() ? "*" : agent;
  inputs.robotsSitemapLine = chkRobotsSitemapLine->isChecked();
  inputs.hreflang = chkHreflang->isChecked();
  return inputs;
}
