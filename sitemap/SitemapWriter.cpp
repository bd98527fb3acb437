#include "sitemap/SitemapWriter.h"

#include <cstdio>
#include <string_view>
#include <unordered_set>

#include "sitemap/PageSelection.h"
#include "sitemap/SearchSelection.h"
#include "sitemap/SitemapSet.h"
#include "sitemap/UrlText.h"
#include "text/clrelatedansistring.h"
#include "text/AsciiText.h"

namespace {

// Index pages are named index.*, in any case (ASCII only, so no locale can
// change the answer).
bool IsIndexPage(std::string_view name) {
  const auto dot = name.rfind('.');
  const std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
  return AsciiText::EqualsIgnoringCase(base, "INDEX");
}

std::string CompletedBaseUrl(const std::string& typed) {
  std::string base = cls_Trim().trimSpaces(typed);
  if (!base.empty() && base.back() != '/') base.push_back('/');
  return UrlText::BaseUrl(base);
}

// The entries that stand for their folder: in each folder, the page whose
// name comes first in the list of index names.
std::unordered_set<std::size_t> FolderPages(std::span<const clCompositionFolder> entries,
                                            const std::vector<std::string>& indexNames,
                                            const std::function<bool(const clCompositionFolder&)>& isPage) {
  std::unordered_set<std::size_t> chosen;
  struct Best {
    std::size_t rank;
    std::size_t entry;
  };
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<Best> best;  // by the level of a folder's entries
  const auto closeFoldersBelow = [&](std::size_t level) {
    while (best.size() > level + 1) {
      if (best.back().rank != kNone) chosen.insert(best.back().entry);
      best.pop_back();
    }
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const clCompositionFolder& entry = entries[i];
    const std::size_t level = entry.getLevel();
    closeFoldersBelow(level);
    if (best.size() <= level) best.resize(level + 1, Best{kNone, 0});
    if (entry.getIsFolder() == 1) {
      best.push_back(Best{kNone, 0});  // its entries follow, one level down
      continue;
    }
    for (std::size_t rank = 0; rank < indexNames.size() && rank < best[level].rank; ++rank) {
      if (entry.name() == indexNames[rank] && isPage(entry)) {
        best[level] = Best{rank, i};
        break;
      }
    }
  }
  closeFoldersBelow(0);
  return chosen;
}

}  // namespace

// Keeps the names of the folders above the current entry, one slot per
// level, and the URL prefix they make together.
class SitemapWriter::UrlBuilder {
 public:
  explicit UrlBuilder(std::string base) : base_(std::move(base)) {}

  // An entry at this level: the folders at it and below are left behind.
  void Enter(std::uint16_t level) {
    if (level != 0 && level <= previousLevel_ && level < slots_.size()) {
      slots_.resize(level);
      prefixValid_ = false;
    }
    previousLevel_ = level;
  }

  void SetFolder(std::uint16_t level, const std::string& name) {
    if (slots_.size() <= level) slots_.resize(level + 1);
    slots_[level] = {UrlText::PathSegment(name), name};
    prefixValid_ = false;
  }

  // The file's path below the folder, as the user knows it; valid until
  // the next call.
  const std::string& PathOf(const std::string& fileName) {
    if (!prefixValid_) RebuildPrefix();
    path_.assign(pathPrefix_).append(fileName);
    return path_;
  }

  // The file's URL, percent-encoded but not yet escaped for XML, and
  // then as the text of a <loc>.
  const std::string& UrlOf(const std::string& fileName) {
    if (!prefixValid_) RebuildPrefix();
    segment_.clear();
    UrlText::AppendPathSegment(&segment_, fileName);
    url_.assign(prefix_).append(segment_);
    return url_;
  }
  void AppendEscapedUrl(std::string* out) const {
    out->append(escapedPrefix_);
    UrlText::AppendXmlEscaped(out, segment_);
  }

  // The URL of the folder the entries are in, ending in "/".
  const std::string& FolderUrl() {
    if (!prefixValid_) RebuildPrefix();
    segment_.clear();
    url_.assign(prefix_);
    return url_;
  }

