#include "sitemap/RobotsSitemapLine.h"

#include <cerrno>

#include "io/SafeOutputFile.h"
#include "sitemap/RobotsTxt.h"
#include "sitemap/SearchSelection.h"
#include "sitemap/SitemapFiles.h"
#include "text/AsciiText.h"

namespace {

std::string_view LineBreakOf(std::string_view text) {
  const std::size_t at = text.find_first_of("\r\n");
  if (at == std::string_view::npos) return "\n";
  if (text[at] == '\n') return "\n";
  return text.compare(at, 2, "\r\n") == 0 ? "\r\n" : "\r";
}

}  // namespace

std::optional<std::string> RobotsSitemapLine::Added(std::string_view text, const std::string& url) {
  if (SearchSelection::NamesSitemap(RobotsTxt(text, "*").sitemaps(), url)) return std::nullopt;
  const std::string_view lineBreak = LineBreakOf(text);
  std::string added(text);
  // A last line without its break gets one first, else the two would join.
  if (!added.empty() && added.back() != '\n' && added.back() != '\r' && added != AsciiText::kUtf8Mark) added += lineBreak;
  added.append("Sitemap: ").append(url).append(lineBreak);
  return added;
}

bool RobotsSitemapLine::Ensure(FileLayer& files, int folder, const std::string& folderPath, const std::string& url,
                               std::string* error) {
  const std::string name(SearchSelection::kRobotsTxt);
  std::string text, reason;
  if (!files.ReadWholeIn(folder, name, &text, &reason)) {
    if (errno != ENOENT) {
      *error = folderPath + "/" + name + ": " + reason;
      return false;
    }
    text.clear();
  }
  const std::optional<std::string> added = Added(text, url);
  if (!added) return true;
  SafeOutputFile out(files, folder, folderPath, std::string(SitemapFiles::kTemporaryPrefix));
  if (out.Open(name) && out.Write(*added) && out.Commit()) return true;
  *error = out.error();
  return false;
}
