#include "sitemap/UrlText.h"

#include <array>

namespace {

using ByteSet = std::array<bool, 256>;

constexpr bool IsAlnum(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

constexpr ByteSet SegmentSafe() {
  ByteSet safe{};
  for (int c = 0; c < 256; ++c) safe[c] = IsAlnum(c);
  for (char c : std::string_view("-._~!$&'()*+,;=:@")) safe[static_cast<unsigned char>(c)] = true;
  return safe;
}

constexpr ByteSet BaseUrlUnsafe() {
  ByteSet unsafe{};
  for (int c = 0; c < 256; ++c) unsafe[c] = c <= 0x20 || c >= 0x7F;
  for (char c : std::string_view("\"<>\\^`{|}")) unsafe[static_cast<unsigned char>(c)] = true;
  return unsafe;
}

constexpr ByteSet kSegmentSafe = SegmentSafe();
constexpr ByteSet kBaseUrlUnsafe = BaseUrlUnsafe();

void AppendPercent(std::string* out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const char encoded[3] = {'%', kHex[byte >> 4], kHex[byte & 0x0F]};
  out->append(encoded, 3);
}

constexpr bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// "%" followed by two hex digits.
bool StartsEscape(std::string_view text) { return text.size() >= 3 && IsHex(text[1]) && IsHex(text[2]); }

// Where the path begins: after "scheme://host", or at 0 without a scheme.
std::size_t PathStart(std::string_view url) {
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos) return 0;
  const std::size_t slash = url.find('/', schemeEnd + 3);
  return slash == std::string_view::npos ? url.size() : slash;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != lower[i]) return false;
  }
  return true;
}

const char* XmlEntityOf(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\'': return "&apos;";
    default: return nullptr;
  }
}

}  // namespace

namespace UrlText {

// Both loops copy the runs of bytes that stay as they are in one append:
// a sitemap of a million files passes every URL through here, and most
// bytes need nothing.
void AppendPathSegment(std::string* out, std::string_view name) {
  std::size_t copied = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (kSegmentSafe[byte]) continue;
    out->append(name.data() + copied, i - copied);
    AppendPercent(out, byte);
    copied = i + 1;
  }
  out->append(name.data() + copied, name.size() - copied);
}

void AppendBaseUrl(std::string* out, std::string_view url) {
  const std::size_t pathStart = PathStart(url);
  for (std::size_t i = 0; i < url.size(); ++i) {
    const auto byte = static_cast<unsigned char>(url[i]);
    const bool bracket = (byte == '[' || byte == ']') && i >= pathStart;
    const bool strayPercent = byte == '%' && !StartsEscape(url.substr(i));
    if (kBaseUrlUnsafe[byte] || bracket || strayPercent)
      AppendPercent(out, byte);
    else
      out->push_back(url[i]);
  }
}

bool IsUsableBase(std::string_view url, std::string* problem) {
  const auto fail = [problem](const char* text) {
    *problem = text;
    return false;
  };
  if (url.empty()) return fail("the base URL is empty");
  const std::size_t schemeEnd = url.find("://");
  const std::string_view scheme = url.substr(0, schemeEnd == std::string_view::npos ? 0 : schemeEnd);
  if (!EqualsIgnoringCase(scheme, "http") && !EqualsIgnoringCase(scheme, "https"))
    return fail("the base URL must start with http:// or https://");
  if (url.find_first_of("?#") != std::string_view::npos)
    return fail("the base URL must not contain \"?\" or \"#\"");
  std::string_view host = url.substr(schemeEnd + 3, PathStart(url) - schemeEnd - 3);
  if (const auto at = host.rfind('@'); at != std::string_view::npos) host.remove_prefix(at + 1);
  if (!host.empty() && host.front() == '[') {
    const auto close = host.find(']');
    if (close == std::string_view::npos) return fail("the base URL's host is not a valid address");
    host = host.substr(0, close + 1);
  } else if (const auto colon = host.find(':'); colon != std::string_view::npos) {
    const std::string_view port = host.substr(colon + 1);
    if (port.find_first_not_of("0123456789") != std::string_view::npos)
      return fail("the base URL's port is not a number");
    host = host.substr(0, colon);
  }
  if (host.empty()) return fail("the base URL has no host");
  for (char c : host)
    if (kBaseUrlUnsafe[static_cast<unsigned char>(c)])
      return fail("the base URL's host must be plain ASCII (punycode for international names)");
  return true;
}

void AppendXmlEscaped(std::string* out, std::string_view text) {
  std::size_t copied = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* entity = XmlEntityOf(text[i]);
    if (!entity) continue;
    out->append(text.data() + copied, i - copied);
    out->append(entity);
    copied = i + 1;
  }
  out->append(text.data() + copied, text.size() - copied);
}

}  // namespace UrlText
