#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "io/FileLayer.h"
#include "scan/clCompositionFolder.h"
#include "sitemap/GenerationInputs.h"
#include "sitemap/HreflangClusters.h"
#include "sitemap/LinkUrl.h"
#include "sitemap/RobotsTxt.h"
#include "sitemap/WarningList.h"

// Which pages a search engine is to be given, as --canonical, --robots-txt
// and --hreflang ask: a page whose canonical URL is another page's, or that
// the site's robots.txt disallows, is left out; a page's language versions
// become xhtml:link elements, and the clusters they make are checked once
// every page is known. Everything left out, ignored or wrong is reported.
class SearchSelection {
 public:
  // base: the sitemap's base URL, normalised and ending in "/".
  SearchSelection(const GenerationInputs& inputs, std::string base);

  // Reads robots.txt from the folder's root when --robots-txt asks for it
  // and the base URL is a host's root. False, with the cause, when a
  // robots.txt there cannot be read.
  bool LoadRobots(FileLayer& files, const std::string& folderPath, std::string* error);

  // One page the extension list took: path as the user knows it, url its
  // <loc> (not yet escaped for XML), folderForm when that is its folder's
  // URL. True when it stays in the sitemap; then AppendVersions writes
  // its language versions.
  bool Keeps(const std::string& path, const std::string& url, const clCompositionFolder& entry, bool folderForm);
  // The page's xhtml:link lines, to come last in its url block.
  void AppendVersions(std::string* block);

  // The report, once every page has been through Keeps.
  void Report(WarningList* warnings) const;

  bool wantsHead() const { return inputs_.canonical || inputs_.hreflang; }

 private:
  // The lines of one kind: the first kShown in full, then how many more.
  struct Lines {
    std::vector<std::string> shown;
    std::size_t count = 0;
    void Add(const std::string& line) {
      if (shown.size() < WarningList::kShown) shown.push_back(line);
      ++count;
    }
  };

  // A URL below the base in compared form: the base's, then the rest as
  // the writer encoded it, already in that form.
  std::string KeyOf(const std::string& url) const;
  void NoteIgnoredCanonical(LinkUrl::Problem problem, const std::string& path, const std::string& href);

  const GenerationInputs& inputs_;
  const std::string base_;
  const std::string baseKey_;
  std::optional<RobotsTxt> robots_;
  bool robotsNotAtRoot_ = false;
  bool robotsMissing_ = false;

  // The page Keeps last took.
  std::vector<HreflangClusters::Version> versions_;
  HreflangClusters clusters_;

  Lines canonicalElsewhere_, disallowed_, ignoredVersions_;
  Lines notHttpCanonical_, emptyCanonical_, brokenCanonical_;
  Lines folderCanonical_;  // index pages whose canonical is their folder's URL, without --folder-urls
};
