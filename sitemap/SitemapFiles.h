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
//   .nubika_sitemap.tmp-<pid>-<8 hex digits> a file being written, by process <pid>;
//                                            the digits random, lowercase
namespace SitemapFiles {

constexpr std::string_view kSitemap = "nubika_sitemap.xml";

// What a temporary file's name starts with, before "<pid>-<8 hex digits>".
constexpr std::string_view kTemporaryPrefix = ".nubika_sitemap.tmp-";

// "nubika_sitemap-<generation>-<n>.xml", or ".xml.gz".
std::string PartName(std::string_view generation, std::size_t n, bool gzip);
// A name of the parts' pattern, exactly.
bool IsPart(std::string_view name);
// A name of the temporary files' form, exactly: no user's file (a backup
// such as ".nubika_sitemap.xml.backup") is ever taken for one. Only a run
// that holds the folder's lock may remove these.
bool IsTemporary(std::string_view name);
// The sitemap, a part or a temporary file of the program's.
bool IsOwn(std::string_view name);

}  // namespace SitemapFiles
