#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "io/ContentHash.h"

// The files this program keeps in a site's root folder. None of them is
// ever a page of the site, and only these are ever removed by it.
//
//   nubika_sitemap.xml                       the sitemap, or the index of its parts
//   nubika_sitemap-<16 hex digits>.xml       a part of a set (.xml.gz with gzip), named
//                                            after its content (XXH3-128 of its XML,
//                                            lowercase): a part that would not change
//                                            keeps its name and its file
//   nubika_sitemap-<YYYYMMDDhhmmss>-<n>.xml  a part as earlier versions named them
//   .nubika_sitemap.tmp-<pid>-<8 hex digits> a file being written, by process <pid>;
//                                            the digits random, lowercase
namespace SitemapFiles {

constexpr std::string_view kSitemap = "nubika_sitemap.xml";

// What a temporary file's name starts with, before "<pid>-<8 hex digits>".
constexpr std::string_view kTemporaryPrefix = ".nubika_sitemap.tmp-";

// "nubika_sitemap-<16 hex digits>.xml", or ".xml.gz", for a part's XML.
std::string PartName(std::string_view xml, bool gzip);
// The same, from the digest of the part's XML.
std::string PartName(const ContentHash::Value& digest, bool gzip);
// A name of one of the parts' patterns, exactly.
bool IsPart(std::string_view name);
// A name of the temporary files' form, exactly: no user's file (a backup
// such as ".nubika_sitemap.xml.backup") is ever taken for one. Only a run
// that holds the folder's lock may remove these.
bool IsTemporary(std::string_view name);
// The sitemap, a part or a temporary file of the program's.
bool IsOwn(std::string_view name);

}  // namespace SitemapFiles
