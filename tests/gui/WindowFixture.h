#pragma once
// What the window tests share: a prompter that answers by script, a
// recorder of the addresses handed to the desktop, stand-ins for the disk
// that hold a run at a chosen point, and a fresh set of folders per test.
#include <QAbstractButton>
#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QObject>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QUrl>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "GatedLister.h"
#include "TestSupport.h"
#include "app/Prompter.h"
#include "app/TfrmMain.h"
#include "io/FileLayer.h"

class FakePrompter : public Prompter {
 public:
  struct Question {
    QString caption;
    QString text;
  };
  QStringList notices;
  QStringList errors;
  std::vector<Question> questions;
  bool answer = true;

  void Notice(const QString& text) override { notices << text; }
  bool AskYesNo(const QString& caption, const QString& text) override {
    questions.push_back({caption, text});
    return answer;
  }
  void Error(const QString& text) override { errors << text; }
};

// Records what would have been opened in the file browser or web browser.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  UrlRecorder() {
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
  }
  ~UrlRecorder() override {
    for (const char* scheme : {"file", "https", "http"}) QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
  }
  QList<QUrl> opened;

 public slots:
  void open(const QUrl& url) { opened << url; }
};

// The real file layer, with the creation of the sitemap's temporary file
// held until released, or failing.
class HeldFileLayer : public PosixFileLayer {
 public:
  Gate gate;
  bool hold = true;
  bool failCreate = false;
  int CreateTemp(int folder, std::string* name, std::string* error) override {
    if (failCreate) {
      *error = "No space left on device";
      return -1;
    }
    if (hold) gate.Arrive();
    return PosixFileLayer::CreateTemp(folder, name, error);
  }
};

// One folder tree per test, and the runtime folder and settings file
// pointing into it.
class Workspace {
 public:
  Workspace() {
    const QString runtime = dir_.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
  }
  bool valid() const { return dir_.isValid(); }
  QString path(const QString& relative = {}) const { return relative.isEmpty() ? dir_.path() : dir_.filePath(relative); }
  std::string bytes(const QString& relative = {}) const { return QFile::encodeName(path(relative)).toStdString(); }

  // Creates a file (and its folders) with the given content.
  void write(const QString& relative, const QByteArray& content = "x") const {
    QDir().mkpath(QFileInfo(path(relative)).path());
    QFile file(path(relative));
    file.open(QIODevice::WriteOnly);
    file.write(content);
  }
  QByteArray read(const QString& relative) const {
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  TfrmMain::Environment environment(Prompter* prompter) const {
    TfrmMain::Environment environment;
    environment.settingsPath = bytes(QStringLiteral("Setting.ini"));
    environment.prompter = prompter;
    // Named after the folder, so that tests running side by side do not
    // see each other as a second instance.
    environment.guardName = QStringLiteral("nubika-test-") + QFileInfo(dir_.path()).fileName();
    return environment;
  }

 private:
  QTemporaryDir dir_;
};

template <class T>
T* Find(const QObject& window, const char* name) {
  return window.findChild<T*>(QString::fromLatin1(name));
}
