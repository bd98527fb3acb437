#pragma once
#include <string_view>

// The files this program keeps in a site's root folder. None of them is
// ever a page of the site.
namespace SitemapFiles {

constexpr std::string_view kSitemap = "nubika_sitemap.xml";

// The sitemap, or a temporary file of the program's.
bool IsOwn(std::string_view name);
// A temporary file the program made: ".<name>.XXXXXX" for one of its own
// files. Only a run that holds the folder's lock may remove these.
bool IsTemporary(std::string_view name);

}  // namespace SitemapFiles
