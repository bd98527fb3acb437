#include "app/TfrmResult.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "app/ReasonText.h"
#include "app/ShownText.h"

namespace {

QString U(const char* text) { return QString::fromUtf8(text); }

QString Number(std::size_t value) {
  return QLocale(QLocale::Japanese, QLocale::Japan).toString(static_cast<qulonglong>(value));
}

QString LocalName(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

enum Column { kPath, kReason, kNote, kColumns };
constexpr int kReasonRole = Qt::UserRole;

}  // namespace

TfrmResult::TfrmResult(QWidget* parent, SaveChooser chooser) : QDialog(parent), chooser_(std::move(chooser)) {
  setObjectName(QStringLiteral("dlgResult"));
  setWindowTitle(U("結果"));
  setModal(false);
  if (!chooser_) {
    chooser_ = [](QWidget* owner) {
      return QFileDialog::getSaveFileName(owner, U("一覧を保存"), U("sitemap-report.txt"),
                                          U("テキストファイル (*.txt)"));
    };
  }

  auto* layout = new QVBoxLayout(this);
  lblHeadline = Named(new QLabel(this), "lblHeadline");
  QFont bold = lblHeadline->font();
  bold.setBold(true);
  lblHeadline->setFont(bold);
  lblWritten = Named(new QLabel(this), "lblWritten");
  lblWritten->setWordWrap(true);
  lblWritten->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblUrlCount = Named(new QLabel(this), "lblUrlCount");
  lblChanges = Named(new QLabel(this), "lblChanges");
  lblCause = Named(new QLabel(this), "lblCause");
  lblCause->setWordWrap(true);
  lblCause->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblAdvice = Named(new QLabel(this), "lblAdvice");
  lblAdvice->setWordWrap(true);
  for (QLabel* label : {lblHeadline, lblWritten, lblUrlCount, lblChanges, lblCause, lblAdvice}) layout->addWidget(label);

  auto* filterRow = new QHBoxLayout;
  auto* filterLabel = new QLabel(U("除外・報告した項目（理由で絞り込み）:"), this);
  cmbReason = Named(new QComboBox(this), "cmbReason");
  filterLabel->setBuddy(cmbReason);
  filterRow->addWidget(filterLabel);
  filterRow->addWidget(cmbReason, 1);
  layout->addLayout(filterRow);

  tblLeftOut = Named(new QTableWidget(0, kColumns, this), "tblLeftOut");
  tblLeftOut->setHorizontalHeaderLabels({U("パス"), U("理由"), U("詳細")});
  tblLeftOut->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblLeftOut->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tblLeftOut->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblLeftOut->setSortingEnabled(true);
  tblLeftOut->verticalHeader()->setVisible(false);
  tblLeftOut->horizontalHeader()->setStretchLastSection(true);
  tblLeftOut->horizontalHeader()->setSectionResizeMode(kPath, QHeaderView::Interactive);
  tblLeftOut->setColumnWidth(kPath, 300);
  tblLeftOut->setColumnWidth(kReason, 160);
  layout->addWidget(tblLeftOut, 1);
  lblMore = Named(new QLabel(this), "lblMore");
  layout->addWidget(lblMore);

  auto* buttons = new QHBoxLayout;
  btnSaveList = Named(new QPushButton(U("一覧を保存(&S)..."), this), "btnSaveList");
  btnOpenSitemap = Named(new QPushButton(U("サイトマップをブラウザで開く(&B)"), this), "btnOpenSitemap");
  btnOpenFolder = Named(new QPushButton(U("フォルダを開く(&F)"), this), "btnOpenFolder");
  btnClose = Named(new QPushButton(U("閉じる"), this), "btnClose");
  buttons->addWidget(btnSaveList);
  buttons->addStretch(1);
  buttons->addWidget(btnOpenSitemap);
  buttons->addWidget(btnOpenFolder);
  buttons->addWidget(btnClose);
  layout->addLayout(buttons);
  btnClose->setDefault(true);

  connect(cmbReason, &QComboBox::currentIndexChanged, this, &TfrmResult::ApplyFilter);
  connect(btnSaveList, &QPushButton::clicked, this, &TfrmResult::AskAndSave);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
  connect(btnOpenSitemap, &QPushButton::clicked, this, [this] {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(LocalName(sitemapPath_)).absoluteFilePath()));
  });
  connect(btnOpenFolder, &QPushButton::clicked, this, [this] {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(LocalName(folder_)).absoluteFilePath()));
  });
  auto* copy = new QShortcut(QKeySequence::Copy, tblLeftOut);
  copy->setContext(Qt::WidgetWithChildrenShortcut);
  connect(copy, &QShortcut::activated, this, &TfrmResult::CopySelected);
  resize(640, 420);
}

