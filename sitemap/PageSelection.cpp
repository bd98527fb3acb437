#include "sitemap/PageSelection.h"

#include "sitemap/SitemapFiles.h"

PageSelection::PageSelection(const std::vector<std::string>& extensions) {
  for (const auto& extension : extensions) dottedExtensions_.push_back("." + extension);
}

bool PageSelection::Matches(std::string_view name, std::uint16_t level) const {
  const auto dot = name.rfind('.');
  const std::string_view extension = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
  for (const std::string& dotted : dottedExtensions_)
    if (dotted == extension) return !(level == 1 && SitemapFiles::IsOwn(name));
  return false;
}
