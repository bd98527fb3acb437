#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "scan/PageHeadTokenizer.h"

// The head of one page whose text arrives piece by piece, as it is read:
// tells whether the head says noindex to robots (see RobotsMeta) as soon
// as the text so far settles it, so that reading can stop there.
//
// The bytes are decoded as a browser decodes them before it has seen a
// charset: a UTF-16 byte order mark (little or big endian) makes the page
// UTF-16, a UTF-8 one is dropped, anything else is read as it is.
//
// The HTML5 parser is slow next to reading, so it is kept to a minimum.
// The tokenizer reads the meta tags first: a page none of whose meta tags
// pairs a name (robots, googlebot) with a refusal (noindex, none) (a
// value with a character reference in it counts as a possible pair), and
// none of whose scripts may hide tags from the tokenizer (see
// PageHeadTokenizer), is answered without the parser. Such a page is
// answered at the first start tag that cannot stand in the head (<body>,
// <p>, ...), which ends the head unless a template or a script could hide
// it from the parser; then the
// page is read to its end or the limit, which costs less than parsing its
// head. Otherwise the parser reads the text up to such a tag, never the
// rest of the body after it, and says whether the head was over there and
// what its meta tags say.
class PageHead {
 public:
  // textSoFar starts like every earlier one and is at least as long;
  // complete when no more will come. Answers nullopt while more text
  // could still change the answer; never nullopt when complete.
  std::optional<bool> SaysNoindex(std::string_view textSoFar, bool complete);

 private:
  enum class Encoding { kUnknown, kUtf8, kUtf16Le, kUtf16Be };

  // The decoded text so far; nullopt while the first bytes cannot tell the
  // encoding yet.
  std::optional<std::string_view> Decode(std::string_view bytes, bool complete);
  void NoteStartTag();
  bool MayRefuse() const;

  Encoding encoding_ = Encoding::kUnknown;
  std::string utf16Decoded_;
  std::size_t utf16BytesDecoded_ = 0;

  PageHeadTokenizer tokenizer_;
  bool metaMayRefuse_ = false;
  bool templateSeen_ = false;
  bool headOverWithoutRefusal_ = false;
  // The end of a start tag not yet given to the parser that may have begun
  // the body; 0 when none.
  std::size_t signEnd_ = 0;
  // Parses left, so that a page full of false signs stays cheap (a <div>
  // in a template does not end the head).
  int parsesLeft_ = 4;
};