void TfrmResult::Show(const RunResult& result) {
  sitemapPath_ = result.written ? result.path : std::string();
  folder_ = result.folder;
  const QString path = LocalName(result.path);
  if (result.written) {
    lblHeadline->setText(U("サイトマップを作成しました"));
    if (result.partCount == 0)
      lblWritten->setText(U("サイトマップ: %1").arg(path));
    else
      lblWritten->setText(U("サイトマップインデックス: %1（パート %2 個%3）")
                              .arg(path, Number(result.partCount), result.gzip ? U("、gzip 圧縮") : QString()));
    lblUrlCount->setText(U("URL 数: %1").arg(Number(result.urlCount)));
  } else {
    lblHeadline->setText(result.stopped ? U("サイトマップ作成を中断しました") : U("サイトマップ生成失敗"));
    // Only a sitemap that is there can have been kept.
    const std::string sitemap = !result.path.empty()    ? result.path
                                : result.folder.empty() ? std::string()
                                                        : result.folder + "/nubika_sitemap.xml";
    lblWritten->setText(!sitemap.empty() && QFileInfo::exists(LocalName(sitemap))
                            ? U("以前のサイトマップはそのままです")
                            : U("サイトマップは作成していません"));
    lblUrlCount->clear();
  }
  lblChanges->setVisible(result.changeCounts.has_value());
  if (result.changeCounts)
    lblChanges->setText(U("追加 %1 件 / 更新 %2 件 / 削除 %3 件")
                            .arg(Number(result.changeCounts->added), Number(result.changeCounts->changed),
                                 Number(result.changeCounts->removed)));
  const bool failed = !result.written && !result.stopped;
  lblCause->setVisible(failed);
  lblAdvice->setVisible(failed);
  if (failed) {
    lblCause->setText(U("原因: ") + ReasonText::CauseOf(result.problem));
    lblAdvice->setText(U("対処: ") + ReasonText::AdviceFor(result.problem));
  }
  lblUrlCount->setVisible(result.written);
  btnOpenSitemap->setEnabled(result.written);
  btnOpenFolder->setEnabled(!folder_.empty());
  FillTable(result.warnings);
  show();
  raise();
  activateWindow();
}

void TfrmResult::FillTable(const WarningList& warnings) {
  tblLeftOut->setSortingEnabled(false);
  tblLeftOut->setRowCount(0);
  std::vector<bool> present(Warning::kReasons, false);
  for (const Warning& warning : warnings.kept()) {
    const int row = tblLeftOut->rowCount();
    tblLeftOut->insertRow(row);
    auto* path = new QTableWidgetItem(ShownText::ToQt(warning.path));
    path->setData(kReasonRole, static_cast<int>(warning.reason));
    tblLeftOut->setItem(row, kPath, path);
    tblLeftOut->setItem(row, kReason, new QTableWidgetItem(ReasonText::NameOf(warning.reason)));
    tblLeftOut->setItem(row, kNote, new QTableWidgetItem(ReasonText::NoteOf(warning)));
    present[static_cast<std::size_t>(warning.reason)] = true;
  }
  tblLeftOut->setSortingEnabled(true);
  QSignalBlocker quiet(cmbReason);
  cmbReason->clear();
  cmbReason->addItem(U("すべての理由"), -1);
  for (std::size_t reason = 0; reason < Warning::kReasons; ++reason)
    if (present[reason])
      cmbReason->addItem(ReasonText::NameOf(static_cast<Warning::Reason>(reason)), static_cast<int>(reason));
  cmbReason->setEnabled(cmbReason->count() > 2);
  lblMore->setVisible(warnings.more() > 0);
  lblMore->setText(U("ほかに %1 件あります（理由ごとに最初の %2 件を表示）")
                       .arg(Number(warnings.more()), Number(WarningList::kShown)));
  btnSaveList->setEnabled(!warnings.empty());
  ApplyFilter();
}

void TfrmResult::ApplyFilter() {
  const int wanted = cmbReason->currentData().toInt();
  for (int row = 0; row < tblLeftOut->rowCount(); ++row)
    tblLeftOut->setRowHidden(row, wanted >= 0 && tblLeftOut->item(row, kPath)->data(kReasonRole).toInt() != wanted);
}

QString TfrmResult::RowsText(bool selectedOnly) const {
  QString text;
  for (int row = 0; row < tblLeftOut->rowCount(); ++row) {
    if (selectedOnly && (tblLeftOut->isRowHidden(row) || !tblLeftOut->item(row, kPath)->isSelected())) continue;
    QStringList cells;
    for (int column = 0; column < kColumns; ++column) cells << tblLeftOut->item(row, column)->text();
    text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
  }
  return text;
}

void TfrmResult::CopySelected() const {
  const QString text = RowsText(true);
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

bool TfrmResult::SaveList(const QString& path) {
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly)) {
    const QByteArray bytes = RowsText(false).toUtf8();
    if (file.write(bytes) == bytes.size() && file.commit()) return true;
  }
  QMessageBox::warning(this, U("結果"), U("%1 に保存できません\n%2").arg(path, file.errorString()));
  return false;
}

void TfrmResult::AskAndSave() {
  const QString path = chooser_(this);
  if (!path.isEmpty()) SaveList(path);
}
