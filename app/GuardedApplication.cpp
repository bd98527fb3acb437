#include "app/GuardedApplication.h"

#include <QMessageBox>
#include <exception>

#include "app/Prompter.h"

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowException(error.what());
  } catch (...) {
    ShowException("unknown error");
  }
  return false;
}

void GuardedApplication::ShowException(const char* what) {
  QMessageBox::critical(nullptr, QString::fromUtf8(Prompter::kApplicationTitle), QString::fromUtf8(what));
}
