#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A site's robots.txt as RFC 9309 reads it, for one crawler: the groups
// that name its product token (in any case) or, when none does, the groups
// for "*", their rules taken together. A path is allowed unless the
// longest rule that matches it disallows it; an allow wins a tie. In a
// rule "*" stands for any run of characters and a "$" at its end for the
// end of the path. Paths and rules are compared with percent-escapes of
// unreserved characters decoded, other escapes in upper case, and octets
// beyond ASCII encoded, so that "/%7Ea", "/~a" and a raw "/ツ" against
// "/%E3%83%84" compare alike.
//
// A UTF-8 byte order mark is passed by; lines may end in LF, CR LF or CR,
// the last one without any. Only the first kMaxBytes are read; a line the
// limit cuts off is not read either.
class RobotsTxt {
 public:
  static constexpr std::size_t kMaxBytes = 500 * 1024;

  // agent: a product token (letters, "-" and "_"), or "*" for any crawler.
  RobotsTxt(std::string_view text, std::string_view agent);

  // Whether a product token can name a crawler in a user-agent line.
  static bool IsProductToken(std::string_view agent);

  // path: the URL's path (and query), as in the URL, beginning with "/".
  bool Allows(std::string_view path) const { return !Disallowing(path); }
  // The rule that disallows path, as its line has it without a comment
  // ("Disallow: /private/"); null when path is allowed.
  const std::string* Disallowing(std::string_view path) const;

  // The values of the Sitemap: lines, in their order.
  const std::vector<std::string>& sitemaps() const { return sitemaps_; }

 private:
  struct Rule {
    std::string pattern;  // compared form, "$" at the end when anchored
    bool allow = false;
    std::string line;     // as written, for the reports
  };

  std::vector<Rule> rules_;
  std::vector<std::string> sitemaps_;
};
