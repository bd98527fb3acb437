#include "sitemap/LinkUrl.h"


#include <array>
#include <cstdio>
#include <new>

#include "sitemap/ParsedUri.h"
#include "sitemap/UrlText.h"
#include "text/AsciiText.h"

namespace {


std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiText::ToLower(c);
  return lower;
}

// As the URL parser of HTML prepares an href: C0 controls and spaces off
// its ends, tabs and line breaks out of it.
std::string Prepared(std::string_view href) {
  while (!href.empty() && static_cast<unsigned char>(href.front()) <= 0x20) href.remove_prefix(1);
  while (!href.empty() && static_cast<unsigned char>(href.back()) <= 0x20) href.remove_suffix(1);
  std::string kept;
  kept.reserve(href.size());
  for (const char c : href)
    if (c != '\t' && c != '\n' && c != '\r') kept.push_back(c);
  std::string encoded;
  UrlText::AppendBaseUrl(&encoded, kept);
  return encoded;
}

// What a URL's path and query hold as they are: no escape to normalise,
// no fragment, nothing a browser would encode or read otherwise ("\\").
constexpr std::array<bool, 256> kPlainCharacters = [] {
  std::array<bool, 256> plain{};
  for (int c = 0; c < 256; ++c) plain[c] = AsciiText::IsAlnum(static_cast<char>(c));
  for (const char c : std::string_view("-._~/!$&'()*+,;=:@?")) plain[static_cast<unsigned char>(c)] = true;
  return plain;
}();
bool IsPlainCharacter(char c) { return kPlainCharacters[static_cast<unsigned char>(c)]; }

// A path (and query) of plain characters without dot segments.
bool IsPlainPath(std::string_view path) {
  for (const char c : path)
    if (!IsPlainCharacter(c)) return false;
  // Most paths hold no dot at the start of a segment.
  std::string_view segments = path.substr(0, path.find('?'));
  for (std::size_t dot = segments.find('.'); dot != std::string_view::npos; dot = segments.find('.', dot + 1)) {
    if (dot != 0 && segments[dot - 1] != '/') continue;
    const std::string_view segment = segments.substr(dot, segments.find('/', dot) - dot);
    if (segment == "." || segment == "..") return false;
  }
  return true;
}

// Where the path of a plain http(s) URL starts: after a lower-case scheme
// and a host of lower-case letters, digits, "-" and "." (no port, no user);
// npos for any other URL.
std::size_t PlainPathStart(std::string_view url) {
  const std::size_t hostStart = url.starts_with("https://") ? 8 : url.starts_with("http://") ? 7 : 0;
  if (hostStart == 0) return std::string_view::npos;
  const std::size_t pathStart = url.find('/', hostStart);
  if (pathStart == std::string_view::npos || pathStart == hostStart) return std::string_view::npos;
  for (std::size_t i = hostStart; i < pathStart; ++i)
    if (!AsciiText::IsLower(url[i]) && !AsciiText::IsDigit(url[i]) && url[i] != '-' && url[i] != '.')
      return std::string_view::npos;
  return pathStart;
}

// Most links of a site are a plain path, absolute or relative, or a plain
// http(s) URL, against a plain page URL: they resolve by joining, as RFC
// 3986 does it, without the parser. Anything else (another scheme, an
// authority, a query alone, an escape, a dot segment) is left to it:
// nothing.
std::optional<std::string> JoinedPlainly(std::string_view href, std::string_view base) {
  if (href.empty() || href.starts_with("//") || href.front() == '?' || !IsPlainPath(href)) return std::nullopt;
  const std::size_t pathStart = PlainPathStart(base);
  if (pathStart == std::string_view::npos || !IsPlainPath(base.substr(pathStart)) ||
      base.find('?') != std::string_view::npos)
    return std::nullopt;
  const std::size_t colon = href.find(':');
  if (colon != std::string_view::npos && colon < href.find('/')) {
    // A scheme: a URL that has nothing to normalise stands for itself.
    if (LinkUrl::IsCompared(href)) return std::string(href);
    return std::nullopt;
  }
  const std::string_view start = base.substr(0, href.front() == '/' ? pathStart : base.rfind('/') + 1);
  std::string joined;
  joined.reserve(start.size() + href.size());
  joined.append(start).append(href);
  return joined;
}

