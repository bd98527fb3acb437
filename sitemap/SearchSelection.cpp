#include "sitemap/SearchSelection.h"

#include <cerrno>

#include "sitemap/LinkUrl.h"
#include "sitemap/SitemapFiles.h"
#include "sitemap/SitemapWriter.h"
#include "sitemap/UrlText.h"
#include "text/LanguageTag.h"

SearchSelection::SearchSelection(const GenerationInputs& inputs, std::string base, WarningList* warnings)
    : inputs_(inputs), base_(std::move(base)), baseKey_(LinkUrl::Compared(base_)), warnings_(*warnings),
      clusters_(base_) {}

bool SearchSelection::LoadRobots(FileLayer& files, int folder, const std::string& folderPath, RunProblem* problem) {
  if (!inputs_.robotsTxt && !inputs_.robotsSitemapLine) return true;
  if (!AtHostRoot(base_)) {
    // Only a host's root has a robots.txt: nothing is left out, nothing
    // added.
    warnings_.Add({.reason = Warning::Reason::kRobotsNotAtRoot, .detail = base_});
    return true;
  }
  if (!inputs_.robotsTxt) return true;
  robotsPath_ = folderPath + "/" + std::string(kRobotsTxt);
  std::string text, reason;
  if (!files.ReadWholeIn(folder, std::string(kRobotsTxt), &text, &reason)) {
    if (errno == ENOENT) {
      warnings_.Add({.reason = Warning::Reason::kRobotsTxtMissing, .path = robotsPath_});
      return true;
    }
    *problem = {.code = RunProblem::Code::kRobotsTxtUnreadable, .path = robotsPath_, .detail = reason};
    return false;
  }
  robots_.emplace(text, inputs_.robotsAgent);
  return true;
}

bool SearchSelection::AtHostRoot(std::string_view base) {
  const std::size_t hostEnd = base.find('/', base.find("://") + 3);
  return hostEnd + 1 == base.size();
}

std::string SearchSelection::SitemapUrl(std::string_view base) {
  return std::string(base) + std::string(SitemapFiles::kSitemap);
}

bool SearchSelection::NamesSitemap(const std::vector<std::string>& sitemaps, const std::string& url) {
  const std::string key = LinkUrl::Compared(url);
  for (const std::string& named : sitemaps)
    if (LinkUrl::Compared(named) == key) return true;
  return false;
}

std::string_view SearchSelection::KeyOf(const std::string& url, std::string* scratch) const {
  // Mostly the base is in that form already, and so is the URL.
  if (url.starts_with(base_) && baseKey_ == base_) return url;
  *scratch = url.starts_with(base_) ? baseKey_ + url.substr(base_.size()) : LinkUrl::Compared(url);
  return *scratch;
}

void SearchSelection::Report(Warning::Reason reason, const std::string& path, const std::string& detail) {
  if (!warnings_.Keeps(reason)) return warnings_.Count(reason);
  warnings_.Add({.reason = reason, .path = path, .detail = detail.substr(0, SitemapWriter::kKeptUrlLength)});
}

// False when the page names another page as canonical.
bool SearchSelection::CanonicalKeeps(const std::string& href, const std::string& path, const std::string& url,
                                     const std::string& documentBase, const std::optional<std::string>& otherForm,
                                     bool folderForm) {
  LinkUrl::Problem problem{};
  const std::optional<std::string> canonical = LinkUrl::Resolve(href, documentBase, &problem);
  if (!canonical) {
    // Not a URL a search engine could take: the page stays.
    switch (problem) {
      case LinkUrl::Problem::kEmpty: Report(Warning::Reason::kCanonicalEmpty, path); break;
      case LinkUrl::Problem::kNotHttp: Report(Warning::Reason::kCanonicalNotHttp, path, href); break;
      default: Report(Warning::Reason::kCanonicalBroken, path, href); break;
    }
    return true;
  }
  if (*canonical == url) return true;
  const std::string key = LinkUrl::Compared(*canonical);
  std::string scratch;
  if (key == KeyOf(url, &scratch)) return true;
  if (otherForm && key == KeyOf(*otherForm, &scratch)) {
    // The folder's URL named by an index page written as a file's.
    if (!folderForm && !inputs_.folderUrls) Report(Warning::Reason::kCanonicalIsFolder, path, *canonical);
    return true;
  }
  Report(Warning::Reason::kCanonicalElsewhere, path, *canonical);
  return false;
}

