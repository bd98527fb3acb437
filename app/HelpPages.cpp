#include "app/HelpPages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

// Set by the build; see app/shell.cmake.
#ifndef NUBIKA_HELP_BASE_URL
#define NUBIKA_HELP_BASE_URL ""
#endif
#ifndef NUBIKA_HOME_PAGE_URL
#define NUBIKA_HOME_PAGE_URL ""
#endif
#ifndef NUBIKA_HELP_RELATIVE_DIR
#define NUBIKA_HELP_RELATIVE_DIR "../share/nubika-sitemap/help"
#endif
#ifndef NUBIKA_HELP_INSTALLED_DIR
#define NUBIKA_HELP_INSTALLED_DIR "/usr/local/share/nubika-sitemap/help"
#endif

HelpPages::HelpPages()
    : HelpPages(QCoreApplication::applicationDirPath(), QStringLiteral(NUBIKA_HELP_BASE_URL),
                QStringLiteral(NUBIKA_HOME_PAGE_URL)) {}

HelpPages::HelpPages(const QString& programFolder, const QString& configuredBase, const QString& configuredHome)
    : base_(configuredBase.isEmpty() ? ShippedFolder(programFolder) : AsFolder(QUrl::fromUserInput(configuredBase))),
      home_(configuredHome.isEmpty() ? base_.resolved(QUrl(kHomePagePath)) : QUrl::fromUserInput(configuredHome)) {}

QUrl HelpPages::ShippedFolder(const QString& programFolder) {
  const QFileInfo beside(QDir(programFolder).filePath(QStringLiteral(NUBIKA_HELP_RELATIVE_DIR)));
  const QString folder = beside.isDir() ? beside.canonicalFilePath() : QStringLiteral(NUBIKA_HELP_INSTALLED_DIR);
  return AsFolder(QUrl::fromLocalFile(folder));
}

// A base without its final "/" would lose its last segment when the page
// paths are resolved against it.
QUrl HelpPages::AsFolder(QUrl url) {
  if (!url.path().endsWith(u'/')) url.setPath(url.path() + u'/');
  return url;
}
