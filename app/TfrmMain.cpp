#include "app/TfrmMain.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "app/InstanceGuard.h"
#include "app/Prompter.h"
#include "app/SettingsFile.h"
#include "app/ShownText.h"
#include "app/TfrmVersionInfo.h"
#include "sitemap/SitemapWriter.h"
#include "text/clrelatedansistring.h"

namespace {

const char* const kRunningText = "サイトマップ作成中...";
const char* const kProgressText = "サイトマップ作成中";
const char* const kDoneText = "サイトマップ(nubika_sitemap.xml)生成完了\n";
const char* const kFailedText = "サイトマップ生成失敗";
const char* const kBusyText = "現在取り込み中です。完了まで次の操作はお待ち下さい";

QString U(const char* text) { return QString::fromUtf8(text); }

template <class Widget>
Widget* Place(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* widget = new Widget(parent);
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(left, top, width, height);
  return widget;
}

// A label sized to its text, as the window's labels grow with their
// caption rather than cut it.
QLabel* PlaceLabel(QWidget* parent, const char* name, int left, int top, const char* text) {
  auto* label = Place<QLabel>(parent, name, left, top, 0, 0);
  label->setText(U(text));
  label->adjustSize();
  return label;
}

// Silver text on a band of the window-text colour.
void MakeHeading(QLabel* label) {
  QFont font = label->font();
  font.setPixelSize(13);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::WindowText));
  palette.setColor(QPalette::WindowText, QColor(0xC0, 0xC0, 0xC0));
  label->setPalette(palette);
  label->setAutoFillBackground(true);
  label->adjustSize();
}

std::string FolderOfFile(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The folder that a path given by the user stands for: a folder itself, or
// the folder of a file. Nothing when the path names nothing.
std::optional<std::string> FolderOfExisting(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  if (S_ISDIR(status.st_mode)) return path;
  // A bare file name lies in the current folder; its full path keeps the
  // run's output path and the folder opened afterwards unambiguous.
  if (path.find('/') == std::string::npos) return std::filesystem::current_path().string();
  return FolderOfFile(path);
}

}  // namespace

TfrmMain::TfrmMain() : TfrmMain(Environment{}) {}

TfrmMain::TfrmMain(Environment environment, QWidget* parent)
    : QMainWindow(parent),
      environment_(std::move(environment)),
      prompter_(environment_.prompter),
      scanner_(environment_.lister) {
  if (!prompter_) {
    ownPrompter_ = std::make_unique<MessageBoxPrompter>(this);
    prompter_ = ownPrompter_.get();
  }
  CreateControls();
}

TfrmMain::~TfrmMain() {
  FormDestroy();
  // The last worker may still be between its finished notice and its end;
  // it no longer touches the window, but it must be gone before we are.
  if (lastWorkerEnd_) lastWorkerEnd_->Wait();
}

void TfrmMain::CreateControls() {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(U("ヌビカサイトマップ生成"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint);
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPixelSize(12);
  setFont(font);

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);
  CreateInputs(client);
  CreateCommands(client);
  CreateMenus();
  SetTabOrder();
  SetRunningState(false);
  setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  move(417, 249);
}

void TfrmMain::CreateInputs(QWidget* client) {
  // The panel only frames the options; created first so that it lies
  // beneath the controls drawn over it.
  Panel1 = Place<QFrame>(client, "Panel1", 24, 120, 353, 169);
  Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);
  Label4 = PlaceLabel(Panel1, "Label4", 0, -1, "出力するサイトマップのオプションを指定");
  MakeHeading(Label4);

  Label3 = PlaceLabel(client, "Label3", 24, 16, "ホームページのローカルフォルダを指定");
  MakeHeading(Label3);
  edtLocalPath = Place<QLineEdit>(client, "edtLocalPath", 32, 28, 273, 20);
  edtLocalPath->setToolTip(U("サイトマップ作成対象となるローカルフォルダを指定してください"));
  btnLocalPath = Place<QPushButton>(client, "btnLocalPath", 313, 25, 41, 25);
  btnLocalPath->setText(U("参照"));
  connect(btnLocalPath, &QPushButton::clicked, this, &TfrmMain::btnLocalPathClick);

  Label2 = PlaceLabel(client, "Label2", 24, 68, "ホームページのURL(http://～)を指定");
  MakeHeading(Label2);
  edtBaseURL = Place<QLineEdit>(client, "edtBaseURL", 32, 80, 273, 20);
  edtBaseURL->setToolTip(U("サイトマップ作成対象となるホームページのURLを指定してください"));

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
    *option.box = Place<QCheckBox>(client, option.name, 48, option.top, 153, 17);
    (*option.box)->setText(U(option.caption));
    (*option.box)->setToolTip(U(option.hint));
    (*option.box)->setFocusPolicy(Qt::ClickFocus);
  }

  // Above the field it names: at the field's own top it would be hidden
  // behind the field and the button.
  Label1 = PlaceLabel(client, "Label1", 216, 136, "対象とする拡張子の種類");
  edtAddKaku = Place<QLineEdit>(client, "edtAddKaku", 224, 152, 65, 20);
  edtAddKaku->setToolTip(U("サイトマップの対象とするファイルの拡張子を追加できます"));
  btnAddKaku = Place<QPushButton>(client, "btnAddKaku", 296, 149, 73, 25);
  btnAddKaku->setText(U("拡張子追加"));
  connect(btnAddKaku, &QPushButton::clicked, this, &TfrmMain::btnAddKakuClick);
  listKakuchoshi = Place<QListWidget>(client, "listKakuchoshi", 224, 176, 145, 97);
  listKakuchoshi->setToolTip(U("サイトマップの対象となる拡張子一覧です"));
  listKakuchoshi->setSelectionMode(QAbstractItemView::SingleSelection);
  listKakuchoshi->setUniformItemSizes(true);
  listKakuchoshi->setContextMenuPolicy(Qt::CustomContextMenu);
}

