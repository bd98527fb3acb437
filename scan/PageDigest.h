#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "io/ContentHash.h"

// What a page's content is, as 128 bits of XXH3: two pages with the same
// digest are taken to be the same page.
//
//   kBytes  the file's bytes.
//   kText   what a reader of the page sees: the title, the meta
//           description, and the text of the page's <main> when it has
//           exactly one, else of its <body>; script, style and template
//           elements and comments left out, every run of white space one
//           space. So a new footer, a renamed asset or a reformatted
//           template leaves a page with one <main> as it was. The page
//           is read by an HTML5 tokenizer (character references stay as
//           written) in one pass, without building its tree.
class PageDigest {
 public:
  enum class Kind { kBytes, kText };
  using Value = ContentHash::Value;

  static Value Of(std::string_view content, Kind kind);
  // The text kText hashes, for tests and for the curious: the title, the
  // description and the text, each followed by a line feed.
  static std::string ReaderText(std::string_view html);

  // Reads the regular file at path, relative to the open folder (never
  // waiting on a FIFO or a device), and digests it. On failure error says why.
  static bool OfFile(int folder, const std::string& path, Kind kind, Value* value, std::string* error);
};
