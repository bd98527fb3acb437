#include "sitemap/SitemapFiles.h"

#include <algorithm>

namespace SitemapFiles {
namespace {

constexpr std::string_view kPartPrefix = "nubika_sitemap-";
constexpr std::size_t kGenerationDigits = 14;

bool AllDigits(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return !text.empty();
}

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

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
  constexpr std::size_t kRandom = 8;
  if (!name.starts_with(kTemporaryPrefix)) return false;
  name.remove_prefix(kTemporaryPrefix.size());
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || name.size() != dash + 1 + kRandom) return false;
  const std::string_view pid = name.substr(0, dash);
  const std::string_view random = name.substr(dash + 1);
  return AllDigits(pid) && pid[0] != '0' && std::all_of(random.begin(), random.end(), IsLowerHex);
}

bool IsOwn(std::string_view name) { return name == kSitemap || IsPart(name) || IsTemporary(name); }

}  // namespace SitemapFiles
