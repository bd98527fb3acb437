#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// The files this program keeps in a site's root folder. None of them is
// ever a page of the site, and only these are ever removed by it.
//
//   nubika_sitemap.xml                       the sitemap, or the index of its parts
//   nubika_sitemap-<generation>-<n>.xml      part n of a run's set (.xml.gz with gzip);
//                                            <generation> is the run's start, 14 digits
//                                            of UTC time (YYYYMMDDhhmmss), n from 1
//   .<one of the above>.XXXXXX               a file being written
namespace SitemapFiles {

constexpr std::string_view kSitemap = "nubika_sitemap.xml";

// "nubika_sitemap-<generation>-<n>.xml", or ".xml.gz".
std::string PartName(std::string_view generation, std::size_t n, bool gzip);
// A name of the parts' pattern, exactly.
bool IsPart(std::string_view name);
// A temporary file the program made for one of its files. Only a run that
// holds the folder's lock may remove these.
bool IsTemporary(std::string_view name);
// The sitemap, a part or a temporary file of the program's.
bool IsOwn(std::string_view name);

}  // namespace SitemapFiles
