#include "app/clCalledWinDialog.h"

#include <QDir>
#include <QFileDialog>

clCalledWinDialog::clCalledWinDialog() : clCalledWinDialog(&clCalledWinDialog::ChooseWithQt) {}

clCalledWinDialog::clCalledWinDialog(Chooser chooser)
    : title_(QStringLiteral("フォルダを選択してください。")),
      initialFolder_(QDir::homePath()),
      chooser_(std::move(chooser)) {}

bool clCalledWinDialog::execute(QWidget* owner) {
  selectedPath_ = chooser_(owner, title_, initialFolder_);
  return true;
}

QString clCalledWinDialog::ChooseWithQt(QWidget* owner, const QString& title, const QString& initialFolder) {
  QFileDialog dialog(owner, title, initialFolder);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (dialog.exec() != QDialog::Accepted) return {};
  // A folder that is no local path (a remote place of the desktop) cannot
  // hold a site to scan; it counts as no choice.
  const QList<QUrl> chosen = dialog.selectedUrls();
  if (chosen.isEmpty() || !chosen.first().isLocalFile()) return {};
  return chosen.first().toLocalFile();
}
