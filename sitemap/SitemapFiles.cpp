#include "sitemap/SitemapFiles.h"

namespace SitemapFiles {

bool IsTemporary(std::string_view name) {
  // mkstemp fills the last six characters from [A-Za-z0-9].
  constexpr std::size_t kRandom = 6;
  if (name.size() < kRandom + 2 || name[0] != '.') return false;
  const std::string_view random = name.substr(name.size() - kRandom);
  for (char c : random)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  const std::string_view inner = name.substr(1, name.size() - kRandom - 2);
  return name[name.size() - kRandom - 1] == '.' && inner == kSitemap;
}

bool IsOwn(std::string_view name) { return name == kSitemap || IsTemporary(name); }

}  // namespace SitemapFiles
