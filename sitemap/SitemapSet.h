#pragma once
#include <cstddef>
#include <ctime>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "io/ContentHash.h"
#include "io/FileLayer.h"
#include "io/SafeOutputFile.h"
#include "scan/HugePageAllocator.h"
#include "sitemap/BackgroundGzip.h"

// Where a sitemap's <url> blocks go. While they fit the protocol's limits
// (50,000 URLs and 52,428,800 bytes) they make one "nubika_sitemap.xml",
// byte for byte as ever. Beyond, they are split into parts of the same
// form, named after their content (see SitemapFiles), and
// "nubika_sitemap.xml" becomes a sitemap index that names them. A part
// whose content would not change is left as it is: its name, its file and
// its bytes stay, so that an upload or a crawler can skip it. A plain part
// is held in memory until it passes 16 MB: an unchanged part of the usual
// size is then never written at all. With gzip every part is
// compressed as it is built (never held whole) and the index, left plain,
// names even a single part.
//
// The set is replaced as one: every new part is complete and in place under
// a new name before the index is replaced, and only then are the parts
// that neither the new index nor the one it replaced names removed: a
// crawler that fetched the previous index still finds its parts for one
// run. At every moment the index on disk and the parts it names are one
// run's. A set that is not finished removes what it wrote.
// Every file is written, renamed and removed through the folder's open
// descriptor, never by path.
class SitemapSet {
 public:
  static constexpr std::size_t kMaxUrls = 50000;
  static constexpr std::size_t kMaxBytes = 52428800;
  static constexpr std::size_t kMaxParts = 50000;

  struct Options {
    bool mobile = false;
    bool gzip = false;
    bool dates = false;      // each part's <lastmod> in the index
    std::string baseUrl;     // ends in "/", encoded: the parts' URLs start with it
    std::size_t maxUrls = kMaxUrls;    // per part; smaller only in tests
    std::size_t maxBytes = kMaxBytes;
    bool xhtml = false;  // the xhtml namespace, for language versions, last in every urlset
  };

  // folder: the open folder, which must outlive the set; folderPath names
  // it in errors and path().
  SitemapSet(FileLayer& files, int folder, std::string folderPath, Options options);
  ~SitemapSet();
  SitemapSet(const SitemapSet&) = delete;
  SitemapSet& operator=(const SitemapSet&) = delete;

  bool Open();
  // One <url> block, and its page's date ("YYYY-MM-DD", or empty).
  bool Add(std::string_view block, std::string_view date);
  // Puts the whole set in place, unless stop was asked for first.
  bool Finish(const std::stop_token& stop);

  // "nubika_sitemap.xml" in the folder.
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }
  // 0 for a single sitemap.
  std::size_t partCount() const { return parts_.size(); }

 private:
  struct Part {
    std::string name;
    std::string lastmod;
    bool written = false;  // put in place by this set, not kept from an earlier one
  };

  bool Fail(std::string reason);
  bool Write(std::string_view text);
  bool PassHeld();
  bool Hand(std::string_view text);
  bool StartPart();
  bool EndPart();
  bool WriteIndex();
  void RemoveStaleParts();
  void ReadPreviousIndex();
  std::unique_ptr<SafeOutputFile> NewFile() const;
  std::string CompressionError() const;

  FileLayer& files_;
  const int folder_;
  const std::string folderPath_;
  const Options options_;
  std::string path_;
  std::string error_;

  std::unique_ptr<SafeOutputFile> file_;   // the part or sitemap being streamed
  std::unique_ptr<BackgroundGzip> gzip_;   // with gzip: compresses into file_
  std::size_t urls_ = 0;
  std::size_t bytes_ = 0;
  std::string lastmod_;

  std::unique_ptr<ContentHash> hash_;  // of the part under way, but for what is held
  // The newest text of the part under way, neither hashed nor written yet:
  // hashed in large pieces, and written only once the part is known to be
  // new or it grows too large to hold. One block for all parts, of huge
  // pages where the system has them: filled a small page at a time, its
  // megabytes would cost a trap per page.
  struct HeldRelease {
    std::size_t bytes;
    void operator()(char* block) const { HugePageAllocator<char>().deallocate(block, bytes); }
  };
  std::unique_ptr<char, HeldRelease> held_;
  std::size_t heldBytes_ = 0;
  std::size_t mostHeld_ = 0;
  std::string_view Held() const { return {held_.get(), heldBytes_}; }
  std::vector<Part> parts_;
  std::unordered_set<std::string> present_;   // the folder's names, as the set found and left them
  std::unordered_set<std::string> previous_;  // the parts the index on disk names
  bool finished_ = false;
};
