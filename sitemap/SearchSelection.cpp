#include "sitemap/SearchSelection.h"

#include <cerrno>

#include "sitemap/UrlText.h"
#include "text/LanguageTag.h"

namespace {

constexpr std::string_view kRobotsTxt = "robots.txt";

std::string Plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The lines of one kind, then a line with the count of those not shown.
void AddLines(WarningList* warnings, const std::vector<std::string>& shown, std::size_t count, const char* more) {
  for (const std::string& line : shown) warnings->Add(line);
  if (count > shown.size()) warnings->Add(std::to_string(count - shown.size()) + " more " + more);
}

}  // namespace

SearchSelection::SearchSelection(const GenerationInputs& inputs, std::string base)
    : inputs_(inputs), base_(std::move(base)), baseKey_(LinkUrl::Compared(base_)), clusters_(base_) {}

bool SearchSelection::LoadRobots(FileLayer& files, const std::string& folderPath, std::string* error) {
  if (!inputs_.robotsTxt) return true;
  const std::size_t hostEnd = base_.find('/', base_.find("://") + 3);
  if (hostEnd + 1 != base_.size()) {
    robotsNotAtRoot_ = true;  // only a host's root has a robots.txt
    return true;
  }
  std::string text, reason;
  const std::string path = folderPath + "/" + std::string(kRobotsTxt);
  if (!files.ReadWhole(path, &text, &reason)) {
    if (errno == ENOENT) {
      robotsMissing_ = true;
      return true;
    }
    *error = "cannot read " + path + ": " + reason;
    return false;
  }
  robots_.emplace(text, inputs_.robotsAgent);
  return true;
}

std::string SearchSelection::KeyOf(const std::string& url) const {
  return url.starts_with(base_) ? baseKey_ + url.substr(base_.size()) : LinkUrl::Compared(url);
}

void SearchSelection::NoteIgnoredCanonical(LinkUrl::Problem problem, const std::string& path, const std::string& href) {
  switch (problem) {
    case LinkUrl::Problem::kEmpty: emptyCanonical_.Add(path); break;
    case LinkUrl::Problem::kNotHttp: notHttpCanonical_.Add(path + " -> " + href); break;
    default: brokenCanonical_.Add(path + " -> " + href); break;
  }
}

bool SearchSelection::Keeps(const std::string& path, const std::string& url, const clCompositionFolder& entry,
                            bool folderForm) {
  versions_.clear();
  const HeadLinks* links = entry.links();
  // An index page answers to its folder's URL and to its file's.
  std::optional<std::string> otherForm;
  bool indexNamed = false;
  for (const std::string& name : inputs_.indexNames) indexNamed = indexNamed || entry.name() == name;
  if (folderForm)
    otherForm = url + UrlText::PathSegment(entry.name());
  else if (indexNamed)
    otherForm = url.substr(0, url.rfind('/') + 1);

  const std::string documentBase = links ? LinkUrl::DocumentBase(links->base, url) : std::string();
  if (inputs_.canonical && links && links->canonical) {
    LinkUrl::Problem problem{};
    const std::optional<std::string> canonical = LinkUrl::Resolve(*links->canonical, documentBase, &problem);
    if (!canonical) {
      NoteIgnoredCanonical(problem, path, *links->canonical);
    } else if (const std::string key = LinkUrl::Compared(*canonical); key == KeyOf(url)) {
      // the page itself
    } else if (otherForm && key == KeyOf(*otherForm)) {
      if (!folderForm && !inputs_.folderUrls) folderCanonical_.Add(path);
    } else {
      canonicalElsewhere_.Add(path + " -> " + *canonical);
      return false;
    }
  }
  if (robots_ && !robots_->Allows("/" + url.substr(base_.size()))) {
    disallowed_.Add(path);
    return false;
  }
  if (!inputs_.hreflang) return true;
  if (links) {
    for (const HeadLinks::Alternate& alternate : links->alternates) {
      LinkUrl::Problem problem{};
      if (std::optional<std::string> resolved = LinkUrl::Resolve(alternate.href, documentBase, &problem))
        versions_.push_back({alternate.hreflang, std::move(*resolved)});
      else
        ignoredVersions_.Add(path + " -> " + (alternate.href.empty() ? "(empty)" : alternate.href));
    }
  }
  std::vector<std::string> keys = {KeyOf(url)};
  if (otherForm) keys.push_back(KeyOf(*otherForm));
  clusters_.AddPage(path, keys, versions_);
  return true;
}

