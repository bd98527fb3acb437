#pragma once
#include <optional>
#include <string>
#include <vector>

#include "io/FileLayer.h"
#include "scan/HeadLinks.h"
#include "scan/clCompositionFolder.h"
#include "sitemap/GenerationInputs.h"
#include "sitemap/HreflangClusters.h"
#include "sitemap/RobotsTxt.h"
#include "sitemap/RunProblem.h"
#include "sitemap/WarningList.h"

// Which pages a search engine is to be given, as --canonical, --robots-txt
// and --hreflang ask: a page whose canonical URL is another page's, or that
// the site's robots.txt disallows, is left out; a page's language versions
// become xhtml:link elements, and the clusters they make are checked once
// every page is known. Everything left out, ignored or wrong goes into the
// run's warnings as a reason with its data.
class SearchSelection {
 public:
  static constexpr std::string_view kRobotsTxt = "robots.txt";

  // base: the sitemap's base URL, normalised and ending in "/". inputs and
  // warnings must outlive the selection.
  SearchSelection(const GenerationInputs& inputs, std::string base, WarningList* warnings);

  // Whether any of the options is on: with none, the writer need not ask.
  bool active() const { return inputs_.canonical || inputs_.robotsTxt || inputs_.hreflang; }

  // Reads robots.txt from the folder's root, through its descriptor, when
  // --robots-txt asks for it and the base URL is a host's root (else, under
  // --robots-txt or --robots-sitemap-line, one warning). False, with the
  // cause, when a robots.txt there cannot be read.
  bool LoadRobots(FileLayer& files, int folder, const std::string& folderPath, RunProblem* problem);

  // One page the extension list took: path as the user knows it, url its
  // <loc> (not yet escaped for XML), links those of its head (null: none
  // or not read), folderForm when url is its folder's URL. True when it
  // stays in the sitemap; then AppendVersions writes its language
  // versions. The pages come in the sitemap's order.
  bool Keeps(const std::string& path, const std::string& url, const clCompositionFolder& entry,
             const HeadLinks* links, bool folderForm);
  // The page's xhtml:link lines, to come last in its url block.
  void AppendVersions(std::string* block) const;

  // Once every page has been through Keeps: the clusters' problems and
  // what robots.txt lacks.
  void Finish();

  // Whether a base URL's path is "/", where alone a robots.txt counts.
  static bool AtHostRoot(std::string_view base);
  // The URL a Sitemap: line names for the sitemap under a base URL.
  static std::string SitemapUrl(std::string_view base);
  // Whether one of a robots.txt's Sitemap: values names url.
  static bool NamesSitemap(const std::vector<std::string>& sitemaps, const std::string& url);

 private:
  // A URL below the base in compared form: the base's, then the rest as
  // the writer encoded it, already in that form. scratch holds it when it
  // is not url itself.
  std::string_view KeyOf(const std::string& url, std::string* scratch) const;
  void Report(Warning::Reason reason, const std::string& path, const std::string& detail = {});
  bool CanonicalKeeps(const std::string& href, const std::string& path, const std::string& url,
                      const std::string& documentBase, const std::optional<std::string>& otherForm, bool folderForm);

  const GenerationInputs& inputs_;
  const std::string base_;
  const std::string baseKey_;
  WarningList& warnings_;
  std::optional<RobotsTxt> robots_;
  std::string robotsPath_;  // robots.txt's path, for the reports

  HreflangClusters clusters_;  // also holds the versions of the page Keeps last took
  std::vector<HreflangClusters::Version> versions_;  // a page's versions on their way in, one buffer for all
};
