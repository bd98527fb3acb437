#include "app/StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};

extern "C" void WriteSignalNumber(int signalNumber) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  (void)!write(g_pipe[1], &byte, 1);  // a full pipe has enough to wake us already
  errno = saved;
}

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
  if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::Drain);
  struct sigaction action {};
  action.sa_handler = WriteSignalNumber;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signalNumber : kSignals) sigaction(signalNumber, &action, nullptr);
}

StopSignals::~StopSignals() {
  for (int signalNumber : kSignals) signal(signalNumber, SIG_DFL);
  for (int& end : g_pipe) {
    if (end >= 0) close(end);
    end = -1;
  }
}

void StopSignals::Drain() {
  unsigned char byte = 0;
  while (read(g_pipe[0], &byte, 1) == 1) emit received(byte);
}
