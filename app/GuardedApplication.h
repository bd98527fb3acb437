#pragma once
#include <QApplication>

// The application object. An exception that escapes an event handler is
// shown in an error box instead of ending the program silently.
class GuardedApplication : public QApplication {
 public:
  GuardedApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  static void ShowException(const char* what);
};
