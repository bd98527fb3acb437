#include "app/TfrmMain.h"

#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>

#include "app/AnchorLayout.h"
#include "app/ElidedLabel.h"
#include "app/GuiHandover.h"
#include "app/InstanceGuard.h"
#include "app/Prompter.h"
#include "app/ReasonText.h"
#include "app/ScreenFit.h"
#include "scan/ExclusionRules.h"
#include "settings/SettingsFile.h"
#include "app/ShownText.h"
#include "app/TfrmOptions.h"
#include "app/TfrmVersionInfo.h"
#include "sitemap/UrlText.h"
#include "text/clrelatedansistring.h"
#include "text/AsciiText.h"

namespace {

const char* const kRunningText = "サイトマップ作成中...";
const char* const kProgressText = "サイトマップ作成中";
const char* const kDoneText = "サイトマップ(nubika_sitemap.xml)生成完了\n";
const char* const kFailedText = "サイトマップ生成失敗";
const char* const kStoppedText = "サイトマップ作成を中断しました";
const char* const kFilesSeenText = "サイトマップ作成中... %1 ファイル";
// How often the scan's file count is shown: a few times a second.
constexpr int kScanDisplayMs = 250;
const char* const kBusyText = "現在取り込み中です。完了まで次の操作はお待ち下さい";
const char* const kBadBaseUrlText = "ホームページのURL(http://～)を正しく指定してください";

QString U(const char* text) { return QString::fromUtf8(text); }

// A refused exclusion pattern, in the window's words: the pattern, which
// entry of the list it is, and what is wrong at which character.
QString PatternNotice(const ExclusionRules::BadLine& bad) {
  using Reason = NameGlob::Fault::Reason;
  const QString line = ShownText::ToQt(bad.line);
  const int column = static_cast<int>(ShownText::ToQt(bad.line.substr(0, bad.fault.at)).size()) + 1;
  QString reason;
  switch (bad.fault.reason) {
    case Reason::kUnclosedBracket: reason = U("%1文字目の「[」を閉じる「]」がありません").arg(column); break;
    case Reason::kUnknownClass: reason = U("%1文字目からの「[:～:]」は文字クラスではありません").arg(column); break;
    case Reason::kTrailingBackslash: reason = U("末尾の「\\」の後に文字がありません"); break;
  }
  return U("除外パターン「%1」（%2番目）は使えません\n%3").arg(line).arg(bad.number).arg(reason);
}

template <class Widget>
Widget* Make(QWidget* parent, const char* name) {
  auto* widget = new Widget(parent);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// A label as large as its text: the window's labels grow with their
// caption rather than cut it.
QLabel* MakeLabel(QWidget* parent, const char* name, const char* text) {
  auto* label = Make<QLabel>(parent, name);
  label->setText(U(text));
  return label;
}

// Silver text on a band of the window-text colour, a pixel larger than the
// window's text.
void MakeHeading(QLabel* label, double scale) {
  QFont font = label->font();
  font.setPixelSize(static_cast<int>(std::lround(13 * scale)));
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::WindowText));
  palette.setColor(QPalette::WindowText, QColor(0xC0, 0xC0, 0xC0));
  label->setPalette(palette);
  label->setAutoFillBackground(true);
}

// A one-shot run's voice: one line on stderr per message.
void ToStderr(QString text) {
  text.replace(QLatin1Char('\n'), QStringLiteral(": "));
  std::fprintf(stderr, "nubika-sitemap: %s\n", text.toUtf8().constData());
}

// A value of the settings file that is none of its key's values.
QString WarningLine(const SettingsFile::Warning& warning) {
  QStringList values;
  for (const std::string& value : warning.values) values << ShownText::ToQt(value);
  return U("%1=%2 は使えない値のため、%3 として読みました（使える値: %4）")
      .arg(ShownText::ToQt(warning.key), ShownText::ToQt(SettingsFile::Encoded(warning.value)),
           ShownText::ToQt(warning.readAs), values.join(QStringLiteral(", ")));
}

}  // namespace

TfrmMain::TfrmMain() : TfrmMain(Environment{}) {}

TfrmMain::TfrmMain(Environment environment, QWidget* parent)
    : QMainWindow(parent),
      environment_(std::move(environment)),
      prompter_(environment_.prompter) {
  if (!prompter_) {
    ownPrompter_ = std::make_unique<MessageBoxPrompter>(this);
    prompter_ = ownPrompter_.get();
  }
  CreateControls();
  handover_ = new GuiHandover(this);
}

TfrmMain::~TfrmMain() {
  FormDestroy();
  // The last worker may still be between its finished notice and its end;
  // it no longer touches the window, but it must be gone before we are.
  worker_.reset();
}

