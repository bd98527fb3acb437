#pragma once
#include <optional>
#include <string>
#include <vector>

// Reads a written sitemap the way a search engine would: with a real XML
// parser, never with string matching, so that a sitemap the tests accept
// is one that parsers accept.
namespace SitemapCheck {

struct Parsed {
  bool wellFormed = false;
  bool isIndex = false;           // a sitemapindex, not a urlset
  std::string error;              // the parser's first complaint
  std::vector<std::string> locs;  // text of every <loc>, in order
};

Parsed Parse(const std::string& xml);

// Validates against sitemap.xsd, sitemap-with-mobile.xsd when the sitemap
// carries the mobile namespace, sitemap-with-xhtml.xsd when it carries
// the xhtml one, or siteindex.xsd for an index. Empty when
// valid, else the reason.
std::string Validate(const std::string& xml, const std::string& schemaFolder);

// The sitemap of a folder as a reader sees it: "nubika_sitemap.xml", or
// the index there and every part it names, in order (gzip parts
// decompressed). Every file is checked against the schemas; error says
// what failed.
struct Set {
  std::string error;
  std::vector<std::string> parts;  // the part files' names; none for one sitemap
  std::vector<std::string> texts;  // the urlset texts, in order
  std::vector<std::string> locs;   // every page's loc, in order
};
Set ReadSet(const std::string& folder, const std::string& schemaFolder);

// A whole gzip file's content; empty on failure.
std::string Gunzipped(const std::string& compressed);

// The <url> blocks of a urlset text, as written, in order.
std::vector<std::string> UrlBlocks(const std::string& urlset);

// %XX back to bytes; nullopt on a stray "%" or a bad hex digit.
std::optional<std::string> PercentDecoded(const std::string& text);

// The decoded path segments of a URL below base ("a/b/c.html" gives
// {"a", "b", "c.html"}); nullopt when url does not start with base or a
// segment does not decode.
std::optional<std::vector<std::string>> SegmentsBelow(const std::string& url, const std::string& base);

}  // namespace SitemapCheck
