#pragma once
#include <string>
#include <vector>

// What the user chose for one sitemap. The window hands a run a snapshot of
// its inputs; the command line builds one from its options and the
// settings file. The options below the first group are all off by default,
// which gives the sitemap as it has always been.
struct GenerationInputs {
  std::string baseUrl;                  // as typed; the writer trims it
  bool priority = false;                // <priority> per URL
  bool changeFreq = false;              // <changefreq> per URL
  bool lastMod = false;                 // <lastmod> per URL
  bool mobile = false;                  // the mobile marker and namespace
  std::vector<std::string> extensions;  // without their dot, in list order

  bool lastModFromFile = false;  // <lastmod> is the file's day, not the run's
  std::vector<std::string> exclude;  // ignore-file patterns, below the folder
  bool skipNoindex = false;          // leave out pages that ask not to be indexed
  bool folderUrls = false;           // an index page is written as its folder's URL
  std::vector<std::string> indexNames = {"index.html", "index.htm"};  // for folderUrls, first wins
  bool followLinks = false;          // enter links to folders
  bool gzip = false;                 // parts as .xml.gz under a plain index
  // <lastmod> is the day each page's content last changed, as the ledger
  // kept between runs has it (lastModFromFile aside); the run keeps the
  // ledger and knows what changed since the last one.
  bool lastModFromContent = false;
  // With lastModFromContent: a page git tracks that has no uncommitted
  // change is dated by the last commit that changed it (GitPageDates);
  // any other page as by its content.
  bool lastModFromGit = false;
  bool digestText = false;           // a change is one of the text a reader sees, not of the bytes
  std::string ledgerPath;            // empty: the ledger's usual place
  bool canonical = false;            // leave out pages whose canonical URL is another
  bool robotsTxt = false;            // leave out pages the site's robots.txt disallows
  std::string robotsAgent = "*";     // the crawler robots.txt is read for
  bool robotsSitemapLine = false;    // after a run, robots.txt names the sitemap (base URL at a host's root)
  bool hreflang = false;             // language versions as xhtml:link, their clusters checked

  bool operator==(const GenerationInputs&) const = default;
};
