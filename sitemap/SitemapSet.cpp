#include "sitemap/SitemapSet.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "sitemap/SitemapFiles.h"
#include "sitemap/UrlText.h"

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n";
constexpr std::string_view kOpening = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\r\n";
constexpr std::string_view kMobileOpening =
    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\" "
    "xmlns:mobile=\"http://www.google.com/schemas/sitemap-mobile/1.0\">\r\n";
constexpr std::string_view kXhtmlOpening =
    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\" "
    "xmlns:xhtml=\"http://www.w3.org/1999/xhtml\">\r\n";
constexpr std::string_view kMobileXhtmlOpening =
    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\" "
    "xmlns:mobile=\"http://www.google.com/schemas/sitemap-mobile/1.0\" "
    "xmlns:xhtml=\"http://www.w3.org/1999/xhtml\">\r\n";

std::string_view OpeningFor(bool mobile, bool xhtml) {
  return xhtml ? (mobile ? kMobileXhtmlOpening : kXhtmlOpening) : (mobile ? kMobileOpening : kOpening);
}
constexpr std::string_view kClosing = "</urlset>\r\n";
constexpr std::string_view kIndexOpening = "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\r\n";
constexpr std::string_view kIndexClosing = "</sitemapindex>\r\n";

// Plain text held before it is written: a part of 50,000 URLs with their
// dates, change frequencies and priorities (about 200 bytes each) fits.
// With gzip nothing is held: the compressor takes the text as it comes.
constexpr std::size_t kMostHeldPlain = std::size_t{16} << 20;

}  // namespace

SitemapSet::SitemapSet(FileLayer& files, int folder, std::string folderPath, Options options)
    : files_(files), folder_(folder), folderPath_(std::move(folderPath)), options_(std::move(options)),
      path_(folderPath_ + "/" + std::string(SitemapFiles::kSitemap)),
      mostHeld_(options_.gzip ? 0 : kMostHeldPlain) {}

SitemapSet::~SitemapSet() {
  gzip_.reset();  // done with file_ before file_ goes
  if (finished_) return;
  // Parts this set put in place are new names no index names: ours to take.
  for (const Part& part : parts_)
    if (part.written) files_.Remove(folder_, part.name);
}

bool SitemapSet::Fail(std::string reason) {
  if (error_.empty()) error_ = std::move(reason);
  return false;
}

std::unique_ptr<SafeOutputFile> SitemapSet::NewFile() const {
  return std::make_unique<SafeOutputFile>(files_, folder_, folderPath_, std::string(SitemapFiles::kTemporaryPrefix));
}

// The file's own failure, or else the compressor's.
std::string SitemapSet::CompressionError() const {
  return "cannot write " + (file_->error().empty() ? path_ + ": compression failed" : file_->error());
}

bool SitemapSet::Open() {
  std::vector<std::string> names;
  std::string reason;
  if (!files_.ListFolder(folder_, &names, &reason)) return Fail("cannot list " + folderPath_ + ": " + reason);
  present_.insert(names.begin(), names.end());
  ReadPreviousIndex();
  if (mostHeld_ > 0 && !held_)
    held_ = {HugePageAllocator<char>().allocate(mostHeld_), HeldRelease{mostHeld_}};
  if (options_.gzip) return StartPart();
  // Streamed as the single sitemap; it becomes part 1 should the set grow.
  hash_ = std::make_unique<ContentHash>();
  file_ = NewFile();
  if (!file_->Open(std::string(SitemapFiles::kSitemap))) return Fail("cannot write " + file_->error());
  urls_ = 0;
  bytes_ = 0;
  return Write(kDeclaration) && Write(OpeningFor(options_.mobile, options_.xhtml));
}

bool SitemapSet::Write(std::string_view text) {
  bytes_ += text.size();
  if (text.empty()) return true;
  if (heldBytes_ + text.size() > mostHeld_) {
    if (!PassHeld()) return false;
    if (text.size() > mostHeld_) {
      hash_->Update(text);
      return Hand(text);
    }
  }
  std::memcpy(held_.get() + heldBytes_, text.data(), text.size());
  heldBytes_ += text.size();
  return true;
}

// What is held goes into the part's hash and on to its file.
bool SitemapSet::PassHeld() {
  if (heldBytes_ == 0) return true;
  const std::string_view text = Held();
  hash_->Update(text);
  const bool handed = Hand(text);
  heldBytes_ = 0;
  return handed;
}

