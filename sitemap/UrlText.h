#pragma once
#include <cstdint>
#include <optional>
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

// Why a typed base URL cannot stand before every page's path.
enum class BaseProblem : std::uint8_t {
  kEmpty,              // nothing but spaces
  kNotHttp,            // it does not start with http:// or https://
  kQueryOrFragment,    // it holds "?" or "#"
  kNoHost,             // nothing names the host
  kUserInfo,           // a user name or password ("@") before the host
  kBadPort,            // a port that is empty, not a number, or not 1 to 65535
  kBadAddress,         // "[...]" that is no IPv6 address, or anything after its "]"
  kBadHostCharacter,   // a character no host name holds, such as "\", "[" or a space
  kNonAsciiHost,       // a host beyond ASCII that has no IDNA form (not UTF-8, or not allowed)
  kNotUri,             // anything else RFC 3986 does not allow
};

// The text every <loc> starts with, for a base URL as the user typed it,
// or nothing with the reason in *problem. Spaces at the ends are dropped;
// a host in Unicode takes its IDNA form (InternationalHost);
// what can never stand in a URL is percent-encoded as AppendBaseUrl does;
// the result must then be an http or https URI (RFC 3986) with a host, no
// user information, query or fragment. It is normalised: scheme and host
// in lower case, the dot segments of the path removed (RFC 3986 section
// 5.2.4), percent-escapes as section 6.2.2 says (upper-case hex, unreserved
// characters decoded), and a "/" at the end. The port stays as typed.
std::optional<std::string> NormalisedBase(std::string_view typed, BaseProblem* problem);

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