bool IsHttp(std::string_view scheme) {
  const std::string lower = Lower(scheme);
  return lower == "http" || lower == "https";
}

}  // namespace

std::string LinkUrl::DocumentBase(std::optional<std::string_view> baseHref, const std::string& pageUrl) {
  if (!baseHref) return pageUrl;
  Problem ignored{};
  // A <base> that names no http URL is of no use to the links here: they
  // resolve against the page then, as a browser takes a failed base.
  return Resolve(*baseHref, pageUrl, &ignored).value_or(pageUrl);
}

std::optional<std::string> LinkUrl::Resolve(std::string_view href, const std::string& documentBase,
                                            Problem* problem) {
  const auto refuse = [problem](Problem reason) {
    *problem = reason;
    return std::optional<std::string>();
  };
  if (std::optional<std::string> joined = JoinedPlainly(href, documentBase)) {
    *problem = Problem::kNone;
    return joined;
  }
  const std::string prepared = Prepared(href);
  if (prepared.empty()) return refuse(Problem::kEmpty);
  ParsedUri reference, base, resolved;
  if (!reference.Parse(prepared)) return refuse(Problem::kUnparsable);
  if (reference.uri().scheme.first && !IsHttp(ParsedUri::TextOf(reference.uri().scheme))) return refuse(Problem::kNotHttp);
  if (!base.Parse(documentBase)) return refuse(Problem::kUnparsable);
  const int result = uriAddBaseUriExA(&resolved.uri(), &reference.uri(), &base.uri(), URI_RESOLVE_STRICTLY);
  if (result == URI_ERROR_MALLOC) throw std::bad_alloc();
  if (result != URI_SUCCESS) return refuse(Problem::kUnparsable);
  if (!IsHttp(ParsedUri::TextOf(resolved.uri().scheme))) return refuse(Problem::kNotHttp);
  if (ParsedUri::TextOf(resolved.uri().hostText).empty() && !resolved.uri().hostData.ip6) return refuse(Problem::kUnparsable);
  *problem = Problem::kNone;
  return resolved.Text();
}

bool LinkUrl::IsCompared(std::string_view url) {
  const std::size_t pathStart = PlainPathStart(url);
  return pathStart != std::string_view::npos && IsPlainPath(url.substr(pathStart));
}

std::string LinkUrl::Compared(std::string_view url) {
  if (IsCompared(url)) return std::string(url);
  const std::string text(url);  // the parse points into it
  ParsedUri parsed;
  if (!parsed.Parse(text)) return text;
  UriUriA& uri = parsed.uri();
  const int normalised = uriNormalizeSyntaxA(&uri);
  if (normalised == URI_ERROR_MALLOC) throw std::bad_alloc();
  const std::string scheme = Lower(ParsedUri::TextOf(uri.scheme));
  std::string compared = scheme + "://";
  if (uri.userInfo.first) compared.append(ParsedUri::TextOf(uri.userInfo)).push_back('@');
  if (uri.hostData.ip6) {
    // Every group in full: the parser writes a resolved address so.
    char group[8];
    compared.push_back('[');
    for (int i = 0; i < 16; i += 2) {
      std::snprintf(group, sizeof group, i == 0 ? "%02x%02x" : ":%02x%02x", uri.hostData.ip6->data[i],
                    uri.hostData.ip6->data[i + 1]);
      compared += group;
    }
    compared.push_back(']');
  } else {
    compared += Lower(ParsedUri::TextOf(uri.hostText));
  }
  std::string_view port = ParsedUri::TextOf(uri.portText);
  while (port.size() > 1 && port.front() == '0') port.remove_prefix(1);
  if (!port.empty() && !(scheme == "http" && port == "80") && !(scheme == "https" && port == "443"))
    compared.append(":").append(port);
  if (!uri.pathHead) compared.push_back('/');
  for (const UriPathSegmentA* segment = uri.pathHead; segment; segment = segment->next)
    compared.append("/").append(ParsedUri::TextOf(segment->text));
  if (uri.query.first) compared.append("?").append(ParsedUri::TextOf(uri.query));
  return compared;
}
