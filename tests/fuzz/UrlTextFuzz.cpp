// Path-segment encoding and XML escaping on any name a folder can hold
// (any bytes but "/" and NUL, never "." or ".."): the segment is a valid
// RFC 3986 segment that is no dot-segment, escaped it is XML character data
// that a parser reads back as the segment, and decoding gives the name.
// The base URL, typed with any bytes, must come out as printable ASCII; a
// base that is accepted comes out normalised once and for all.

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "SitemapCheck.h"
#include "sitemap/UrlText.h"

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// RFC 3986: segment = *pchar; pchar = unreserved / pct-encoded / sub-delims / ":" / "@"
bool IsSegment(std::string_view text) {
  static constexpr std::string_view kPchar =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~!$&'()*+,;=:@";
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      if (i + 2 >= text.size() || !IsHex(text[i + 1]) || !IsHex(text[i + 2])) return false;
      i += 2;
    } else if (kPchar.find(text[i]) == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

void IgnoreXmlError(void*, const char*, ...) {}

// What an XML parser reads as the text of an element holding escaped.
bool ReadsBackAs(const std::string& escaped, const std::string& expected) {
  xmlSetGenericErrorFunc(nullptr, IgnoreXmlError);
  const std::string document = "<loc>" + escaped + "</loc>";
  xmlDoc* doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "loc.xml", nullptr,
                              XML_PARSE_NONET);
  if (!doc) return false;
  xmlChar* text = xmlNodeGetContent(xmlDocGetRootElement(doc));
  const bool same = text && expected == reinterpret_cast<const char*>(text);
  xmlFree(text);
  xmlFreeDoc(doc);
  return same;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  const std::string base = UrlText::BaseUrl(bytes);
  for (char c : base) FUZZ_CHECK(c > 0x20 && c < 0x7F && !std::strchr("\"<>\\^`{|}", c), Printable(base));
  FUZZ_CHECK(ReadsBackAs(UrlText::XmlEscaped(base), base), Printable(base));
  // Every "%" starts an escape, so the whole text decodes.
  FUZZ_CHECK(SitemapCheck::PercentDecoded(base).has_value(), Printable(base));
  UrlText::BaseProblem problem{};
  if (const auto normalised = UrlText::NormalisedBase(bytes, &problem)) {
    FUZZ_CHECK(normalised->ends_with('/'), Printable(*normalised));
    FUZZ_CHECK(UrlText::BaseUrl(*normalised) == *normalised, Printable(*normalised));
    const auto again = UrlText::NormalisedBase(*normalised, &problem);
    FUZZ_CHECK(again && *again == *normalised, Printable(bytes) + " -> " + Printable(*normalised));
  }

  const std::string& name = bytes;
  if (name.empty() || name == "." || name == ".." || name.find_first_of(std::string("/\0", 2)) != std::string::npos)
    return 0;
  const std::string segment = UrlText::PathSegment(name);
  FUZZ_CHECK(IsSegment(segment), Printable(segment));
  FUZZ_CHECK(segment != "." && segment != "..", Printable(name));
  FUZZ_CHECK(ReadsBackAs(UrlText::XmlEscaped(segment), segment), Printable(segment));
  const auto decoded = SitemapCheck::PercentDecoded(segment);
  FUZZ_CHECK(decoded && *decoded == name, Printable(name) + " -> " + Printable(segment));
  return 0;
}
