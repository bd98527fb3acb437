#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// One thing a run left out or could not do as asked, as a code with its
// data: each program words it in its own language. path is the entry's
// path (a page's path below the site's folder, a folder's full path),
// detail a second text (the system's reason, a URL), count and of the
// entry's figures.
struct Warning {
  // New reasons go before kCount; each program words every one.
  enum class Reason : std::uint8_t {
    kFewerReaders,         // count of of readers started; detail: why no more
    kFolderNotListed,      // path: the folder; detail: the system's reason
    kFolderPartlyListed,   // path: the folder; detail: why the listing broke off
    kBrokenLink,           // path: a link to nothing (or a loop) in the place of a page
    kNotRegularFile,       // path: a FIFO, socket or device in the place of a page
    kUrlTooLong,           // path: the page; detail: its URL; count: the URL's length
    kNoindex,              // path: a page that asks robots not to index it
    kUndatedPage,          // path: a page the ledger could not read; detail: why
    kGitHistoryCut,        // path: the work tree; count: pages a shallow clone cannot date
    kGitUnreadable,        // path: the repository; detail: why it could not be read
    // What --canonical, --robots-txt and --hreflang find. A URL in detail
    // is cut to SitemapWriter::kKeptUrlLength.
    kCanonicalElsewhere,   // path: a page left out; detail: the canonical URL it names
    kCanonicalNotHttp,     // path: a page kept; detail: its canonical, neither http nor https (file:, ...)
    kCanonicalEmpty,       // path: a page kept, whose canonical href is empty
    kCanonicalBroken,      // path: a page kept; detail: its canonical href, which is no URL
    kCanonicalIsFolder,    // path: an index page written as a file whose canonical is its folder's URL
    kRobotsDisallowed,     // path: a page left out; detail: the robots.txt rule that disallows it
    kRobotsNotAtRoot,      // detail: the base URL, whose path is not "/": robots.txt not read
    kRobotsTxtMissing,     // path: the robots.txt the folder's root does not hold
    kRobotsNoSitemapLine,  // path: robots.txt; detail: the sitemap's URL, which no Sitemap: line names
    kHreflangUnusableHref, // path: a page; detail: an alternate's href that is no http(s) URL (not written)
    kHreflangNotReciprocal,// path: a page; detail: its alternate, a page that does not link back
    kHreflangSelfMissing,  // path: a page whose alternates leave the page itself out
    kHreflangNotInSitemap, // path: a page; detail: its alternate inside the base that is not in the sitemap
    kHreflangBadLanguage,  // path: a page; detail: an hreflang that is no language tag (not written)
    kHreflangDuplicate,    // path: a page; detail: an hreflang given to two URLs
    kCount
  };
  static constexpr std::size_t kReasons = static_cast<std::size_t>(Reason::kCount);

  Reason reason = Reason::kNotRegularFile;
  std::string path{};
  std::string detail{};
  std::size_t count = 0;
  std::size_t of = 0;
};