bool SitemapSet::Hand(std::string_view text) {
  if (text.empty()) return true;
  if (gzip_) return gzip_->Write(text) || Fail(CompressionError());
  return file_->Write(text) || Fail("cannot write " + file_->error());
}

bool SitemapSet::Add(std::string_view block, std::string_view date) {
  if (urls_ == options_.maxUrls || bytes_ + block.size() + kClosing.size() > options_.maxBytes) {
    if (!EndPart() || !StartPart()) return false;
  }
  ++urls_;
  if (date > lastmod_) lastmod_ = date;
  return Write(block);
}

// The part under way is complete: it is put in place under its name (with
// gzip once the compressor has written its end).
bool SitemapSet::EndPart() {
  if (!Write(kClosing)) return false;
  if (parts_.size() == kMaxParts) return Fail("more than " + std::to_string(kMaxParts) + " parts: too many pages");
  // What is still held is hashed now, and written only if the part is new.
  const std::string_view held = Held();
  hash_->Update(held);
  parts_.push_back({SitemapFiles::PartName(hash_->Digest(), options_.gzip), lastmod_});
  lastmod_.clear();
  const bool handed = present_.contains(parts_.back().name) || Hand(held);
  heldBytes_ = 0;
  if (!handed) return false;
  if (gzip_) {
    const bool compressed = gzip_->Finish();
    gzip_.reset();
    if (!compressed) return Fail(CompressionError());
  }
  Part& part = parts_.back();
  // The same content under the same name is there already: it stays,
  // file and all.
  if (present_.contains(part.name)) {
    file_->Abort();
    return true;
  }
  if (!file_->CommitAs(part.name)) return Fail("cannot write " + file_->error());
  part.written = true;
  present_.insert(part.name);
  return true;
}

bool SitemapSet::StartPart() {
  urls_ = 0;
  bytes_ = 0;
  hash_ = std::make_unique<ContentHash>();
  // Named once its content is known; until then it stands in for the sitemap.
  file_ = NewFile();
  if (!file_->Open(std::string(SitemapFiles::kSitemap))) return Fail("cannot write " + file_->error());
  if (options_.gzip) gzip_ = std::make_unique<BackgroundGzip>([this](std::string_view bytes) { return file_->Write(bytes); });
  return Write(kDeclaration) && Write(OpeningFor(options_.mobile, options_.xhtml));
}

bool SitemapSet::Finish(const std::stop_token& stop) {
  if (parts_.empty() && !options_.gzip) {
    if (stop.stop_requested()) return false;
    if (!Write(kClosing) || !PassHeld()) return false;
    if (!file_->Commit()) return Fail("cannot write " + file_->error());
  } else {
    if (!EndPart()) return false;
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
  const std::unique_ptr<SafeOutputFile> out = NewFile();
  if (!out->Open(std::string(SitemapFiles::kSitemap)) || !out->Write(index) || !out->Commit())
    return Fail("cannot write " + out->error());
  return true;
}

// Parts of earlier runs that neither the new index nor the one it replaced
// names. A file is taken only when its name is of a part's pattern, exactly.
void SitemapSet::RemoveStaleParts() {
  std::unordered_set<std::string> kept = previous_;
  for (const Part& part : parts_) kept.insert(part.name);
  for (const std::string& name : present_)
    if (SitemapFiles::IsPart(name) && !kept.contains(name)) files_.Remove(folder_, name);
}

// The parts the index on disk names, if it is an index of this program's.
// One that cannot be read names none: its parts go with the next run.
void SitemapSet::ReadPreviousIndex() {
  std::string index, reason;
  const std::string path = "/proc/self/fd/" + std::to_string(folder_) + "/" + std::string(SitemapFiles::kSitemap);
  if (!files_.ReadWhole(path, &index, &reason) || index.find("<sitemapindex") == std::string::npos) return;
  for (std::size_t at = index.find("<loc>"); at != std::string::npos; at = index.find("<loc>", at + 5)) {
    const std::size_t end = index.find("</loc>", at);
    if (end == std::string::npos) break;
    const std::string_view loc = std::string_view(index).substr(at + 5, end - at - 5);
    const std::string name(loc.substr(loc.rfind('/') + 1));
    if (SitemapFiles::IsPart(name)) previous_.insert(name);
  }
}
