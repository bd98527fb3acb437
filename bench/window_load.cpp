// Load helper for bench/load.sh: makes RUNS runs of FOLDER's sitemap from
// one window in one process, as a user pressing the generate button again
// and again would, and prints after each run the process's resident
// memory and a digest of the sitemap written:
//   window_load FOLDER RUNS
//   run 1 rss_kib 123456 sha256 0123...
// Offscreen; the settings and the instance lock go to a scratch folder.

#include <QApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

#include "WindowFixture.h"

namespace {

long ResidentKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

void RunEventsUntilIdle(const TfrmMain& window) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (!window.isRunning()) loop.quit();
  });
  poll.start(1);
  if (window.isRunning()) loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: window_load FOLDER RUNS\n");
    return 2;
  }
  const QString folder = QFile::decodeName(argv[1]);
  const int runs = std::atoi(argv[2]);
  Workspace space;
  UrlRecorder urls;
  FakePrompter prompter;
  TfrmMain window(space.environment(&prompter));
  if (!window.FormCreate()) return 1;
  Find<QListWidget>(window, "listKakuchoshi")->addItem(QStringLiteral("html"));
  Find<QLineEdit>(window, "edtBaseURL")->setText(QStringLiteral("https://example.jp/"));
  Find<QLineEdit>(window, "edtLocalPath")->setText(folder);

  for (int run = 1; run <= runs; ++run) {
    Find<QPushButton>(window, "btnMake")->click();
    RunEventsUntilIdle(window);
    QFile sitemap(folder + QStringLiteral("/nubika_sitemap.xml"));
    if (!sitemap.open(QIODevice::ReadOnly)) return 1;
    const QByteArray digest = QCryptographicHash::hash(sitemap.readAll(), QCryptographicHash::Sha256).toHex();
    std::printf("run %d rss_kib %ld sha256 %s\n", run, ResidentKib(), digest.constData());
    std::fflush(stdout);
  }
  window.FormDestroy();
  return 0;
}