// A version without a language tag is of no use to a search engine, and
// the schema refuses it: it is reported, not written.
void SearchSelection::AppendVersions(std::string* block) {
  for (const HreflangClusters::Version& version : versions_) {
    if (!LanguageTag::IsHreflang(version.hreflang)) continue;
    block->append("\t\t<xhtml:link rel=\"alternate\" hreflang=\"");
    UrlText::AppendXmlEscaped(block, version.hreflang);
    block->append("\" href=\"");
    UrlText::AppendXmlEscaped(block, version.url);
    block->append("\"/>\r\n");
  }
}

// Every line the options add to a run's report.
void SearchSelection::Report(WarningList* warnings) const {
  if (robotsNotAtRoot_)
    warnings->Add("robots.txt not read: the base URL " + base_ + " is not a host's root, which alone has one");
  if (robotsMissing_) warnings->Add("no robots.txt in the folder's root: no page is disallowed");
  if (robots_) {
    bool named = false;
    const std::string sitemapUrl = base_ + "nubika_sitemap.xml";
    for (const std::string& line : robots_->sitemaps()) named = named || line == sitemapUrl;
    if (!named) warnings->Add("robots.txt has no Sitemap: line for " + sitemapUrl);
  }
  AddLines(warnings, [&] {
    std::vector<std::string> lines;
    for (const std::string& line : canonicalElsewhere_.shown) lines.push_back("canonical elsewhere: " + line);
    return lines;
  }(), canonicalElsewhere_.count, "pages with their canonical elsewhere left out");
  AddLines(warnings, [&] {
    std::vector<std::string> lines;
    for (const std::string& line : disallowed_.shown) lines.push_back("disallowed by robots.txt: " + line);
    return lines;
  }(), disallowed_.count, "pages disallowed by robots.txt left out");
  const auto ignored = [warnings](const Lines& lines, const char* why) {
    if (lines.count == 0) return;
    warnings->Add(std::string("canonical ignored (") + why + ") on " + Plural(lines.count, "page", "pages") +
                  ", kept: " + lines.shown.front() + (lines.count > 1 ? ", ..." : ""));
  };
  ignored(notHttpCanonical_, "not an http or https URL");
  ignored(emptyCanonical_, "empty");
  ignored(brokenCanonical_, "not a URL");
  if (folderCanonical_.count > 0)
    warnings->Add(Plural(folderCanonical_.count, "index page names its", "index pages name their") +
                  " folder's URL as canonical but " + (folderCanonical_.count == 1 ? "is" : "are") +
                  " written as a file's, e.g. " +
                  folderCanonical_.shown.front() + ": --folder-urls writes the folder's URL");
  if (ignoredVersions_.count > 0)
    warnings->Add(Plural(ignoredVersions_.count, "language version names", "language versions name") +
                  " no http or https URL and " + (ignoredVersions_.count == 1 ? "is" : "are") +
                  " left out, e.g. " + ignoredVersions_.shown.front());
  if (!inputs_.hreflang) return;
  using Kind = HreflangClusters::Problem::Kind;
  for (const HreflangClusters::Problem& problem : clusters_.Check()) {
    switch (problem.kind) {
      case Kind::kNotReciprocal:
        warnings->Add("hreflang not returned: " + problem.path + " -> " + problem.url + " does not link back");
        break;
      case Kind::kSelfMissing:
        warnings->Add("hreflang cluster without the page itself: " + problem.path);
        break;
      case Kind::kNotInSitemap:
        warnings->Add("hreflang version not in the sitemap: " + problem.path + " -> " + problem.url);
        break;
      case Kind::kBadLanguage:
        warnings->Add("hreflang \"" + problem.hreflang + "\" is no language tag, version left out: " + problem.path);
        break;
      case Kind::kSameLanguage:
        warnings->Add("hreflang \"" + problem.hreflang + "\" given twice: " + problem.path);
        break;
    }
  }
}
