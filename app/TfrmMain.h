#pragma once
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/HelpPages.h"
#include "app/PaintThrottle.h"
#include "app/TfrmResult.h"
#include "app/clCalledWinDialog.h"
#include "job/clsThread.h"
#include "settings/SettingsFile.h"
#include "sitemap/GenerationInputs.h"

class AnchorLayout;
class DirectoryLister;
class ElidedLabel;
class FileLayer;
class GuiHandover;
class InstanceGuard;
class Prompter;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QFrame;
class QTimer;
class TfrmVersionInfo;

// The main window: holds the inputs of a run, starts and stops runs on a
// worker thread and shows their progress. It hosts the worker: every
// notice the worker sends is handled here, on the GUI thread, before the
// worker goes on.
class TfrmMain : public QMainWindow, public clsThread::Host {
  Q_OBJECT

 public:
  // What the window uses of the outside world; anything left empty is the
  // real thing. Tests put their own pieces here.
  struct Environment {
    std::string settingsPath;             // empty: SettingsFile::DefaultPath()
    FileLayer* settingsFiles = nullptr;
    FileLayer* outputFiles = nullptr;      // where the sitemap is written
    DirectoryLister* lister = nullptr;     // what the scan lists folders with
    Prompter* prompter = nullptr;          // empty: message boxes
    clCalledWinDialog::Chooser folderChooser;
    QString guardName;                     // empty: the executable's file name
    TfrmResult::SaveChooser resultSaveChooser;  // empty: a file dialog
  };

  // The inside of the window as drawn, for text kDesignTextPixels high;
  // with a larger desktop font everything is larger in step. The window
  // may be resized.
  static constexpr int kClientWidth = 536;
  static constexpr int kClientHeight = 297;
  static constexpr int kDesignTextPixels = 12;

