#include "sitemap/SitemapFiles.h"

namespace SitemapFiles {
namespace {

constexpr std::string_view kPartPrefix = "nubika_sitemap-";
constexpr std::size_t kGenerationDigits = 14;

bool AllDigits(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return !text.empty();
}

bool IsAlnum(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

}  // namespace

std::string PartName(std::string_view generation, std::size_t n, bool gzip) {
  return std::string(kPartPrefix).append(generation).append("-").append(std::to_string(n)).append(
      gzip ? ".xml.gz" : ".xml");
}

bool IsPart(std::string_view name) {
  if (!name.starts_with(kPartPrefix)) return false;
  name.remove_prefix(kPartPrefix.size());
  if (name.size() < kGenerationDigits + 1 || !AllDigits(name.substr(0, kGenerationDigits)) ||
      name[kGenerationDigits] != '-')
    return false;
  name.remove_prefix(kGenerationDigits + 1);
  const std::size_t dot = name.find('.');
  const std::string_view number = name.substr(0, dot);
  const std::string_view ending = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
  return AllDigits(number) && number[0] != '0' && (ending == ".xml" || ending == ".xml.gz");
}

bool IsTemporary(std::string_view name) {
  // mkstemp fills the last six characters from [A-Za-z0-9].
  constexpr std::size_t kRandom = 6;
  if (name.size() < kRandom + 3 || name[0] != '.' || name[name.size() - kRandom - 1] != '.') return false;
  for (char c : name.substr(name.size() - kRandom))
    if (!IsAlnum(c)) return false;
  const std::string_view inner = name.substr(1, name.size() - kRandom - 2);
  return inner == kSitemap || IsPart(inner);
}

bool IsOwn(std::string_view name) { return name == kSitemap || IsPart(name) || IsTemporary(name); }

}  // namespace SitemapFiles
