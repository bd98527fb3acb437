#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The URLs a page's head links to (its canonical page, its language
// versions), taken as a browser takes them, and the form two URLs are
// compared in.
class LinkUrl {
 public:
  // Why an href names no page a sitemap can list.
  enum class Problem : std::uint8_t {
    kNone,
    kEmpty,       // nothing but whitespace
    kNotHttp,     // resolves to another scheme than http or https (file:, mailto:, ...)
    kUnparsable,  // no URI reference (RFC 3986), or an http URL without a host
  };

  // The document's base URL: the page's own URL, or a <base href> in its
  // head resolved against it, when that gives a URL at all.
  static std::string DocumentBase(std::optional<std::string_view> baseHref, const std::string& pageUrl);

  // href resolved against the document's base (RFC 3986 section 5), as a
  // browser does: whitespace at its ends and line breaks and tabs inside
  // dropped, what can never stand in a URL percent-encoded (a space, octets
  // beyond ASCII, ...). The result is an http or https URL; else nothing,
  // with the reason in *problem.
  static std::optional<std::string> Resolve(std::string_view href, const std::string& documentBase,
                                            Problem* problem);

  // An http(s) URL in the form in which URLs that name the same page are
  // equal: scheme and host in lower case, no default port (80, 443), an
  // empty path as "/", dot segments removed, percent-escapes in upper case
  // and those of unreserved characters decoded, the fragment dropped.
  static std::string Compared(std::string_view url);
  // Whether url is in that form already, as a plain URL mostly is: lower
  // case, no port, escape, dot segment or fragment.
  static bool IsCompared(std::string_view url);
};