  TfrmMain();
  explicit TfrmMain(Environment environment, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // Start-up. Returns false when another instance runs: this one must end
  // at once, and it will neither load nor save the settings. Settings that
  // cannot be read are not saved at the end either.
  bool FormCreate(const std::optional<std::string>& argument = std::nullopt);
  // Whether an argument asks for a one-shot run: it names something. Such
  // a run shows no box; its notices and errors go to stderr.
  static bool IsOneShot(const std::optional<std::string>& argument);
  // Shutdown: stops a run, saves the settings, releases the guard. Runs
  // once; the destructor calls it when nobody did.
  void FormDestroy();

  void setAboutBox(TfrmVersionInfo* about) { aboutBox_ = about; }
  // 0 unless a command-line run failed to write its sitemap.
  int exitCode() const { return exitCode_; }
  bool isRunning() const { return isRunning_; }
  const std::string& outputPath() const { return outputPath_; }
  // The result view of the last run the user started; nullptr before.
  TfrmResult* resultView() const { return resultView_; }

  // Generation control.
  void mnuReadFolderClick();
  void StartRun(const std::string& folder);
  void StopRun();
  void WMGenProgress(const std::string& percent);
  void WMGenFinished(bool succeeded);
  void WMDropFiles(const std::vector<std::string>& paths);

  // Inputs and commands.
  void btnAddKakuClick();
  void Delete1Click();
  void N1Click();
  void btnLocalPathClick();
  void menuExitClick();
  void mnuOptionsClick();
  // Ends the program as its close command does, for a request to end from
  // outside (a signal): any open box closes as if cancelled first.
  void EndOnRequest();
  void mnuAboutClick();
  void mnutohaClick();
  void mnuGuideClick();
  void loadSettings();
  bool saveSettings();

  // The worker's side of the window, called on the worker's thread; each
  // returns once the GUI thread has handled it.
  GenerationInputs InputsOfRun() override;
  void OnProgress(const std::string& percent) override;
  void OnFinished(bool succeeded) override;

 signals:
  // A command-line run has ended: the program should end with this code.
  void endRequested(int exitCode);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void CreateInputs(QWidget* client);
  void CreateCommands(QWidget* client);
  void CreateMenus();
  void SetTabOrder();
  void SetRunningState(bool running);
  QList<QWidget*> RunInputs() const;
  GenerationInputs SnapshotInputs() const;
  void ShowResult(const RunResult& result);
  // The window's place: stored, shown at, and kept on a screen.
  WindowPlace Place() const;
  void ShowAt(const WindowPlace& place);
  void FitOnScreen();
  QRect Frame() const;
  // While the scan runs: the files it has recorded, a few times a second.
  void ShowFilesSeen();
  // The line that names the options of 詳細設定 that are on.
  void ShowOptions();
  void EndScanDisplay(bool writing);
  static QString ResultDetails(const RunResult& result);
  // Each says, in the window's words, why the inputs cannot make a run.
  bool BaseUrlIsUsable(std::string* problem) const;
  bool ExclusionsAreUsable(std::string* problem) const;
  void CallOnGui(const std::function<void()>& call);
  // A notice or an error: in a box, or on stderr in a one-shot run.
  void Tell(const QString& text);
  void TellError(const QString& text);
  void StartCommandLineRun(const std::string& argument);
  bool ListHolds(const std::string& extension) const;
  std::string SettingsPath() const;
  FileLayer& SettingsFiles() const;

  Environment environment_;
  GuiHandover* handover_ = nullptr;
  std::unique_ptr<Prompter> ownPrompter_;
  Prompter* prompter_;
  HelpPages help_;
  std::unique_ptr<InstanceGuard> guard_;
  TfrmVersionInfo* aboutBox_ = nullptr;

  std::string targetFolder_;
  std::string outputPath_;
  // The current or last run's worker; kept after its run until the next
  // run or the window's end, since it may still be leaving its thread.
  std::unique_ptr<clsThread> worker_;
  // The options of the options dialog; the rest of the inputs live in
  // the controls.
  GenerationInputs options_;
  bool isRunning_ = false;
  bool quitWhenDone_ = false;
  bool stopAsked_ = false;
  bool created_ = false;
  bool oneShot_ = false;
  // The stored settings could not be read: saving the inputs over them
  // would lose them.
  bool keepStoredSettings_ = false;
  bool destroyed_ = false;
  int exitCode_ = 0;

  AnchorLayout* layout_ = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* edtLocalPath = nullptr;
  QPushButton* btnLocalPath = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* edtBaseURL = nullptr;
  ElidedLabel* lblOptions = nullptr;
  QFrame* Panel1 = nullptr;
  QLabel* Label4 = nullptr;
  QCheckBox* chkIsPriority = nullptr;
  QCheckBox* chkIsChangeFreq = nullptr;
  QCheckBox* chkIsLastMod = nullptr;
  QCheckBox* ChkIsMobile = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* edtAddKaku = nullptr;
  QPushButton* btnAddKaku = nullptr;
  QListWidget* listKakuchoshi = nullptr;
  QProgressBar* prgStat = nullptr;
  QLabel* lblStat = nullptr;
  // A large run changes the percentage up to 10,001 times; the screen
  // needs only the state of each frame.
  PaintThrottle* progressPaint_ = nullptr;
  QTimer* scanTimer_ = nullptr;
  bool scanning_ = false;
  std::size_t filesShown_ = 0;
  int barBeforeScan_ = 100;
  TfrmResult* resultView_ = nullptr;
  QPushButton* btnMake = nullptr;
  QPushButton* btnSuspend = nullptr;
  QPushButton* btnEnd = nullptr;

  QMenu* mnuMenu = nullptr;
  QAction* mnuReadFolder = nullptr;
  QAction* mnuSuspend = nullptr;
  QAction* mnuOptions = nullptr;
  QAction* menuExit = nullptr;
  QMenu* mnuHelp = nullptr;
  QAction* mnutoha = nullptr;
  QAction* mnuGuide = nullptr;
  QAction* mnuAbout = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* Delete1 = nullptr;
  QAction* N1 = nullptr;
};
