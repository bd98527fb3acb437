#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "scan/HeadLinks.h"
#include "scan/PageHeadTokenizer.h"

// The head of one page whose text arrives piece by piece, as it is read:
// tells whether the head says noindex to robots (see RobotsMeta) and, when
// asked, what its <link> and <base> elements say (HeadLinks), as soon as
// the text so far settles it, so that reading can stop there. A link
// element counts where a meta tag counts: in the head as an HTML5 parser
// builds it, outside a template.
//
// The bytes are decoded as a browser decodes them before it has seen a
// charset: a UTF-16 byte order mark (little or big endian) makes the page
// UTF-16, a UTF-8 one is dropped, anything else is read as it is.
//
// The HTML5 parser is slow next to reading, so it is kept to a minimum.
// The tokenizer reads the meta tags first: a page none of whose meta tags
// pairs a name (robots, googlebot) with a refusal (noindex, none), none
// of whose link tags, when links are asked for, has an href and a rel of
// canonical, or of alternate with an hreflang (a value with a character
// reference in it counts as a possible match), and none of whose scripts
// may hide tags from the tokenizer (see PageHeadTokenizer), is answered
// without the parser. Such a page is answered at the first start tag that
// cannot stand in the head (<body>, <p>, ...), which ends the head unless
// a template or a script could hide it from the parser; then the
// page is read to its end or the limit, which costs less than parsing its
// head. Otherwise the parser reads the text up to such a tag, never the
// rest of the body after it, and says whether the head was over there and
// what its meta tags say.
//
// Asked for links, which most pages have, the reader also follows every
// token and answers without the parser a head as plain as most: before that
// first tag only the html, head, meta, link, base, title, style and script
// elements and white space, no script that may hide tags, and no character
// reference, NUL or CR in the attributes it reads. Such a head is the
// parser's to the letter; anything else goes to the parser as above.
class PageHead {
 public:
  // What the caller asks of the head; what it does not ask is not looked
  // for and stays empty in the answer.
  struct Wanted {
    bool noindex = true;
    bool links = false;
  };
  struct Answer {
    bool noindex = false;
    HeadLinks links;
    bool operator==(const Answer&) const = default;
  };

  PageHead() = default;
  explicit PageHead(Wanted wanted)
      : wanted_(wanted),
        tokenizer_(wanted.links ? PageHeadTokenizer::Tokens::kAll : PageHeadTokenizer::Tokens::kStartTags),
        plain_(wanted.links) {}

  // textSoFar starts like every earlier one and is at least as long;
  // complete when no more will come. Answers nullopt while more text
  // could still change the answer; never nullopt when complete.
  std::optional<Answer> Read(std::string_view textSoFar, bool complete);
  std::optional<bool> SaysNoindex(std::string_view textSoFar, bool complete) {
    const std::optional<Answer> answer = Read(textSoFar, complete);
    return answer ? std::optional<bool>(answer->noindex) : std::nullopt;
  }

 private:
  enum class Encoding { kUnknown, kUtf8, kUtf16Le, kUtf16Be };

  // The decoded text so far; nullopt while the first bytes cannot tell the
  // encoding yet.
  std::optional<std::string_view> Decode(std::string_view bytes, bool complete);
  void NoteStartTag();
  bool MayCount() const;
  // What a token says to a plain head (see the class comment); clears
  // plain_ at anything such a head does not hold.
  void NoteForPlainHead(PageHeadTokenizer::Step step);

  Encoding encoding_ = Encoding::kUnknown;
  std::string utf16Decoded_;
  std::size_t utf16BytesDecoded_ = 0;

  Wanted wanted_;
  PageHeadTokenizer tokenizer_;
  // A meta that may refuse, or a link that may count, has been seen: the
  // parser has the last word.
  bool mayCount_ = false;
  bool templateSeen_ = false;
  bool headOverWithoutRefusal_ = false;
  // The end of a start tag not yet given to the parser that may have begun
  // the body; 0 when none.
  std::size_t signEnd_ = 0;
  // Parses left, so that a page full of false signs stays cheap (a <div>
  // in a template does not end the head).
  int parsesLeft_ = 4;
  // The head is plain so far, and what its tokens say.
  bool plain_ = false;
  Answer plainAnswer_;
};
