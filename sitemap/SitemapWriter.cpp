#include "sitemap/SitemapWriter.h"

#include <cstdio>
#include <string_view>

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

SitemapWriter::~SitemapWriter() = default;

int SitemapWriter::OpenFolder(const std::string& targetFolder) {
  std::string reason;
  const int folder = files_.OpenFolder(targetFolder, &reason);
  if (folder < 0) {
    outputPath_ = targetFolder + "/" + kFileName;
    Fail(RunProblem::Code::kWriteFailed, "cannot write " + outputPath_ + ": " + reason);
  }
  return folder;
}

void SitemapWriter::CloseFolder(int folder) {
  std::string ignored;
  files_.Close(folder, &ignored);
}

void SitemapWriter::LeaveOut(Warning::Reason reason, const std::string& name, const std::string& url) {
  // Only the entries the list keeps are worth their path.
  if (!warnings_.Keeps(reason)) return warnings_.Count(reason);
  warnings_.Add({.reason = reason, .path = urls_->PathOf(name), .detail = url.substr(0, kKeptUrlLength),
                 .count = url.size()});
}

bool SitemapWriter::Begin(int folder, const std::string& targetFolder, const GenerationInputs& inputs) {
  outputPath_ = targetFolder + "/" + kFileName;
  problem_ = RunProblem{};
  urlCount_ = 0;
  matchedCount_ = 0;
  partCount_ = 0;
  warnings_ = WarningList();
  inputs_ = inputs;

  const std::string base = CompletedBaseUrl(inputs.baseUrl);
  // With --robots-txt the site's rules are read before anything is
  // written: a robots.txt that cannot be read fails the run.
  search_ = std::make_unique<SearchSelection>(inputs_, base, &warnings_);
  if (!search_->LoadRobots(files_, folder, targetFolder, &problem_)) return false;
  SitemapSet::Options options{
      .mobile = inputs.mobile, .gzip = inputs.gzip, .dates = inputs.lastMod, .baseUrl = base, .xhtml = inputs.hreflang};
  if (urlsPerPart_ > 0) options.maxUrls = urlsPerPart_;
  out_ = std::make_unique<SitemapSet>(files_, folder, targetFolder, options);
  if (!out_->Open()) {
    const bool failed = Fail(RunProblem::Code::kWriteFailed, out_->error());
    out_.reset();
    return failed;
  }
  selection_ = std::make_unique<PageSelection>(inputs.extensions);
  urls_ = std::make_unique<UrlBuilder>(base);
  return true;
}

bool SitemapWriter::Take(const clCompositionFolder& entry, const FileStamp* stamp, const HeadLinks* links) {
  const GenerationInputs& inputs = inputs_;
  UrlBuilder& urls = *urls_;
  urls.Enter(entry.getLevel());
  if (entry.getIsFolder() == 1) {
    urls.SetFolder(entry.getLevel(), entry.name());
    return true;
  }
  if (!selection_->Matches(entry.name(), entry.getLevel())) return true;
  if (history_ && history_->IsLedgerFile(urls.PathOf(entry.name()))) return true;
  ++matchedCount_;
  if (!entry.isRegularFile()) {
    LeaveOut(entry.isBrokenLink() ? Warning::Reason::kBrokenLink : Warning::Reason::kNotRegularFile, entry.name());
    return true;
  }
  if (inputs.skipNoindex && entry.isNoindex()) {
    LeaveOut(Warning::Reason::kNoindex, entry.name());
    return true;
  }
  const bool folderForm = inputs.folderUrls && entry.isFolderPage();
  const std::string& url = folderForm ? urls.FolderUrl() : urls.UrlOf(entry.name());
  if (url.size() > kMaxUrlLength) {
    LeaveOut(Warning::Reason::kUrlTooLong, entry.name(), url);
    return true;
  }
  if (search_->active() && !search_->Keeps(urls.PathOf(entry.name()), url, entry, links, folderForm)) return true;
  const bool index = IsIndexPage(entry.name());
  static const std::string kNoDate;
  std::time_t when = inputs.lastModFromFile && entry.modified() != 0 ? entry.modified() : 0;
  if (history_) {
    const std::string& path = urls.PathOf(entry.name());
    std::string reason;
    // A page the scan could not stamp is read now.
    when = history_->DateOf(path, url, &reason, entry.isStamped() ? stamp : nullptr);
    if (!reason.empty()) warnings_.Add({.reason = Warning::Reason::kUndatedPage, .path = path, .detail = reason});
  }
  const std::string& date = !inputs.lastMod ? kNoDate : DateOf(when != 0 ? when : clock_());
  ++urlCount_;

  std::string& block = block_;
  block.assign("\t<url>\r\n\t\t<loc>");
  urls.AppendEscapedUrl(&block);
  block.append("</loc>\r\n");
  if (inputs.lastMod) block.append("\t\t<lastmod>").append(date).append("</lastmod>\r\n");
  if (inputs.changeFreq)
    block.append(index ? "\t\t<changefreq>daily</changefreq>\r\n" : "\t\t<changefreq>weekly</changefreq>\r\n");
  if (inputs.priority)
    block.append(index ? "\t\t<priority>0.8</priority>\r\n" : "\t\t<priority>0.4</priority>\r\n");
  if (inputs.mobile) block.append("\t\t<mobile:mobile />\r\n");
  if (inputs.hreflang) search_->AppendVersions(&block);
  block.append("\t</url>\r\n");
  if (!out_->Add(block, date)) return Fail(RunProblem::Code::kWriteFailed, out_->error());
  return true;
}

bool SitemapWriter::Finish(const std::stop_token& stop) {
  const std::unique_ptr<SitemapSet> out = std::move(out_);
  const std::unique_ptr<SearchSelection> search = std::move(search_);
  // Every page is known: the language clusters can be checked. A stopped
  // run has no clusters to speak of.
  if (!stop.stop_requested()) search->Finish();
  // An empty urlset fails the schema: better the previous sitemap.
  if (urlCount_ == 0) {
    if (matchedCount_ > 0) return Fail(RunProblem::Code::kEveryMatchLeftOut);
    return Fail(inputs_.extensions.empty() ? RunProblem::Code::kNoExtensions : RunProblem::Code::kNoFileMatched);
  }
  if (!out->Finish(stop)) return stop.stop_requested() ? false : Fail(RunProblem::Code::kWriteFailed, out->error());
  partCount_ = out->partCount();
  return true;
}

void SitemapWriter::Abandon() {
  out_.reset();
  search_.reset();
}
