#include "app/Prompter.h"

#include <QMessageBox>

namespace {

QString Title() { return QString::fromUtf8(Prompter::kApplicationTitle); }

}  // namespace

void MessageBoxPrompter::Notice(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, Title(), text, QMessageBox::Ok, owner_);
  box.exec();
}

bool MessageBoxPrompter::AskYesNo(const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, owner_);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void MessageBoxPrompter::Error(const QString& text) {
  QMessageBox box(QMessageBox::Critical, Title(), text, QMessageBox::Ok, owner_);
  box.exec();
}
