// nubika-sitemap: the desktop program. With a folder on its command line it
// writes that folder's sitemap and ends, with exit status 0 when the
// sitemap was written and 1 otherwise, also when its settings could not be
// saved or another instance runs. Such a run shows no box: whatever it has
// to say goes to stderr.

#include <QFont>
#include <QFontInfo>
#include <algorithm>
#include <optional>
#include <string>

#include "app/GuardedApplication.h"
#include "app/HelpPages.h"
#include "app/ProductIcon.h"
#include "app/QtJapanese.h"
#include "app/StopSignals.h"
#include "app/TfrmMain.h"
#include "app/TfrmVersionInfo.h"

int main(int argc, char** argv) {
  GuardedApplication app(argc, argv);
  StopSignals stopSignals;
  QtJapanese::Install(app);
  app.setWindowIcon(ProductIcon::Icon());
  // Wayland matches the window to its menu entry, jp.nubika.sitemap.desktop.
  app.setDesktopFileName(QStringLiteral("jp.nubika.sitemap"));
  // The folder chooser and the boxes show Japanese too, at the desktop's
  // text size: the window was drawn for 12 pixels and grows with a larger
  // size, never shrinks below it.
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPixelSize(std::max(TfrmMain::kDesignTextPixels, QFontInfo(app.font()).pixelSize()));
  app.setFont(font);
  // The raw bytes: a path need not be valid text in any encoding.
  const std::optional<std::string> argument = argc > 1 ? std::optional<std::string>(argv[1]) : std::nullopt;
  app.setUnattended(TfrmMain::IsOneShot(argument));
  return app.Guarded([&] {
    // The title stays out of setApplicationDisplayName, which X11 would
    // append to every window's own caption; the notices carry it instead.
    TfrmMain frmMain;
    QObject::connect(&frmMain, &TfrmMain::endRequested, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    QObject::connect(&stopSignals, &StopSignals::received, &frmMain, &TfrmMain::EndOnRequest);
    // A second instance wrote nothing; asked for a sitemap, it says so.
    if (!frmMain.FormCreate(argument)) return argument ? 1 : 0;
    TfrmVersionInfo frmVersionInfo(HelpPages().homePage(), &frmMain);
    frmMain.setAboutBox(&frmVersionInfo);
    frmMain.show();
    const int loopStatus = app.exec();
    frmMain.FormDestroy();
    return loopStatus != 0 ? loopStatus : frmMain.exitCode();
  });
}
