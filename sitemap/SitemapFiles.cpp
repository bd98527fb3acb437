#include "sitemap/SitemapFiles.h"
#include "text/AsciiText.h"

#include <algorithm>

namespace SitemapFiles {
namespace {

constexpr std::string_view kPartPrefix = "nubika_sitemap-";
constexpr std::size_t kGenerationDigits = 14;
constexpr std::size_t kNameDigits = 16;

}  // namespace

std::string PartName(const ContentHash::Value& digest, bool gzip) {
  return std::string(kPartPrefix).append(ContentHash::Hex(digest, kNameDigits / 2)).append(gzip ? ".xml.gz" : ".xml");
}

std::string PartName(std::string_view xml, bool gzip) { return PartName(ContentHash::Of(xml), gzip); }

bool IsPart(std::string_view name) {
  if (!name.starts_with(kPartPrefix)) return false;
  name.remove_prefix(kPartPrefix.size());
  if (name.size() > kNameDigits && std::all_of(name.begin(), name.begin() + kNameDigits, AsciiText::IsLowerHexDigit)) {
    const std::string_view ending = name.substr(kNameDigits);
    if (ending == ".xml" || ending == ".xml.gz") return true;
  }
  if (name.size() < kGenerationDigits + 1 || !AsciiText::AllDigits(name.substr(0, kGenerationDigits)) ||
      name[kGenerationDigits] != '-')
    return false;
  name.remove_prefix(kGenerationDigits + 1);
  const std::size_t dot = name.find('.');
  const std::string_view number = name.substr(0, dot);
  const std::string_view ending = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
  return AsciiText::AllDigits(number) && number[0] != '0' && (ending == ".xml" || ending == ".xml.gz");
}

bool IsTemporary(std::string_view name) {
  constexpr std::size_t kRandom = 8;
  if (!name.starts_with(kTemporaryPrefix)) return false;
  name.remove_prefix(kTemporaryPrefix.size());
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || name.size() != dash + 1 + kRandom) return false;
  const std::string_view pid = name.substr(0, dash);
  const std::string_view random = name.substr(dash + 1);
  return AsciiText::AllDigits(pid) && pid[0] != '0' &&
         std::all_of(random.begin(), random.end(), AsciiText::IsLowerHexDigit);
}

bool IsOwn(std::string_view name) { return name == kSitemap || IsPart(name) || IsTemporary(name); }

}  // namespace SitemapFiles
