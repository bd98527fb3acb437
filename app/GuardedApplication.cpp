#include "app/GuardedApplication.h"

#include <QMessageBox>
#include <cstdio>
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
  // A one-shot run cannot go on as if nothing happened: its status would
  // say it went well.
  if (unattended_) exit(1);
  return false;
}

int GuardedApplication::Guarded(const std::function<int()>& body) {
  try {
    return body();
  } catch (const std::exception& error) {
    ShowException(error.what());
  } catch (...) {
    ShowException("unknown error");
  }
  return 1;
}

void GuardedApplication::ShowException(const char* what) const {
  if (unattended_) {
    std::fprintf(stderr, "nubika-sitemap: %s\n", what);
    return;
  }
  QMessageBox::critical(nullptr, QString::fromUtf8(Prompter::kApplicationTitle), QString::fromUtf8(what));
}