bool SearchSelection::Keeps(const std::string& path, const std::string& url, const clCompositionFolder& entry,
                            const HeadLinks* links, bool folderForm) {
  // An index page answers to its folder's URL and to its file's.
  std::optional<std::string> otherForm;
  bool indexNamed = false;
  for (const std::string& name : inputs_.indexNames) indexNamed = indexNamed || entry.name() == name;
  if (folderForm)
    otherForm = url + UrlText::PathSegment(entry.name());
  else if (indexNamed)
    otherForm = url.substr(0, url.rfind('/') + 1);

  // Links resolve against the page's URL unless a <base> moves it.
  const std::string movedBase = links && links->base ? LinkUrl::DocumentBase(links->base, url) : std::string();
  const std::string& documentBase = links && links->base ? movedBase : url;
  if (inputs_.canonical && links && links->canonical &&
      !CanonicalKeeps(*links->canonical, path, url, documentBase, otherForm, folderForm))
    return false;
  if (robots_) {
    // The URL's path from the base's final "/" on.
    if (const std::string* rule = robots_->Disallowing(std::string_view(url).substr(base_.size() - 1))) {
      Report(Warning::Reason::kRobotsDisallowed, path, *rule);
      return false;
    }
  }
  if (!inputs_.hreflang) return true;
  versions_.clear();
  if (links) {
    for (const HeadLinks::Alternate& alternate : links->alternates) {
      LinkUrl::Problem problem{};
      if (std::optional<std::string> resolved = LinkUrl::Resolve(alternate.href, documentBase, &problem))
        versions_.push_back({alternate.hreflang, std::move(*resolved)});
      else
        Report(Warning::Reason::kHreflangUnusableHref, path, alternate.href);
    }
  }
  std::string scratch, otherScratch;
  const std::string_view key = KeyOf(url, &scratch);
  if (otherForm)
    clusters_.AddPage(path, {key, KeyOf(*otherForm, &otherScratch)}, versions_);
  else
    clusters_.AddPage(path, {key}, versions_);
  return true;
}

// A version without a language tag is of no use to a search engine, and
// the schema refuses it: it is reported, not written.
void SearchSelection::AppendVersions(std::string* block) const {
  for (std::size_t version = 0; version < clusters_.LastVersionCount(); ++version) {
    const std::string_view hreflang = clusters_.LastHreflang(version);
    if (!LanguageTag::IsHreflang(hreflang)) continue;
    block->append("\t\t<xhtml:link rel=\"alternate\" hreflang=\"");
    UrlText::AppendXmlEscaped(block, hreflang);
    block->append("\" href=\"");
    UrlText::AppendXmlEscaped(block, clusters_.LastUrl(version));
    block->append("\"/>\r\n");
  }
}

void SearchSelection::Finish() {
  // The line is added after the run when --robots-sitemap-line asks for it.
  if (robots_ && !inputs_.robotsSitemapLine && !NamesSitemap(robots_->sitemaps(), SitemapUrl(base_)))
    warnings_.Add({.reason = Warning::Reason::kRobotsNoSitemapLine, .path = robotsPath_, .detail = SitemapUrl(base_)});
  if (!inputs_.hreflang) return;
  using Kind = HreflangClusters::Problem::Kind;
  for (const HreflangClusters::Problem& problem : clusters_.Check()) {
    switch (problem.kind) {
      case Kind::kNotReciprocal: Report(Warning::Reason::kHreflangNotReciprocal, problem.path, problem.url); break;
      case Kind::kSelfMissing: Report(Warning::Reason::kHreflangSelfMissing, problem.path); break;
      case Kind::kNotInSitemap: Report(Warning::Reason::kHreflangNotInSitemap, problem.path, problem.url); break;
      case Kind::kBadLanguage: Report(Warning::Reason::kHreflangBadLanguage, problem.path, problem.hreflang); break;
      case Kind::kSameLanguage: Report(Warning::Reason::kHreflangDuplicate, problem.path, problem.hreflang); break;
    }
  }
}
