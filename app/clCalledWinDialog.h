#pragma once
#include <QString>
#include <functional>

class QWidget;

// The folder chooser behind the "参照" button: a modal dialog that offers
// folders only, with the instruction text as its title, opening at the
// user's home folder whatever the folder field holds. A cancel leaves an
// empty selected path.
class clCalledWinDialog {
 public:
  // Shows a chooser and returns the chosen folder, or an empty text on
  // cancel. Tests put their own in place of the real dialog.
  using Chooser = std::function<QString(QWidget* owner, const QString& title, const QString& initialFolder)>;

  clCalledWinDialog();
  explicit clCalledWinDialog(Chooser chooser);

  void setTitle(const QString& title) { title_ = title; }
  const QString& title() const { return title_; }
  const QString& initialFolder() const { return initialFolder_; }

  // Always true: a cancel shows as an empty getSelectedPath().
  bool execute(QWidget* owner);
  QString getSelectedPath() const { return selectedPath_; }

  // Qt's own folder dialog, native where the desktop offers one.
  static QString ChooseWithQt(QWidget* owner, const QString& title, const QString& initialFolder);

 private:
  QString selectedPath_;
  QString title_;
  QString initialFolder_;
  Chooser chooser_;
};
