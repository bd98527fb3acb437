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
  std::string error;              // the parser's first complaint
  std::vector<std::string> locs;  // text of every <loc>, in order
};

Parsed Parse(const std::string& xml);

// Validates against sitemap.xsd, or sitemap-with-mobile.xsd when the
// sitemap carries the mobile namespace. Empty when valid, else the reason.
std::string Validate(const std::string& xml, const std::string& schemaFolder);

// %XX back to bytes; nullopt on a stray "%" or a bad hex digit.
std::optional<std::string> PercentDecoded(const std::string& text);

// The decoded path segments of a URL below base ("a/b/c.html" gives
// {"a", "b", "c.html"}); nullopt when url does not start with base or a
// segment does not decode.
std::optional<std::vector<std::string>> SegmentsBelow(const std::string& url, const std::string& base);

}  // namespace SitemapCheck
