#pragma once
#include <QString>
#include <QUrl>

// Where the help pages and the maker's home page are opened from. By
// default the pages shipped with the program: the help folder that lies
// beside the executable's folder as in the build tree and after install
// (<prefix>/bin and <prefix>/share/nubika-sitemap/help), else the folder
// the build installs to. A packager can name a web site instead when
// building (NUBIKA_HELP_BASE_URL, NUBIKA_HOME_PAGE_URL).
class HelpPages {
 public:
  static constexpr const char* kSitemapExplainedPath = "soft/nubika_sitemap_hatena.htm";
  static constexpr const char* kUsageGuidePath = "soft/nubika_sitemap_howtouse.htm";
  static constexpr const char* kHomePagePath = "index.htm";

  // From the running program's folder and the build's settings.
  HelpPages();
  // configuredBase and configuredHome: a web address or a local folder;
  // empty for the shipped pages.
  HelpPages(const QString& programFolder, const QString& configuredBase, const QString& configuredHome);

  const QUrl& base() const { return base_; }
  QUrl homePage() const { return home_; }
  QUrl sitemapExplained() const { return base_.resolved(QUrl(kSitemapExplainedPath)); }
  QUrl usageGuide() const { return base_.resolved(QUrl(kUsageGuidePath)); }

 private:
  static QUrl ShippedFolder(const QString& programFolder);
  static QUrl AsFolder(QUrl url);

  QUrl base_;
  QUrl home_;
};
