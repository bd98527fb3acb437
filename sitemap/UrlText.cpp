#include "sitemap/UrlText.h"

#include <array>
#include <new>

#include "sitemap/InternationalHost.h"
#include "sitemap/ParsedUri.h"
#include "text/clrelatedansistring.h"
#include "text/AsciiText.h"

namespace {

using ByteSet = std::array<bool, 256>;

constexpr ByteSet SegmentSafe() {
  ByteSet safe{};
  for (int c = 0; c < 256; ++c) safe[c] = AsciiText::IsAlnum(static_cast<char>(c));
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
  const char encoded[3] = {'%', AsciiText::kUpperHexDigits[byte >> 4], AsciiText::kUpperHexDigits[byte & 0x0F]};
  out->append(encoded, 3);
}

// "%" followed by two hex digits.
bool StartsEscape(std::string_view text) {
  return text.size() >= 3 && AsciiText::IsHexDigit(text[1]) && AsciiText::IsHexDigit(text[2]);
}

// Where the path begins: after "scheme://host", or at 0 without a scheme.
std::size_t PathStart(std::string_view url) {
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos) return 0;
  const std::size_t slash = url.find('/', schemeEnd + 3);
  return slash == std::string_view::npos ? url.size() : slash;
}

// The host and port of an authority, as far as the text shows before the
// URI parser looks at it: reasons for what it would only call wrong.
std::optional<UrlText::BaseProblem> AuthorityProblem(std::string_view authority) {
  using UrlText::BaseProblem;
  if (authority.empty()) return BaseProblem::kNoHost;
  if (authority.find('@') != std::string_view::npos) return BaseProblem::kUserInfo;
  for (char c : authority)
    if (static_cast<unsigned char>(c) >= 0x80) return BaseProblem::kNonAsciiHost;
  for (std::size_t i = 0; i < authority.size(); ++i) {
    const bool strayPercent = authority[i] == '%' && !StartsEscape(authority.substr(i));
    if (kBaseUrlUnsafe[static_cast<unsigned char>(authority[i])] || strayPercent)
      return BaseProblem::kBadHostCharacter;
  }
  std::string_view host = authority;
  std::string_view afterHost;
  if (authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return BaseProblem::kBadAddress;
    host = authority.substr(0, close + 1);
    afterHost = authority.substr(close + 1);
    if (!afterHost.empty() && afterHost.front() != ':') return BaseProblem::kBadAddress;
  } else if (authority.find_first_of("[]") != std::string_view::npos) {
    return BaseProblem::kBadHostCharacter;
  } else if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    afterHost = authority.substr(colon);
  }
  if (host.empty()) return BaseProblem::kNoHost;
  if (afterHost.empty()) return std::nullopt;
  const std::string_view port = afterHost.substr(1);
  if (port.empty() || port.find_first_not_of("0123456789") != std::string_view::npos) return BaseProblem::kBadPort;
  const std::size_t digits = port.find_first_not_of('0');
  const std::string_view value = digits == std::string_view::npos ? std::string_view() : port.substr(digits);
  if (value.empty() || value.size() > 5 || (value.size() == 5 && value > "65535")) return BaseProblem::kBadPort;
  return std::nullopt;
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

std::optional<std::string> NormalisedBase(std::string_view typed, BaseProblem* problem) {
  const auto refuse = [problem](BaseProblem reason) {
    *problem = reason;
    return std::optional<std::string>();
  };
  const InternationalHost::Converted converted = InternationalHost::ToAscii(cls_Trim().trimSpaces(std::string(typed)));
  if (converted.problem != InternationalHost::Problem::kNone) return refuse(BaseProblem::kNonAsciiHost);
  const std::string& url = converted.url;
  if (url.empty()) return refuse(BaseProblem::kEmpty);
  const std::size_t schemeEnd = url.find("://");
  const std::string_view scheme = std::string_view(url).substr(0, schemeEnd == std::string::npos ? 0 : schemeEnd);
  if (!AsciiText::EqualsIgnoringCase(scheme, "http") && !AsciiText::EqualsIgnoringCase(scheme, "https"))
    return refuse(BaseProblem::kNotHttp);
  if (url.find_first_of("?#") != std::string::npos) return refuse(BaseProblem::kQueryOrFragment);
  const std::size_t hostStart = schemeEnd + 3;
  const std::size_t pathStart = PathStart(url);
  // An international host is in its ASCII form by now; any byte beyond
  // ASCII left in it is refused.
  if (const auto reason = AuthorityProblem(std::string_view(url).substr(hostStart, pathStart - hostStart)))
    return refuse(*reason);

  // The authority holds nothing AppendBaseUrl changes, so it keeps its place.
  std::string encoded;
  AppendBaseUrl(&encoded, url);
  for (std::size_t i = 0; i < pathStart; ++i) {
    if (encoded[i] != '%') {
      encoded[i] = AsciiText::ToLower(encoded[i]);
      continue;
    }
    for (const std::size_t digit : {i + 1, i + 2}) encoded[digit] = AsciiText::ToUpper(encoded[digit]);
    i += 2;
  }
  ParsedUri parsed;
  if (!parsed.Parse(encoded))
    return refuse(url[hostStart] == '[' ? BaseProblem::kBadAddress : BaseProblem::kNotUri);
  UriUriA& uri = parsed.uri();
  if (uri.hostData.ipFuture.first) return refuse(BaseProblem::kBadAddress);
  if (ParsedUri::TextOf(uri.hostText).empty()) return refuse(BaseProblem::kNoHost);
  if (uriNormalizeSyntaxExA(&uri, URI_NORMALIZE_PATH) != URI_SUCCESS) throw std::bad_alloc();

  // Put together here: the parser would write an IPv6 host at full length.
  std::string base = encoded.substr(0, pathStart);
  for (const UriPathSegmentA* segment = uri.pathHead; segment; segment = segment->next)
    base.append("/").append(ParsedUri::TextOf(segment->text));
  if (base.size() == pathStart || base.back() != '/') base.push_back('/');
  return base;
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
