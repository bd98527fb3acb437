#include "app/Prompter.h"

#include <QMessageBox>

namespace {

QString Title() { return QString::fromUtf8(Prompter::kApplicationTitle); }

// Boxes are windows of their own and do not take the owner's font by
// themselves; they should read like the window that asks.
int Show(QMessageBox& box, QWidget* owner) {
  if (owner) box.setFont(owner->font());
  return box.exec();
}

}  // namespace

void MessageBoxPrompter::Notice(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, Title(), text, QMessageBox::Ok, owner_);
  Show(box, owner_);
}

bool MessageBoxPrompter::AskYesNo(const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, owner_);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  return Show(box, owner_) == QMessageBox::Yes;
}

void MessageBoxPrompter::Error(const QString& text) {
  QMessageBox box(QMessageBox::Critical, Title(), text, QMessageBox::Ok, owner_);
  Show(box, owner_);
}