void TfrmMain::CreateControls() {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(U("ヌビカサイトマップ生成"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::WindowContextHelpButtonHint);
  // The window was drawn for text 12 pixels high; a larger desktop font
  // makes the whole window larger in step.
  const int textPixels = std::max(kDesignTextPixels, QFontInfo(QApplication::font()).pixelSize());
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPixelSize(textPixels);
  setFont(font);
  const double scale = static_cast<double>(textPixels) / kDesignTextPixels;

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  // Smaller than drawn only as far as nothing overlaps: the options panel
  // down to its last box, the extension field up to the boxes' captions.
  layout_ = new AnchorLayout(client, QSize(kClientWidth, kClientHeight), scale, QSize(12, 28));
  setCentralWidget(client);
  CreateInputs(client);
  CreateCommands(client);
  CreateMenus();
  SetTabOrder();
  SetRunningState(false);
  resize(sizeHint());
  move(417, 249);
  FitOnScreen();
}

void TfrmMain::CreateInputs(QWidget* client) {
  using Edge = AnchorLayout::Edge;
  const double scale = layout_->scale();
  // The panel only frames the options; created first so that it lies
  // beneath the controls drawn over it. It grows with the window.
  Panel1 = Make<QFrame>(client, "Panel1");
  Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);
  layout_->Place(Panel1, QRect(24, 120, 353, 169), Edge::kLeft | Edge::kTop | Edge::kRight | Edge::kBottom);
  Label4 = MakeLabel(Panel1, "Label4", "出力するサイトマップのオプションを指定");
  MakeHeading(Label4, scale);
  Label4->move(0, -1);
  Label4->adjustSize();

  Label3 = MakeLabel(client, "Label3", "ホームページのローカルフォルダを指定");
  MakeHeading(Label3, scale);
  layout_->PlaceNatural(Label3, QPoint(24, 16));
  edtLocalPath = Make<QLineEdit>(client, "edtLocalPath");
  edtLocalPath->setToolTip(U("サイトマップ作成対象となるローカルフォルダを指定してください"));
  layout_->Place(edtLocalPath, QRect(32, 28, 273, 20), Edge::kLeft | Edge::kTop | Edge::kRight);
  btnLocalPath = Make<QPushButton>(client, "btnLocalPath");
  btnLocalPath->setText(U("参照"));
  layout_->Place(btnLocalPath, QRect(313, 25, 41, 25), Edge::kTop | Edge::kRight);
  connect(btnLocalPath, &QPushButton::clicked, this, &TfrmMain::btnLocalPathClick);

  Label2 = MakeLabel(client, "Label2", "ホームページのURL(http://～)を指定");
  MakeHeading(Label2, scale);
  layout_->PlaceNatural(Label2, QPoint(24, 68));
  edtBaseURL = Make<QLineEdit>(client, "edtBaseURL");
  edtBaseURL->setToolTip(U("サイトマップ作成対象となるホームページのURLを指定してください"));
  layout_->Place(edtBaseURL, QRect(32, 80, 273, 20), Edge::kLeft | Edge::kTop | Edge::kRight);
  // Between the URL and the options panel: which of 詳細設定 shape the
  // output; empty when none does.
  lblOptions = Make<ElidedLabel>(client, "lblOptions");
  layout_->Place(lblOptions, QRect(32, 102, 345, 16), Edge::kLeft | Edge::kTop | Edge::kRight);

  const struct {
    QCheckBox** box;
    const char* name;
    int top;
    const char* caption;
    const char* hint;
  } options[] = {
      {&chkIsPriority, "chkIsPriority", 168, "優先度を自動で指定",
       "ページの相対的な優先度（に<priority>タグ）を自動で設定する場合はチェックする"},
      {&chkIsChangeFreq, "chkIsChangeFreq", 192, "更新頻度を自動で指定",
       "ページの更新頻度（<changefreq>タグ）を自動で設定する場合はチェックする"},
      {&chkIsLastMod, "chkIsLastMod", 216, "最終更新日を指定",
       "ページの最終更新日（<lastmod>タグ）を本日の日付にする場合はチェックする"},
      {&ChkIsMobile, "ChkIsMobile", 240, "モバイルサイトマップ",
       ".携帯電話向けページと指定（<mobile:mobile/>タグ）する場合はチェックする"},
  };
  for (const auto& option : options) {
    *option.box = Make<QCheckBox>(client, option.name);
    (*option.box)->setText(U(option.caption));
    (*option.box)->setToolTip(U(option.hint));
    layout_->Place(*option.box, QRect(48, option.top, 153, 17));
  }

  // The extension group keeps to the panel's right edge; its list grows
  // with the panel's height. The label stands above the field it names:
  // at the field's own top it would be hidden behind the field and the
  // button.
  Label1 = MakeLabel(client, "Label1", "対象とする拡張子の種類");
  layout_->PlaceNatural(Label1, QPoint(216, 136), Edge::kTop | Edge::kRight);
  edtAddKaku = Make<QLineEdit>(client, "edtAddKaku");
  edtAddKaku->setToolTip(U("サイトマップの対象とするファイルの拡張子を追加できます"));
  layout_->Place(edtAddKaku, QRect(224, 152, 65, 20), Edge::kTop | Edge::kRight);
  btnAddKaku = Make<QPushButton>(client, "btnAddKaku");
  btnAddKaku->setText(U("拡張子追加"));
  layout_->Place(btnAddKaku, QRect(296, 149, 73, 25), Edge::kTop | Edge::kRight);
  connect(btnAddKaku, &QPushButton::clicked, this, &TfrmMain::btnAddKakuClick);
  // Enter adds the extension, as the button does.
  connect(edtAddKaku, &QLineEdit::returnPressed, this, &TfrmMain::btnAddKakuClick);
  listKakuchoshi = Make<QListWidget>(client, "listKakuchoshi");
  listKakuchoshi->setToolTip(U("サイトマップの対象となる拡張子一覧です"));
  listKakuchoshi->setSelectionMode(QAbstractItemView::SingleSelection);
  listKakuchoshi->setUniformItemSizes(true);
  listKakuchoshi->setContextMenuPolicy(Qt::CustomContextMenu);
  layout_->Place(listKakuchoshi, QRect(224, 176, 145, 97), Edge::kTop | Edge::kRight | Edge::kBottom);
  // The Delete key asks as the menu's 削除 does (eventFilter).
  listKakuchoshi->installEventFilter(this);
}

