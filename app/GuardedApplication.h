#pragma once
#include <QApplication>
#include <functional>

// The application object. An exception that escapes an event handler is
// shown in an error box instead of ending the program silently. A run
// that nobody watches (a one-shot run from the command line) shows no
// box: the error goes to stderr and the program ends with status 1.
class GuardedApplication : public QApplication {
 public:
  GuardedApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  void setUnattended(bool unattended) { unattended_ = unattended; }
  bool unattended() const { return unattended_; }

  // Runs the program's body: its result, or 1 when an exception escaped
  // it (after it was shown).
  int Guarded(const std::function<int()>& body);

  void ShowException(const char* what) const;

 private:
  bool unattended_ = false;
};