void TfrmMain::CreateCommands(QWidget* client) {
  prgStat = Place<QProgressBar>(client, "prgStat", 408, 8, 121, 17);
  prgStat->setRange(0, 100);
  prgStat->setValue(100);
  prgStat->setTextVisible(false);
  // As wide as the bar above it: the file name in the success text cannot
  // be broken and needs more than the label's original 105 pixels.
  lblStat = Place<QLabel>(client, "lblStat", 408, 40, 121, 41);
  lblStat->setWordWrap(true);
  lblStat->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  progressPaint_ = new PaintThrottle({prgStat, lblStat}, 40, this);

  btnMake = Place<QPushButton>(client, "btnMake", 416, 117, 105, 25);
  btnMake->setText(U("サイトマップ生成"));
  btnMake->setToolTip(U("サイトマップ生成開始ボタンです"));
  connect(btnMake, &QPushButton::clicked, this, &TfrmMain::mnuReadFolderClick);
  btnSuspend = Place<QPushButton>(client, "btnSuspend", 416, 157, 105, 25);
  btnSuspend->setText(U("中断"));
  connect(btnSuspend, &QPushButton::clicked, this, &TfrmMain::StopRun);
  btnEnd = Place<QPushButton>(client, "btnEnd", 416, 264, 105, 22);
  btnEnd->setText(U("終了"));
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
  const QWidget* const order[] = {listKakuchoshi, edtAddKaku, btnAddKaku, edtBaseURL, edtLocalPath,
                                  btnLocalPath,   btnMake,    btnEnd,     btnSuspend};
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
  mnuSuspend->setEnabled(running);
  for (QWidget* input : RunInputs()) input->setEnabled(!running);
  btnSuspend->setEnabled(running);
  isRunning_ = running;
}

// ---- Start-up and shutdown ----

bool TfrmMain::FormCreate(const std::optional<std::string>& argument) {
  guard_ = environment_.guardName.isEmpty() ? std::make_unique<InstanceGuard>()
                                            : std::make_unique<InstanceGuard>(environment_.guardName);
  if (guard_->acquire() == InstanceGuard::State::kHeldByAnother) {
    prompter_->Notice(U("複数起動は出来ません"));
    return false;
  }
  created_ = true;
  setAcceptDrops(true);
  // Loaded before a command-line run starts, since the run's writer takes
  // its inputs from the controls.
  loadSettings();
  if (argument && !argument->empty()) StartCommandLineRun(*argument);
  return true;
}

void TfrmMain::StartCommandLineRun(const std::string& argument) {
  const std::optional<std::string> folder = FolderOfExisting(argument);
  if (!folder) return;  // names nothing: the window starts idle
  StartRun(*folder);
  quitWhenDone_ = true;
}

void TfrmMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  StopRun();
  // An instance that never got past the guard has empty inputs that must
  // not overwrite the stored ones.
  if (!created_) return;
  saveSettings();
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
  SettingsFile(SettingsPath(), SettingsFiles()).Load(&settings);
  ShownText::Set(edtLocalPath, settings.localFolder);
  ShownText::Set(edtBaseURL, settings.baseUrl);
  chkIsPriority->setChecked(settings.priority);
  chkIsChangeFreq->setChecked(settings.changeFreq);
  chkIsLastMod->setChecked(settings.lastMod);
  ChkIsMobile->setChecked(settings.mobile);
  for (const std::string& extension : settings.extensions)
    if (!ListHolds(extension)) listKakuchoshi->addItem(ShownText::NewItem(extension));
}

bool TfrmMain::saveSettings() {
  Settings settings;
  settings.localFolder = ShownText::Get(edtLocalPath);
  const GenerationInputs inputs = SnapshotInputs();
  settings.baseUrl = inputs.baseUrl;
  settings.priority = inputs.priority;
  settings.changeFreq = inputs.changeFreq;
  settings.lastMod = inputs.lastMod;
  settings.mobile = inputs.mobile;
  settings.extensions = inputs.extensions;
  SettingsFile file(SettingsPath(), SettingsFiles());
  if (file.Save(settings)) return true;
  prompter_->Error(U("%1 に書き込めません").arg(QFile::decodeName(QByteArray::fromStdString(file.path()))));
  return false;
}

// ---- Generation control ----