void TfrmMain::CreateCommands(QWidget* client) {
  using Edge = AnchorLayout::Edge;
  // The commands keep to the window's right edge, 終了 to its corner.
  const int right = Edge::kTop | Edge::kRight;
  prgStat = Make<QProgressBar>(client, "prgStat");
  prgStat->setRange(0, 100);
  prgStat->setValue(100);
  prgStat->setTextVisible(false);
  layout_->Place(prgStat, QRect(408, 8, 121, 17), right);
  // As wide as the bar above it: the file name in the success text cannot
  // be broken and needs more than the label's original 105 pixels.
  lblStat = Make<QLabel>(client, "lblStat");
  lblStat->setWordWrap(true);
  lblStat->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout_->Place(lblStat, QRect(408, 40, 121, 41), right);
  progressPaint_ = new PaintThrottle({prgStat, lblStat}, 40, this);
  scanTimer_ = new QTimer(this);
  scanTimer_->setInterval(kScanDisplayMs);
  connect(scanTimer_, &QTimer::timeout, this, &TfrmMain::ShowFilesSeen);

  btnMake = Make<QPushButton>(client, "btnMake");
  btnMake->setText(U("サイトマップ生成"));
  btnMake->setToolTip(U("サイトマップ生成開始ボタンです"));
  layout_->Place(btnMake, QRect(416, 117, 105, 25), right);
  connect(btnMake, &QPushButton::clicked, this, &TfrmMain::mnuReadFolderClick);
  btnSuspend = Make<QPushButton>(client, "btnSuspend");
  btnSuspend->setText(U("中断"));
  layout_->Place(btnSuspend, QRect(416, 157, 105, 25), right);
  connect(btnSuspend, &QPushButton::clicked, this, &TfrmMain::StopRun);
  btnEnd = Make<QPushButton>(client, "btnEnd");
  btnEnd->setText(U("終了"));
  layout_->Place(btnEnd, QRect(416, 264, 105, 22), Edge::kBottom | Edge::kRight);
  connect(btnEnd, &QPushButton::clicked, this, &TfrmMain::menuExitClick);
}

