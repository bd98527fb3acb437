#include "sitemap/SitemapWriter.h"

#include <cstdio>
#include <string_view>
#include <unordered_set>

#include "io/SafeOutputFile.h"
#include "sitemap/SitemapFiles.h"
#include "sitemap/UrlText.h"
#include "text/clrelatedansistring.h"

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n";
constexpr std::string_view kOpening =
    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\r\n";
constexpr std::string_view kMobileOpening =
    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\" "
    "xmlns:mobile=\"http://www.google.com/schemas/sitemap-mobile/1.0\">\r\n";
constexpr std::string_view kClosing = "</urlset>\r\n";

// Lets a set of strings be asked for a string_view without a copy.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

// The part of a name from its last dot on, the dot included.
std::string_view ExtensionOf(std::string_view name) {
  const auto dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

// Index pages are named index.*, in any case (ASCII only, so no locale can
// change the answer).
bool IsIndexPage(std::string_view name) {
  const auto dot = name.rfind('.');
  const std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
  if (base.size() != 5) return false;
  for (std::size_t i = 0; i < 5; ++i) {
    char c = base[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != "INDEX"[i]) return false;
  }
  return true;
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

  // The file's path below the folder, as the user knows it.
  std::string PathOf(const std::string& fileName) const {
    std::string path;
    for (std::size_t n = 1; n < slots_.size() && !slots_[n].encoded.empty(); ++n) path += slots_[n].name + "/";
    return path + fileName;
  }

  // The file's URL, percent-encoded but not yet escaped for XML.
  const std::string& UrlOf(const std::string& fileName) {
    if (!prefixValid_) RebuildPrefix();
    url_.assign(prefix_);
    UrlText::AppendPathSegment(&url_, fileName);
    return url_;
  }

 private:
  // Slot 0 stands for the local folder and never enters a URL; the folder
  // part runs from slot 1 up to the first empty slot.
  void RebuildPrefix() {
    prefix_ = base_;
    for (std::size_t n = 1; n < slots_.size() && !slots_[n].encoded.empty(); ++n) {
      prefix_ += slots_[n].encoded;
      prefix_ += '/';
    }
    prefixValid_ = true;
  }

  struct Slot {
    std::string encoded;
    std::string name;
  };

  std::string base_;
  std::vector<Slot> slots_;
  std::uint16_t previousLevel_ = 1;
  std::string prefix_;
  bool prefixValid_ = false;
  std::string url_;
};

SitemapWriter::SitemapWriter(FileLayer& files, Clock clock)
    : files_(files), clock_(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })) {}

const std::string& SitemapWriter::DateOf(std::time_t now) {
  if (now != dateTime_) {
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday);
    date_ = text;
    dateTime_ = now;
  }
  return date_;
}

bool SitemapWriter::Fail(std::string reason) {
  errorText_ = std::move(reason);
  return false;
}

bool SitemapWriter::WriteSitemap(const std::string& targetFolder,
                                 const std::vector<clCompositionFolder>& entries,
                                 const GenerationInputs& inputs, RunControl& control) {
  outputPath_ = targetFolder + "/" + kFileName;
  errorText_.clear();
  urlCount_ = 0;
  warnings_ = WarningList();

  SafeOutputFile out(files_);
  if (!out.Open(outputPath_)) return Fail("cannot write " + out.error());
  out.Write(kDeclaration);
  out.Write(inputs.mobile ? kMobileOpening : kOpening);

  std::unordered_set<std::string, TextHash, std::equal_to<>> dottedExtensions;
  for (const auto& extension : inputs.extensions) dottedExtensions.insert("." + extension);

  UrlBuilder urls(CompletedBaseUrl(inputs.baseUrl));
  const std::stop_token stop = control.stopToken();
  std::size_t matched = 0, longUrls = 0;
  std::string firstLongUrl;
  std::string block;
  for (const clCompositionFolder& entry : entries) {
    if (stop.stop_requested()) return false;
    control.StepProgress();
    urls.Enter(entry.getLevel());
    if (entry.getIsFolder() == 1) {
      urls.SetFolder(entry.getLevel(), entry.name());
      continue;
    }
    if (!dottedExtensions.contains(ExtensionOf(entry.name()))) continue;
    if (entry.getLevel() == 1 && SitemapFiles::IsOwn(entry.name())) continue;
    ++matched;
    if (!entry.isRegularFile()) {
      warnings_.Add("not a regular file, left out: " + urls.PathOf(entry.name()));
      continue;
    }
    const std::string& url = urls.UrlOf(entry.name());
    if (url.size() > kMaxUrlLength) {
      if (longUrls++ == 0) firstLongUrl = url.substr(0, 80);
      continue;
    }
    const bool index = IsIndexPage(entry.name());
    ++urlCount_;

    block.assign("\t<url>\r\n\t\t<loc>");
    UrlText::AppendXmlEscaped(&block, url);
    block.append("</loc>\r\n");
    if (inputs.lastMod) block.append("\t\t<lastmod>").append(DateOf(clock_())).append("</lastmod>\r\n");
    if (inputs.changeFreq)
      block.append(index ? "\t\t<changefreq>daily</changefreq>\r\n" : "\t\t<changefreq>weekly</changefreq>\r\n");
    if (inputs.priority)
      block.append(index ? "\t\t<priority>0.8</priority>\r\n" : "\t\t<priority>0.4</priority>\r\n");
    if (inputs.mobile) block.append("\t\t<mobile:mobile />\r\n");
    block.append("\t</url>\r\n");
    if (!out.Write(block)) return Fail("cannot write " + out.error());
  }
  if (longUrls > 0)
    warnings_.Add(std::to_string(longUrls) + " URL" + (longUrls == 1 ? "" : "s") + " longer than " +
                  std::to_string(kMaxUrlLength) + " characters left out, e.g. " + firstLongUrl + "...");

  // An empty urlset fails the schema: better the previous sitemap.
  if (urlCount_ == 0)
    return Fail(matched == 0 ? "no file matched the extension list" : "every matching file was left out");
  if (stop.stop_requested()) return false;
  if (!out.Write(kClosing) || !out.Commit()) return Fail("cannot write " + out.error());
  return true;
}