 private:
  struct Slot {
    std::string encoded;
    std::string name;
  };

  // Slot 0 stands for the local folder and never enters a URL; the folder
  // part runs from slot 1 up to the first empty slot.
  // The folder part is escaped for XML once per folder, not per page.
  void RebuildPrefix() {
    prefix_ = base_;
    pathPrefix_.clear();
    for (std::size_t n = 1; n < slots_.size() && !slots_[n].encoded.empty(); ++n) {
      prefix_ += slots_[n].encoded;
      prefix_ += '/';
      pathPrefix_ += slots_[n].name;
      pathPrefix_ += '/';
    }
    escapedPrefix_.clear();
    UrlText::AppendXmlEscaped(&escapedPrefix_, prefix_);
    prefixValid_ = true;
  }

  std::string base_;
  std::vector<Slot> slots_;
  std::uint16_t previousLevel_ = 1;
  std::string prefix_;
  std::string escapedPrefix_;
  std::string pathPrefix_;
  bool prefixValid_ = false;
  std::string path_;
  std::string segment_;
  std::string url_;
};

SitemapWriter::SitemapWriter(FileLayer& files, Clock clock)
    : files_(files), clock_(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })) {}

const std::string& SitemapWriter::DateOf(std::time_t time) {
  constexpr std::time_t kQuarterHour = 900;
  const std::time_t bucket = time >= 0 ? time / kQuarterHour : (time - kQuarterHour + 1) / kQuarterHour;
  auto [found, added] = dates_.try_emplace(bucket);
  if (added) {
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    found->second = text;
  }
  return found->second;
}

bool SitemapWriter::Fail(RunProblem::Code code, std::string detail) {
  problem_ = RunProblem{};
  problem_.code = code;
  problem_.detail = std::move(detail);
  return false;
}

bool SitemapWriter::WriteSitemap(const std::string& targetFolder,
                                 std::span<const clCompositionFolder> entries,
                                 const GenerationInputs& inputs, RunControl& control) {
  std::string reason;
  const int folder = files_.OpenFolder(targetFolder, &reason);
  if (folder < 0) {
    outputPath_ = targetFolder + "/" + kFileName;
    return Fail(RunProblem::Code::kWriteFailed, "cannot write " + outputPath_ + ": " + reason);
  }
  const bool written = WriteSitemap(folder, targetFolder, entries, inputs, control);
  files_.Close(folder, &reason);
  return written;
}