void TfrmMain::CreateMenus() {
  const auto item = [this](QMenu* menu, const char* name, const char* caption, void (TfrmMain::*handler)()) {
    QAction* action = menu->addAction(U(caption));
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  mnuMenu = menuBar()->addMenu(U("メイン(&M)"));
  mnuMenu->setObjectName(QStringLiteral("mnuMenu"));
  mnuReadFolder = item(mnuMenu, "mnuReadFolder", "サイトマップ生成(&M)", &TfrmMain::mnuReadFolderClick);
  mnuSuspend = item(mnuMenu, "mnuSuspend", "中断(&S)", &TfrmMain::StopRun);
  mnuSuspend->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  mnuOptions = item(mnuMenu, "mnuOptions", "詳細設定(&O)...", &TfrmMain::mnuOptionsClick);
  menuExit = item(mnuMenu, "menuExit", "終了(&X)", &TfrmMain::menuExitClick);

  mnuHelp = menuBar()->addMenu(U("情報(&H)"));
  mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
  mnutoha = item(mnuHelp, "mnutoha", "サイトマップとは!?(&T)", &TfrmMain::mnutohaClick);
  mnuGuide = item(mnuHelp, "mnuGuide", "使い方ガイド(&G)", &TfrmMain::mnuGuideClick);
  mnuAbout = item(mnuHelp, "mnuAbout", "バージョン情報(&V)", &TfrmMain::mnuAboutClick);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Delete1 = item(PopupMenu1, "Delete1", "削除", &TfrmMain::Delete1Click);
  N1 = item(PopupMenu1, "N1", "全削除", &TfrmMain::N1Click);
  connect(listKakuchoshi, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    PopupMenu1->popup(listKakuchoshi->viewport()->mapToGlobal(at));
  });
}

void TfrmMain::SetTabOrder() {
  // The option boxes in their order on screen, after the folder's button.
  const QWidget* const order[] = {listKakuchoshi, edtAddKaku,      btnAddKaku,   edtBaseURL,  edtLocalPath,
                                  btnLocalPath,   chkIsPriority,   chkIsChangeFreq, chkIsLastMod, ChkIsMobile,
                                  btnMake,        btnEnd,          btnSuspend};
  for (std::size_t i = 1; i < std::size(order); ++i)
    setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
  Panel1->setFocusPolicy(Qt::NoFocus);
  prgStat->setFocusPolicy(Qt::NoFocus);
}

QList<QWidget*> TfrmMain::RunInputs() const {
  return {chkIsPriority, chkIsChangeFreq, chkIsLastMod, ChkIsMobile, listKakuchoshi, edtAddKaku,
          btnAddKaku,    edtLocalPath,    edtBaseURL,   btnLocalPath, btnMake};
}

void TfrmMain::SetRunningState(bool running) {
  mnuReadFolder->setEnabled(!running);
  mnuOptions->setEnabled(!running);
  mnuSuspend->setEnabled(running);
  for (QWidget* input : RunInputs()) input->setEnabled(!running);
  btnSuspend->setEnabled(running);
  isRunning_ = running;
}

// ---- Start-up and shutdown ----

bool TfrmMain::IsOneShot(const std::optional<std::string>& argument) {
  struct stat status;
  return argument && !argument->empty() && stat(argument->c_str(), &status) == 0;
}

bool TfrmMain::FormCreate(const std::optional<std::string>& argument) {
  oneShot_ = IsOneShot(argument);
  guard_ = environment_.guardName.isEmpty() ? std::make_unique<InstanceGuard>()
                                            : std::make_unique<InstanceGuard>(environment_.guardName);
  if (guard_->acquire() == InstanceGuard::State::kHeldByAnother) {
    Tell(U("複数起動は出来ません"));
    return false;
  }
  created_ = true;
  setAcceptDrops(true);
  // Loaded before a command-line run starts, since the run takes its
  // inputs from the controls as it starts.
  loadSettings();
  if (argument && !argument->empty()) StartCommandLineRun(*argument);
  return true;
}

void TfrmMain::StartCommandLineRun(const std::string& argument) {
  if (!oneShot_) return;  // names nothing: the window starts idle
  // Resolved now: a bare file name means the folder current at start.
  std::string folder, problem;
  RunProblem unusable;
  if (!SitemapRun::ResolveFolder(argument, &folder, &unusable))
    problem = ShownText::FromQt(ReasonText::CauseOf(unusable));
  else if (BaseUrlIsUsable(&problem) && ExclusionsAreUsable(&problem)) {
    StartRun(folder);
    quitWhenDone_ = true;
    return;
  }
  // Nobody may be watching a command-line run: no box, a line on stderr.
  std::fprintf(stderr, "nubika-sitemap: %s\n", problem.c_str());
  lblStat->setText(U(kFailedText));
  lblStat->setToolTip(U("理由: ") + ShownText::ToQt(problem));
  exitCode_ = 1;
  emit endRequested(exitCode_);
}

bool TfrmMain::BaseUrlIsUsable(std::string* problem) const {
  UrlText::BaseProblem reason{};
  if (UrlText::NormalisedBase(ShownText::Get(edtBaseURL), &reason)) return true;
  *problem = ShownText::FromQt(U(kBadBaseUrlText) + U(": ") + ReasonText::OfBaseUrl(reason));
  return false;
}

