#pragma once
#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP, the polite requests to end that a
// logout, kill or Ctrl+C send, into a Qt signal on the GUI thread. The
// handler only writes the signal's number into a pipe; a socket notifier
// reads it in the event loop, where anything may be done about it.
class StopSignals : public QObject {
  Q_OBJECT

 public:
  explicit StopSignals(QObject* parent = nullptr);
  // Puts the default handlers back.
  ~StopSignals() override;
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 signals:
  void received(int signalNumber);

 private:
  void Drain();

  QSocketNotifier* notifier_ = nullptr;
};
