#pragma once
#include <string>
#include <string_view>

// How names and the base URL become the text of a <loc> element.
namespace UrlText {

// Percent-encodes one path segment: every byte outside the unreserved and
// sub-delimiter characters, ":" and "@" becomes %XX (upper-case hex).
void AppendPathSegment(std::string* out, std::string_view name);

// Percent-encodes only what can never stand in a URL as typed: control
// bytes, space, bytes 0x7F-0xFF, " < > \ ^ ` { | }, "[" and "]" after the
// host, and a "%" that does not start an escape. A base URL the user has
// encoded already is not encoded twice.
void AppendBaseUrl(std::string* out, std::string_view url);

// True when url (trimmed) can stand before every page's path: an absolute
// http:// or https:// URL with a host, without "?" or "#". Otherwise
// problem says what is wrong.
bool IsUsableBase(std::string_view url, std::string* problem);

// Escapes & < > " ' for XML character data.
void AppendXmlEscaped(std::string* out, std::string_view text);

inline std::string PathSegment(std::string_view name) {
  std::string out;
  AppendPathSegment(&out, name);
  return out;
}
inline std::string BaseUrl(std::string_view url) {
  std::string out;
  AppendBaseUrl(&out, url);
  return out;
}
inline std::string XmlEscaped(std::string_view text) {
  std::string out;
  AppendXmlEscaped(&out, text);
  return out;
}

}  // namespace UrlText