bool TfrmMain::ExclusionsAreUsable(std::string* problem) const {
  ExclusionRules rules;
  const std::optional<ExclusionRules::BadLine> bad = rules.AddAll(options_.exclude);
  if (bad) *problem = ShownText::FromQt(PatternNotice(*bad));
  return !bad;
}

void TfrmMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  StopRun();
  // An instance that never got past the guard has empty inputs that must
  // not overwrite the stored ones.
  if (!created_) return;
  // Nobody sees a one-shot run's box: its status tells instead.
  if (!saveSettings() && oneShot_) exitCode_ = 1;
  // Released last: a new instance can start only once our settings are on
  // disk, so it never loads the old ones.
  guard_->release();
}

std::string TfrmMain::SettingsPath() const {
  return environment_.settingsPath.empty() ? SettingsFile::DefaultPath() : environment_.settingsPath;
}

FileLayer& TfrmMain::SettingsFiles() const {
  return environment_.settingsFiles ? *environment_.settingsFiles : PosixFileLayer::Instance();
}

void TfrmMain::loadSettings() {
  Settings settings;
  SettingsFile file(SettingsPath(), SettingsFiles());
  if (!file.Load(&settings)) {
    keepStoredSettings_ = true;
    const QString path = QFile::decodeName(QByteArray::fromStdString(file.path()));
    Tell(U("設定ファイル %1 を読めないため、終了時に保存しません").arg(path) + QLatin1Char('\n') +
         ShownText::ToQt(file.error()));
  }
  if (!file.warnings().empty()) {
    // Worth a look, not a box: the short text in the status, the details
    // in its tooltip.
    QStringList lines;
    for (const SettingsFile::Warning& warning : file.warnings()) lines << WarningLine(warning);
    if (oneShot_)
      for (const QString& line : lines) ToStderr(line);
    lblStat->setText(U("設定ファイルに警告があります"));
    lblStat->setToolTip(U("設定ファイル: ") + QFile::decodeName(QByteArray::fromStdString(file.path())) +
                        QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
  }
  if (settings.window) ShowAt(*settings.window);
  const GenerationInputs& inputs = settings.inputs;
  options_ = inputs;
  ShowOptions();
  ShownText::Set(edtLocalPath, settings.localFolder);
  ShownText::Set(edtBaseURL, inputs.baseUrl);
  chkIsPriority->setChecked(inputs.priority);
  chkIsChangeFreq->setChecked(inputs.changeFreq);
  chkIsLastMod->setChecked(inputs.lastMod);
  ChkIsMobile->setChecked(inputs.mobile);
  // The stored list comes without duplicates, and the list starts empty.
  listKakuchoshi->setUpdatesEnabled(false);
  for (const std::string& extension : inputs.extensions) listKakuchoshi->addItem(ShownText::NewItem(extension));
  listKakuchoshi->setUpdatesEnabled(true);
}

// True when there was nothing to save, or it is saved.
bool TfrmMain::saveSettings() {
  if (keepStoredSettings_) return true;  // said so at start
  Settings settings;
  settings.localFolder = ShownText::Get(edtLocalPath);
  settings.inputs = SnapshotInputs();
  settings.window = Place();
  SettingsFile file(SettingsPath(), SettingsFiles());
  if (file.Save(settings)) return true;
  TellError(U("%1 に書き込めません").arg(QFile::decodeName(QByteArray::fromStdString(file.path()))) +
            QLatin1Char('\n') + ShownText::ToQt(file.error()));
  return false;
}

// The frame on the desktop: pos() is its corner. Before the window is
// first shown its frame is not known yet: a title bar of the style's
// height and a border of its frame width all round stand for it.
QRect TfrmMain::Frame() const {
  const QSize known = frameGeometry().size() - size();
  const int border = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
  const QSize margins = known.isNull() ? QSize(border, style()->pixelMetric(QStyle::PM_TitleBarHeight) + border) : known;
  return QRect(pos(), size() + margins);
}

void TfrmMain::FitOnScreen() {
  QList<QRect> screens;
  if (QScreen* primary = QGuiApplication::primaryScreen()) screens << primary->availableGeometry();
  for (QScreen* screen : QGuiApplication::screens())
    if (screen != QGuiApplication::primaryScreen()) screens << screen->availableGeometry();
  const QRect frame = Frame();
  const QSize margins = frame.size() - size();
  const QRect fitted = ScreenFit::Fitted(frame, screens, minimumSizeHint() + margins);
  resize(fitted.size() - margins);
  move(fitted.topLeft());
  // A hidden window would lay itself out only once shown; its controls
  // stand in their places from the start.
  for (QLayout* layout : {layout(), static_cast<QLayout*>(layout_)}) {
    layout->invalidate();
    layout->activate();
  }
}

void TfrmMain::ShowAt(const WindowPlace& place) {
  resize(QSize(place.width, place.height).expandedTo(minimumSizeHint()));
  move(place.left, place.top);
  FitOnScreen();
  if (place.maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

WindowPlace TfrmMain::Place() const {
  // A maximised window keeps the place it returns to.
  const QRect inside = isMaximized() ? normalGeometry() : geometry();
  const QPoint corner = isMaximized() ? inside.topLeft() - (geometry().topLeft() - pos()) : pos();
  return {corner.x(), corner.y(), inside.width(), inside.height(), isMaximized()};
}

void TfrmMain::Tell(const QString& text) {
  if (oneShot_)
    ToStderr(text);
  else
    prompter_->Notice(text);
}

void TfrmMain::TellError(const QString& text) {
  if (oneShot_)
    Tell(text);
  else
    prompter_->Error(text);
}

// ---- Generation control ----

void TfrmMain::mnuReadFolderClick() {
  if (isRunning_) return;
  const std::string folder = ShownText::Get(edtLocalPath);
  if (folder.empty()) return;
  std::string problem;
  if (!BaseUrlIsUsable(&problem)) {
    // The notice, and on its second line what is wrong.
    prompter_->Notice(ShownText::ToQt(problem).replace(U(kBadBaseUrlText) + U(": "), U(kBadBaseUrlText) + U("\n")));
    return;
  }
  if (!ExclusionsAreUsable(&problem)) {
    prompter_->Notice(ShownText::ToQt(problem));
    return;
  }
  StartRun(folder);
}

void TfrmMain::StartRun(const std::string& folder) {
  if (isRunning_) return;  // one worker at a time
  targetFolder_ = folder;
  lblStat->setText(U(kRunningText));
  lblStat->setToolTip(QString());
  stopAsked_ = false;
  // The previous worker sent its last notice already; this only waits for
  // it to leave its thread.
  worker_.reset();
  worker_ = std::make_unique<clsThread>(
      *this, folder, SitemapRun::Environment{environment_.lister, environment_.outputFiles, {}});
  // The scan's length is not known: the bar is busy and the label counts.
  scanning_ = true;
  filesShown_ = 0;
  barBeforeScan_ = prgStat->value();
  {
    // The bar's value means nothing while it is busy: nobody is told of it.
    const QSignalBlocker quiet(prgStat);
    prgStat->setRange(0, 0);
  }
  scanTimer_->start();
  // Running before the worker resumes: a worker whose thread cannot be had
  // finishes inside Resume, and its notice must find the window running.
  SetRunningState(true);
  worker_->Resume();
}

void TfrmMain::StopRun() {
  if (!isRunning_) return;
  stopAsked_ = true;
  worker_->Terminate();
  // The worker's notices need this thread, so the wait keeps handling
  // them until the finished notice has put the window back to idle. It
  // processes events itself rather than exec() a loop, which returns at
  // once while the application is on its way out.
  // It also serves the notices itself: a stop pressed from within the
  // delivery of a posted event would not see them delivered as events.
  QEventLoop loop;
  while (isRunning_) {
    loop.processEvents(QEventLoop::ExcludeUserInputEvents);
    if (isRunning_) handover_->ServeFor(std::chrono::milliseconds(10));
  }
  worker_.reset();
}

GenerationInputs TfrmMain::InputsOfRun() {
  GenerationInputs inputs;
  CallOnGui([&] { inputs = SnapshotInputs(); });
  return inputs;
}

void TfrmMain::OnProgress(const std::string& percent) {
  CallOnGui([&] { WMGenProgress(percent); });
}

void TfrmMain::OnFinished(bool succeeded) {
  CallOnGui([&] { WMGenFinished(succeeded); });
}

// Runs call on the GUI thread and waits for it; an exception it raises is
// raised again here, on the calling thread.
void TfrmMain::CallOnGui(const std::function<void()>& call) {
  if (QThread::currentThread() == thread()) {
    call();  // a hand-over to ourselves would never return
    return;
  }
  handover_->Run(call);
}

void TfrmMain::ShowFilesSeen() {
  if (!scanning_ || !worker_) return;
  const std::size_t seen = worker_->filesSeenSoFar();
  if (seen == filesShown_) return;
  filesShown_ = seen;
  lblStat->setText(U(kFilesSeenText).arg(QLocale(QLocale::Japanese, QLocale::Japan).toString(static_cast<qulonglong>(seen))));
}

void TfrmMain::EndScanDisplay(bool writing) {
  if (!scanning_) return;
  scanning_ = false;
  scanTimer_->stop();
  const QSignalBlocker quiet(prgStat);
  prgStat->setRange(0, 100);
  // The writing sets the bar itself; a run that ended in its scan leaves
  // it as it was.
  if (writing)
    prgStat->reset();
  else
    prgStat->setValue(barBeforeScan_);
}

void TfrmMain::WMGenProgress(const std::string& percent) {
  EndScanDisplay(true);
  progressPaint_->BeforeChange();
  lblStat->setText(U(kProgressText) + ShownText::ToQt(percent) + QLatin1Char('%'));
  int position = 0;
  std::sscanf(percent.c_str(), "%d", &position);
  prgStat->setValue(position);
}

void TfrmMain::WMGenFinished(bool succeeded) {
  progressPaint_->Flush();
  EndScanDisplay(false);
  ShowResult(worker_->result());
  SetRunningState(false);
  if (quitWhenDone_) {
    quitWhenDone_ = false;
    exitCode_ = succeeded ? 0 : 1;
    emit endRequested(exitCode_);
  }
}

GenerationInputs TfrmMain::SnapshotInputs() const {
  GenerationInputs inputs = options_;
  inputs.baseUrl = ShownText::Get(edtBaseURL);
  inputs.priority = chkIsPriority->isChecked();
  inputs.changeFreq = chkIsChangeFreq->isChecked();
  inputs.lastMod = chkIsLastMod->isChecked();
  inputs.mobile = ChkIsMobile->isChecked();
  inputs.extensions.clear();
  for (int row = 0; row < listKakuchoshi->count(); ++row)
    inputs.extensions.push_back(ShownText::Get(listKakuchoshi->item(row)));
  return inputs;
}

void TfrmMain::ShowResult(const RunResult& result) {
  outputPath_ = result.path;
  lblStat->setToolTip(ResultDetails(result));
  // The window's own end stops a run too; nobody would read its result.
  // Nor would anyone the end of a command-line run, which ends the program.
  if (!destroyed_ && !quitWhenDone_) {
    if (!resultView_) resultView_ = new TfrmResult(this, environment_.resultSaveChooser);
    resultView_->Show(result);
  }
  if (!result.written) {
    // A stop the user asked for is no failure, at either stage.
    lblStat->setText(U(result.stopped ? kStoppedText : kFailedText));
    return;
  }
  lblStat->setText(U(kDoneText));
  const QString folder = QFile::decodeName(QByteArray::fromStdString(AsciiText::FolderOf(result.path)));
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(folder).absoluteFilePath()));
}

// What the status label's short text leaves out: why a run failed, or what
// a finished one counted, and what it left out.
QString TfrmMain::ResultDetails(const RunResult& result) {
  QStringList lines;
  if (result.written)
    lines << U("URL: %1件").arg(result.urlCount);
  else if (result.stopped)
    lines << U("中断しました");
  else
    lines << U("理由: ") + ReasonText::CauseOf(result.problem);
  if (result.changeCounts)
    lines << U("前回から: 追加 %1件、変更 %2件、削除 %3件")
                 .arg(result.changeCounts->added)
                 .arg(result.changeCounts->changed)
                 .arg(result.changeCounts->removed);
  if (result.written && result.problem) lines << ReasonText::CauseOf(result.problem);
  if (!result.warnings.empty()) {
    lines << U("警告: %1件（除外したページ、読めなかったフォルダ）").arg(result.warnings.total());
    for (const Warning& warning : result.warnings.kept()) {
      const QString note = ReasonText::NoteOf(warning);
      lines << ReasonText::NameOf(warning.reason) + U(": ") + ShownText::ToQt(warning.path) +
                   (note.isEmpty() ? QString() : U("（") + note + U("）"));
    }
    if (result.warnings.more() > 0) lines << U("… ほか%1件").arg(result.warnings.more());
  }
  return lines.join(QLatin1Char('\n'));
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == listKakuchoshi && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete && listKakuchoshi->isEnabled()) {
    Delete1Click();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---- Drops ----

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  event->acceptProposedAction();
  WMDropFiles(paths);
}

void TfrmMain::WMDropFiles(const std::vector<std::string>& paths) {
  if (isRunning_) {
    prompter_->Notice(U(kBusyText));
    return;
  }
  if (paths.size() != 1 || paths.front().empty()) return;
  // Anything but a folder stands for the folder that holds it; a path that
  // cannot be inspected is taken whole.
  const std::string& path = paths.front();
  struct stat status;
  const bool isOther = stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
  ShownText::Set(edtLocalPath, isOther ? AsciiText::FolderOf(path) : path);
}

// ---- Extension list and folder choice ----

bool TfrmMain::ListHolds(const std::string& extension) const {
  for (int row = 0; row < listKakuchoshi->count(); ++row)
    if (ShownText::Get(listKakuchoshi->item(row)) == extension) return true;
  return false;
}

void TfrmMain::btnAddKakuClick() {
  const std::string extension = cls_Trim().trimSpaces(ShownText::Get(edtAddKaku));
  if (extension.empty()) return;
  if (ListHolds(extension))
    prompter_->Notice(U("既に登録済みです"));
  else
    listKakuchoshi->addItem(ShownText::NewItem(extension));
  edtAddKaku->clear();
}

void TfrmMain::Delete1Click() {
  if (!prompter_->AskYesNo(U("確認"), U("選択中の拡張子を削除してもいいですか？"))) return;
  for (int row = 0; row < listKakuchoshi->count(); ++row) {
    if (listKakuchoshi->item(row)->isSelected()) {
      delete listKakuchoshi->takeItem(row);
      // The list would select the neighbour; a second delete must find
      // nothing chosen rather than an entry the user never picked.
      listKakuchoshi->selectionModel()->clear();
      return;
    }
  }
}

void TfrmMain::N1Click() {
  if (!prompter_->AskYesNo(U("確認"), U("全削除してもいいですか？"))) return;
  listKakuchoshi->clear();
}

void TfrmMain::btnLocalPathClick() {
  clCalledWinDialog dialog = environment_.folderChooser ? clCalledWinDialog(environment_.folderChooser)
                                                        : clCalledWinDialog();
  dialog.setTitle(U("サイトマップ生成対象のフォルダを指定してください"));
  dialog.execute(this);
  const std::string chosen = cls_Trim().trimSpaces(QFile::encodeName(dialog.getSelectedPath()).toStdString());
  if (!chosen.empty()) ShownText::Set(edtLocalPath, chosen);
}

// ---- Menus ----

void TfrmMain::menuExitClick() { close(); }

void TfrmMain::mnuOptionsClick() {
  if (isRunning_) return;
  TfrmOptions dialog(this);
  dialog.Show(options_);
  if (dialog.exec() == QDialog::Accepted) options_ = dialog.Applied(options_);
  ShowOptions();
}

void TfrmMain::ShowOptions() {
  QStringList on;
  if (options_.lastModFromFile) on << U("日付はファイルの更新日");
  if (options_.lastModFromContent)
    on << U(options_.lastModFromGit ? "日付は git のコミット日"
            : options_.digestText   ? "日付は見える文字の変更日"
                                    : "日付は中身の変更日");
  if (!options_.exclude.empty()) on << U("除外 %1 件").arg(options_.exclude.size());
  if (options_.skipNoindex) on << U("noindex を除く");
  if (options_.folderUrls) on << U("フォルダの URL");
  if (options_.followLinks) on << U("リンクの先も調べる");
  if (options_.gzip) on << U("gzip");
  if (options_.canonical) on << U("canonical 確認");
  if (options_.robotsTxt)
    on << (options_.robotsAgent == "*" ? U("robots.txt 準拠")
                                       : U("robots.txt 準拠 (%1)").arg(ShownText::ToQt(options_.robotsAgent)));
  if (options_.robotsSitemapLine) on << U("Sitemap 行追加");
  if (options_.hreflang) on << U("hreflang 確認");
  lblOptions->setText(on.isEmpty() ? QString() : U("詳細設定: ") + on.join(U(", ")));
  // The whole line too, for when the window is too narrow for it.
  lblOptions->setToolTip((on.isEmpty() ? QString() : lblOptions->text() + QLatin1Char('\n')) +
                         U("メニューの「詳細設定」で変えられます"));
}

void TfrmMain::EndOnRequest() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (!widget->isVisible() || !widget->isModal()) continue;
    if (auto* dialog = qobject_cast<QDialog*>(widget))
      dialog->reject();
    else
      widget->close();
  }
  // Once the boxes' own loops have returned, the window closes as usual.
  QTimer::singleShot(0, this, &TfrmMain::close);
}

void TfrmMain::mnuAboutClick() {
  if (aboutBox_) aboutBox_->exec();
}

void TfrmMain::mnutohaClick() { QDesktopServices::openUrl(help_.sitemapExplained()); }

void TfrmMain::mnuGuideClick() { QDesktopServices::openUrl(help_.usageGuide()); }