void TfrmMain::mnuReadFolderClick() {
  if (isRunning_) return;
  const std::string folder = ShownText::Get(edtLocalPath);
  if (folder.empty()) return;
  StartRun(folder);
}

void TfrmMain::StartRun(const std::string& folder) {
  if (isRunning_) return;  // one worker at a time: the scanner is shared
  targetFolder_ = folder;
  scanner_.reset();
  lblStat->setText(U(kRunningText));
  stopAsked_ = false;
  resultShown_ = false;
  // The previous worker has sent its last notice but may not have ended
  // yet; it touches nothing of ours any more, so it is not waited for.
  worker_ = new clsThread(*this);
  lastWorkerEnd_ = worker_->completion();
  worker_->Resume();
  SetRunningState(true);
}

void TfrmMain::StopRun() {
  if (!isRunning_) return;
  stopAsked_ = true;
  scanner_.stopRequested = true;
  worker_->Terminate();
  // The worker's notices need this thread, so the wait keeps handling
  // them until the finished notice has put the window back to idle. It
  // processes events itself rather than exec() a loop, which returns at
  // once while the application is on its way out.
  QEventLoop loop;
  while (isRunning_) loop.processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
  lastWorkerEnd_->Wait();
}

void TfrmMain::DeliverNotice(std::uint16_t message, std::uintptr_t wParam, const std::string& text) {
  CallOnGui([&] {
    if (message == kGenProgress) WMGenProgress(text);
    else if (message == kGenFinished) WMGenFinished(wParam != 0);
  });
}

// Runs call on the GUI thread and waits for it; an exception it raises is
// raised again here, on the calling thread.
void TfrmMain::CallOnGui(const std::function<void()>& call) {
  if (QThread::currentThread() == thread()) {
    call();  // a blocking hand-over to ourselves would never return
    return;
  }
  std::exception_ptr failure;
  QMetaObject::invokeMethod(
      this,
      [&] {
        try {
          call();
        } catch (...) {
          failure = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (failure) std::rethrow_exception(failure);
}

void TfrmMain::WMGenProgress(const std::string& percent) {
  progressPaint_->BeforeChange();
  lblStat->setText(U(kProgressText) + ShownText::ToQt(percent) + QLatin1Char('%'));
  int position = 0;
  std::sscanf(percent.c_str(), "%d", &position);
  prgStat->setValue(position);
}

void TfrmMain::WMGenFinished(bool succeeded) {
  progressPaint_->Flush();
  SetRunningState(false);
  // A run that failed before the writer could say so (nothing to list,
  // an error) must not go on claiming that it is at work; a run the user
  // stopped during the scan keeps its text.
  if (!succeeded && !resultShown_ && !stopAsked_) lblStat->setText(U(kFailedText));
  if (quitWhenDone_) {
    quitWhenDone_ = false;
    exitCode_ = succeeded ? 0 : 1;
    emit endRequested(exitCode_);
  }
}

bool TfrmMain::FinishRun(RunControl& control) {
  try {
    GenerationInputs inputs;
    CallOnGui([&] { inputs = SnapshotInputs(); });
    SitemapWriter writer(environment_.outputFiles ? *environment_.outputFiles : PosixFileLayer::Instance());
    // The scan is over: its list no longer changes and is read in place.
    const bool written = writer.WriteSitemap(targetFolder_, scanner_.entries(), inputs, control);
    const std::string path = writer.outputPath();
    CallOnGui([&] { ShowResult(written, path); });
    // A failed write leaves any earlier sitemap as it was: the writer
    // replaces the file only once the new one is complete.
    return written;
  } catch (...) {
    return false;
  }
}

GenerationInputs TfrmMain::SnapshotInputs() const {
  GenerationInputs inputs;
  inputs.baseUrl = ShownText::Get(edtBaseURL);
  inputs.priority = chkIsPriority->isChecked();
  inputs.changeFreq = chkIsChangeFreq->isChecked();
  inputs.lastMod = chkIsLastMod->isChecked();
  inputs.mobile = ChkIsMobile->isChecked();
  for (int row = 0; row < listKakuchoshi->count(); ++row)
    inputs.extensions.push_back(ShownText::Get(listKakuchoshi->item(row)));
  return inputs;
}

void TfrmMain::ShowResult(bool written, const std::string& path) {
  outputPath_ = path;
  resultShown_ = true;
  if (!written) {
    lblStat->setText(U(kFailedText));
    return;
  }
  lblStat->setText(U(kDoneText));
  const QString folder = QFile::decodeName(QByteArray::fromStdString(FolderOfFile(path)));
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(folder).absoluteFilePath()));
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
  // A path that cannot be inspected is taken whole.
  const std::optional<std::string> folder = FolderOfExisting(paths.front());
  ShownText::Set(edtLocalPath, folder ? *folder : paths.front());
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

void TfrmMain::mnuAboutClick() {
  if (aboutBox_) aboutBox_->exec();
}

void TfrmMain::mnutohaClick() { QDesktopServices::openUrl(help_.sitemapExplained()); }

void TfrmMain::mnuGuideClick() { QDesktopServices::openUrl(help_.usageGuide()); }
