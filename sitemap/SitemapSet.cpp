#include "sitemap/SitemapSet.h"

#include <algorithm>
#include <unordered_set>

#include "sitemap/Gzip.h"
#include "sitemap/SitemapFiles.h"
#include "sitemap/UrlText.h"

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n";
constexpr std::string_view kOpening = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\r\n";
constexpr std::string_view kMobileOpening =
    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\" "
    "xmlns:mobile=\"http://www.google.com/schemas/sitemap-mobile/1.0\">\r\n";
constexpr std::string_view kClosing = "</urlset>\r\n";
constexpr std::string_view kIndexOpening = "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\r\n";
constexpr std::string_view kIndexClosing = "</sitemapindex>\r\n";

}  // namespace

SitemapSet::SitemapSet(FileLayer& files, std::string folder, Options options)
    : files_(files), folder_(std::move(folder)), options_(std::move(options)),
      path_(folder_ + "/" + std::string(SitemapFiles::kSitemap)) {}

SitemapSet::~SitemapSet() {
  if (compressing_.valid()) compressing_.wait();
  if (finished_) return;
  // Parts already in place are new names no index names: ours to take.
  for (std::size_t n = 0; n < partsInPlace_; ++n) files_.Remove(folder_ + "/" + parts_[n].name);
}

bool SitemapSet::Fail(std::string reason) {
  if (error_.empty()) error_ = std::move(reason);
  return false;
}

std::string SitemapSet::PartPath(std::size_t n) const {
  return folder_ + "/" + SitemapFiles::PartName(generation_, n, options_.gzip);
}

bool SitemapSet::Open() {
  if (options_.gzip) {
    generation_ = NewGeneration();
    return !generation_.empty() && StartPart();
  }
  // Streamed as the single sitemap; it becomes part 1 should the set grow.
  plain_ = std::make_unique<SafeOutputFile>(files_);
  if (!plain_->Open(path_)) return Fail("cannot write " + plain_->error());
  urls_ = 0;
  bytes_ = 0;
  return Write(kDeclaration) && Write(options_.mobile ? kMobileOpening : kOpening);
}

bool SitemapSet::Write(std::string_view text) {
  bytes_ += text.size();
  if (options_.gzip) {
    buffer_.append(text);
    return true;
  }
  return plain_->Write(text) || Fail("cannot write " + plain_->error());
}

bool SitemapSet::Add(std::string_view block, std::string_view date) {
  if (urls_ == options_.maxUrls || bytes_ + block.size() + kClosing.size() > options_.maxBytes) {
    if (!EndPart() || !StartPart()) return false;
  }
  ++urls_;
  if (date > lastmod_) lastmod_ = date;
  return Write(block);
}

// The part under way is complete: with gzip it goes to be compressed while
// the next one is built, otherwise it is put in place under its name.
bool SitemapSet::EndPart() {
  if (!Write(kClosing)) return false;
  if (generation_.empty()) generation_ = NewGeneration();
  if (generation_.empty()) return false;
  if (parts_.size() == kMaxParts) return Fail("more than " + std::to_string(kMaxParts) + " parts: too many pages");
  parts_.push_back({SitemapFiles::PartName(generation_, parts_.size() + 1, options_.gzip), lastmod_});
  lastmod_.clear();
  if (options_.gzip) {
    if (!PutCompressedPart()) return false;
    compressing_ = std::async(std::launch::async, [text = std::move(buffer_)] { return Gzip::Compressed(text); });
    buffer_.clear();
    return true;
  }
  if (!plain_->CommitAs(folder_ + "/" + parts_.back().name)) return Fail("cannot write " + plain_->error());
  ++partsInPlace_;
  return true;
}

// Puts the part that was being compressed in place, if there is one.
bool SitemapSet::PutCompressedPart() {
  if (!compressing_.valid()) return true;
  const std::string compressed = compressing_.get();
  SafeOutputFile out(files_);
  const std::string path = folder_ + "/" + parts_[partsInPlace_].name;
  if (!out.Open(path) || !out.Write(compressed) || !out.Commit()) return Fail("cannot write " + out.error());
  ++partsInPlace_;
  return true;
}

bool SitemapSet::StartPart() {
  urls_ = 0;
  bytes_ = 0;
  if (!options_.gzip) {
    plain_ = std::make_unique<SafeOutputFile>(files_);
    if (!plain_->Open(PartPath(parts_.size() + 1))) return Fail("cannot write " + plain_->error());
  }
  return Write(kDeclaration) && Write(options_.mobile ? kMobileOpening : kOpening);
}

bool SitemapSet::Finish(const std::stop_token& stop) {
  if (parts_.empty() && !options_.gzip) {
    if (stop.stop_requested()) return false;
    if (!Write(kClosing) || !plain_->Commit()) return Fail("cannot write " + plain_->error());
  } else {
    if (!EndPart() || !PutCompressedPart()) return false;
    if (stop.stop_requested() || !WriteIndex()) return false;
  }
  finished_ = true;
  RemoveStaleParts();
  return true;
}

bool SitemapSet::WriteIndex() {
  std::string index(kDeclaration);
  index += kIndexOpening;
  for (const Part& part : parts_) {
    index += "\t<sitemap>\r\n\t\t<loc>";
    UrlText::AppendXmlEscaped(&index, options_.baseUrl + UrlText::PathSegment(part.name));
    index += "</loc>\r\n";
    if (options_.dates && !part.lastmod.empty()) index += "\t\t<lastmod>" + part.lastmod + "</lastmod>\r\n";
    index += "\t</sitemap>\r\n";
  }
  index += kIndexClosing;
  SafeOutputFile out(files_);
  if (!out.Open(path_) || !out.Write(index) || !out.Commit()) return Fail("cannot write " + out.error());
  return true;
}

// Parts of earlier runs: no index names them any more. A file is taken
// only when its name is of the parts' pattern, exactly.
void SitemapSet::RemoveStaleParts() {
  std::vector<std::string> names;
  std::string ignored;
  if (!files_.ListFolder(folder_, &names, &ignored)) return;
  std::unordered_set<std::string> current;
  for (const Part& part : parts_) current.insert(part.name);
  for (const std::string& name : names)
    if (SitemapFiles::IsPart(name) && !current.count(name)) files_.Remove(folder_ + "/" + name);
}

// The run's start in UTC, moved on by a second while any file of the
// folder already carries it, so that no part of an index on disk is ever
// written over.
std::string SitemapSet::NewGeneration() {
  std::vector<std::string> names;
  std::string reason;
  if (!files_.ListFolder(folder_, &names, &reason)) {
    Fail("cannot list " + folder_ + ": " + reason);
    return {};
  }
  for (std::time_t at = options_.now;; ++at) {
    std::tm utc{};
    gmtime_r(&at, &utc);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    const std::string prefix = "nubika_sitemap-" + std::string(text) + "-";
    if (std::none_of(names.begin(), names.end(), [&](const std::string& name) { return name.starts_with(prefix); }))
      return text;
  }
}