bool SitemapWriter::WriteSitemap(int folder, const std::string& targetFolder,
                                 std::span<const clCompositionFolder> entries,
                                 const GenerationInputs& inputs, RunControl& control) {
  outputPath_ = targetFolder + "/" + kFileName;
  problem_ = RunProblem{};
  urlCount_ = 0;
  matchedCount_ = 0;
  partCount_ = 0;
  warnings_ = WarningList();

  const std::string base = CompletedBaseUrl(inputs.baseUrl);
  SearchSelection search(inputs, base, &warnings_, entries.size(), links_);
  if (!search.LoadRobots(files_, folder, targetFolder, &problem_)) return false;
  SitemapSet out(files_, folder, targetFolder,
                 {.mobile = inputs.mobile, .gzip = inputs.gzip, .dates = inputs.lastMod, .baseUrl = base,
                  .xhtml = inputs.hreflang});
  if (!out.Open()) return Fail(RunProblem::Code::kWriteFailed, out.error());

  const PageSelection selection(inputs.extensions);
  const auto counts = [&](const clCompositionFolder& entry) {
    return entry.isRegularFile() && !(inputs.skipNoindex && entry.isNoindex());
  };
  std::unordered_set<std::size_t> folderPages;
  if (inputs.folderUrls) {
    folderPages = FolderPages(entries, inputs.indexNames, [&](const clCompositionFolder& entry) {
      return selection.Matches(entry.name(), entry.getLevel()) && counts(entry);
    });
  }

  const bool searchRules = search.active();
  UrlBuilder urls(base);
  const std::stop_token stop = control.stopToken();
  std::string block;
  // Only the entries the list keeps are worth their path.
  const auto leaveOut = [&](Warning::Reason reason, const std::string& name, const std::string& url = {}) {
    if (!warnings_.Keeps(reason)) return warnings_.Count(reason);
    return warnings_.Add({.reason = reason, .path = urls.PathOf(name), .detail = url.substr(0, kKeptUrlLength),
                   .count = url.size()});
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const clCompositionFolder& entry = entries[i];
    if (stop.stop_requested()) return false;
    control.StepProgress();
    urls.Enter(entry.getLevel());
    if (entry.getIsFolder() == 1) {
      urls.SetFolder(entry.getLevel(), entry.name());
      continue;
    }
    if (!selection.Matches(entry.name(), entry.getLevel())) continue;
    if (history_ && history_->IsLedgerFile(urls.PathOf(entry.name()))) continue;
    ++matchedCount_;
    if (!entry.isRegularFile()) {
      leaveOut(entry.isBrokenLink() ? Warning::Reason::kBrokenLink : Warning::Reason::kNotRegularFile, entry.name());
      continue;
    }
    if (inputs.skipNoindex && entry.isNoindex()) {
      leaveOut(Warning::Reason::kNoindex, entry.name());
      continue;
    }
    const bool folderForm = folderPages.contains(i);
    const std::string& url = folderForm ? urls.FolderUrl() : urls.UrlOf(entry.name());
    if (url.size() > kMaxUrlLength) {
      leaveOut(Warning::Reason::kUrlTooLong, entry.name(), url);
      continue;
    }
    if (searchRules && !search.Keeps(urls.PathOf(entry.name()), url, entry, folderForm)) continue;
    const bool index = IsIndexPage(entry.name());
    static const std::string kNoDate;
    std::time_t when = inputs.lastModFromFile && entry.modified() != 0 ? entry.modified() : 0;
    if (history_) {
      const std::string& path = urls.PathOf(entry.name());
      std::string reason;
      const FileStamp* stamp = entry.isStamped() && i < stamps_.size() ? &stamps_[i] : nullptr;
      when = history_->DateOf(path, url, &reason, stamp);
      if (!reason.empty()) warnings_.Add({.reason = Warning::Reason::kUndatedPage, .path = path, .detail = reason});
    }
    const std::string& date = !inputs.lastMod ? kNoDate : DateOf(when != 0 ? when : clock_());
    ++urlCount_;

    block.assign("\t<url>\r\n\t\t<loc>");
    urls.AppendEscapedUrl(&block);
    block.append("</loc>\r\n");
    if (inputs.lastMod) block.append("\t\t<lastmod>").append(date).append("</lastmod>\r\n");
    if (inputs.changeFreq)
      block.append(index ? "\t\t<changefreq>daily</changefreq>\r\n" : "\t\t<changefreq>weekly</changefreq>\r\n");
    if (inputs.priority)
      block.append(index ? "\t\t<priority>0.8</priority>\r\n" : "\t\t<priority>0.4</priority>\r\n");
    if (inputs.mobile) block.append("\t\t<mobile:mobile />\r\n");
    if (inputs.hreflang) search.AppendVersions(&block);
    block.append("\t</url>\r\n");
    if (!out.Add(block, date)) return Fail(RunProblem::Code::kWriteFailed, out.error());
  }
  search.Finish();

  // An empty urlset fails the schema: better the previous sitemap.
  if (urlCount_ == 0) {
    if (matchedCount_ > 0) return Fail(RunProblem::Code::kEveryMatchLeftOut);
    return Fail(inputs.extensions.empty() ? RunProblem::Code::kNoExtensions : RunProblem::Code::kNoFileMatched);
  }
  if (!out.Finish(stop)) return stop.stop_requested() ? false : Fail(RunProblem::Code::kWriteFailed, out.error());
  partCount_ = out.partCount();
  return true;
}
