#include "scan/PageHead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

struct Fed {
  std::optional<bool> noindex;
  std::size_t taken = 0;  // bytes of the page given when the answer came
};

// Gives the page in pieces of one size, each call with all the text so far.
Fed FeedInPieces(const std::string& page, std::size_t piece) {
  PageHead head;
  for (std::size_t size = std::min(piece, page.size());; size = std::min(size + piece, page.size())) {
    const bool complete = size == page.size();
    if (const std::optional<bool> answer = head.SaysNoindex(std::string_view(page).substr(0, size), complete))
      return {answer, size};
    if (complete) return {};
  }
}

// The page in UTF-16 with its byte order mark; the page is ASCII but for
// the "\u{...}" escapes written as such.
std::string Utf16(const std::string& ascii, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  const auto unit = [&](unsigned u) {
    const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  };
  for (std::size_t i = 0; i < ascii.size(); ++i) {
    if (ascii.compare(i, 3, "\\u{") == 0) {
      const std::size_t close = ascii.find('}', i);
      const unsigned c = std::stoul(ascii.substr(i + 3, close - i - 3), nullptr, 16);
      if (c >= 0x10000) {
        unit(0xD800 + ((c - 0x10000) >> 10));
        unit(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        unit(c);
      }
      i = close;
    } else {
      unit(static_cast<unsigned char>(ascii[i]));
    }
  }
  return out;
}

// Neither where the pieces end nor how many there are may change the
// answer, and once a start tag has begun the body and the words the
// answer turns on have come, it must not wait for the rest.
TEST(PageHeadTest, AnswersAlikeWhereverThePiecesEnd) {
  const std::string meta = "<meta name=robots content=noindex>";
  const std::string body = "<p>" + std::string(3000, 'x') + "</p></body></html>";
  std::string falseSigns;
  for (int i = 0; i < 10; ++i) falseSigns += "<template><div>t</div></template>";
  struct Case {
    std::string page;
    bool noindex;
    std::string answeredBy;  // no text after its last occurrence is needed; empty: all may be
  };
  std::vector<Case> cases = {
      {"<html><head><script>var s = '</head><body>';</script><!-- <body> -->" + meta + "</head>" + body, true,
       "<p>"},
      {"<title>t</title>" + meta + "<body>" + body, true, "<body>"},
      // The parser moves a meta between the head and the body into the head.
      {"<html><HEAD><title>t</title></HEAD>" + meta + "<body>" + body, true, "<body>"},
      {"<html><head><title>t</title></head><BODY class=a>" + meta + body, false, meta},
      // The words outside any meta tag: no parse, the body's first tag answers.
      {"<head><title>About robots</title></head><body>Our pages say noindex to none." + body, false, "<body>"},
      // Tags that leave the head as it was: one in a template, one the parser
      // reads as a script's text, and one gumbo keeps in the head.
      {"<head><template><p>t</p></template>" + meta + "<body>" + body, true, "<body>"},
      {"<head><script><!--<script></script><p></script>" + meta + "<body>" + body, true, "<body>"},
      {"<head><menuitem>" + meta + "<body>" + body, true, "<body>"},
      // Where such a script ends for the parser, the tokenizer may be in a
      // comment or a title: the parser answers.
      {"<head><script><!--<script></script><p><!--</script>" + meta + "<body>" + body, true, ""},
      {"<head><script><!--<script></script><title></script>" + meta + "</title><body>" + body, true, "<body>"},
      // Words and a character reference cut anywhere.
      {"<html><head><meta name=\"googl&#x0000065;bot\" content=\"nofollow, NONE\"></head>" + body, true, "<p>"},
      // A NUL before an attribute's name starts the name and adds nothing to
      // it; a second one is part of the name, so the later content counts.
      {"<meta name=robots \0content=nofollow content=noindex><body>"s + body, false, "<body>"},
      {"<meta name=robots \0\0content=nofollow content=noindex><body>"s + body, true, "<body>"},
      // More false signs than the parser is asked about: the whole text decides.
      {"<html><head>" + falseSigns + meta + "</head>" + body, true, ""},
      {"<html><head>" + falseSigns + "</head><p>t</p>" + meta + body, false, ""},
  };
  // Pieces may end inside a code unit or between the two of a pair.
  for (const bool bigEndian : {false, true})
    cases.push_back({Utf16("<title>\\u{1F600}\\u{65E5}</title>" + meta + "<body>" + body, bigEndian), true,
                     Utf16("<body>", bigEndian).substr(2)});
  for (const Case& c : cases) {
    const std::size_t needed =
        c.answeredBy.empty() ? c.page.size() : c.page.rfind(c.answeredBy) + c.answeredBy.size();
    for (std::size_t piece = 1; piece <= 64; ++piece) {
      const Fed fed = FeedInPieces(c.page, piece);
      EXPECT_EQ(fed.noindex, c.noindex) << "pieces of " << piece << ": " << c.page.substr(0, 80);
      EXPECT_LT(fed.taken, needed + piece) << "pieces of " << piece << ": " << c.page.substr(0, 80);
    }
  }
}

// The byte order mark decides the encoding, as in a browser; a surrogate
// without its partner is a replacement character, which is text and so
// starts the body.
TEST(PageHeadTest, ReadsUtf16PagesByTheirByteOrderMark) {
  const std::string meta = "<meta name=robots content=noindex>";
  struct Case {
    std::string page;
    bool noindex;
  };
  std::vector<Case> cases;
  for (const bool bigEndian : {false, true}) {
    const std::vector<Case> forOrder = {
        {Utf16("<!DOCTYPE html><html><head><title>\\u{65E5}\\u{1F600}</title>" + meta + "</head><body>", bigEndian),
         true},
        {Utf16("<head><meta name=\"&#114;obots\" content=\"no&#x69;ndex\">", bigEndian), true},
        {Utf16("<head><!-- " + meta + " --></head>", bigEndian), false},
        {Utf16("<head><title>t</title></head><p>t</p>" + meta, bigEndian), false},
        // A lone lead surrogate and a lone trail surrogate before the meta.
        {Utf16("\\u{D800}" + meta, bigEndian), false},
        {Utf16("\\u{DC00}" + meta, bigEndian), false},
        {Utf16("<title>\\u{D800}</title>" + meta, bigEndian), true},
        // A last odd byte.
        {Utf16(meta, bigEndian) + "x", true},
    };
    cases.insert(cases.end(), forOrder.begin(), forOrder.end());
  }
  // Without a mark, UTF-16 is read as bytes: the meta's letters are apart.
  cases.push_back({Utf16(meta, false).substr(2), false});
  // The mark of the other order: each unit is read with its bytes swapped.
  cases.push_back({"\xFE\xFF" + Utf16(meta, false).substr(2), false});
  for (const Case& c : cases) {
    for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, c.page.size()})
      EXPECT_EQ(FeedInPieces(c.page, piece).noindex, c.noindex) << "pieces of " << piece << ": " << c.page;
  }
}

}  // namespace

namespace {

std::optional<PageHead::Answer> ReadInPieces(const std::string& page, std::size_t piece, PageHead::Wanted wanted) {
  PageHead head(wanted);
  for (std::size_t size = std::min(piece, page.size());; size = std::min(size + piece, page.size())) {
    const bool complete = size == page.size();
    if (auto answer = head.Read(std::string_view(page).substr(0, size), complete)) return answer;
    if (complete) return std::nullopt;
  }
}

// Links count where meta tags count: in the head as the parser builds it,
// outside templates, the first canonical and base alone.
TEST(PageHeadTest, FindsTheHeadsLinksAsTheParserPlacesThem) {
  const std::string body = "<body><p>" + std::string(2000, 'x') + "</p>";
  const std::string canonical = "<link rel=canonical href=/c.html>";
  using Alt = HeadLinks::Alternate;
  struct Case {
    std::string page;
    HeadLinks links;
  };
  const std::vector<Case> cases = {
      {"<head><link rel=stylesheet href=s.css></head>" + body, {}},
      {"<head>" + canonical + "<link rel=\"canonical\" href=\"/second.html\"></head>" + body, {"/c.html", {}, {}}},
      {"<head><link REL=\"Canonical Other\" href=\"a&amp;b\"></head>" + body, {"a&b", {}, {}}},
      {"<head><link rel=c&#x61;nonical href=x></head>" + body, {"x", {}, {}}},
      {"<head><link rel=canonical></head>" + body, {}},  // no href: nothing
      {"<head><base target=_top><base href=\"/en/\"><base href=/fr/>" + canonical + "</head>" + body,
       {"/c.html", {}, "/en/"}},
      {"<head><link rel=alternate hreflang=en href=/en/><link rel=alternate href=feed.xml type=application/rss+xml>"
       "<link rel=\"alternate\" hreflang=\"x-default\" href=\"/\"><link hreflang=ja rel=alternate href=/ja/></head>" +
           body,
       {std::nullopt, {Alt{"en", "/en/"}, Alt{"x-default", "/"}, Alt{"ja", "/ja/"}}, std::nullopt}},
      // In a template, in the body, after text that began the body, in a comment: not in the head.
      {"<head><template>" + canonical + "</template></head>" + body, {}},
      {"<head></head>" + body + canonical, {}},
      {"<head><title>t</title>words" + canonical + body, {}},
      {"<head><!--" + canonical + "--></head>" + body, {}},
      // Between the head and the body the parser moves it into the head.
      {"<head></head>" + canonical + body, {"/c.html", {}, {}}},
      // Implied head; a head cut off by the end of the page.
      {canonical + body, {"/c.html", {}, {}}},
      {"<html><head>" + canonical, {"/c.html", {}, {}}},
      // What the parser changes in a value: a control or a NUL becomes
      // U+FFFD, a CR LF one LF; a raw UTF-8 value stays.
      {"<head><link rel=canonical href=/a\x03" "b></head>" + body, {"/a\xEF\xBF\xBD" "b", {}, {}}},
      {std::string("<head><link rel=canonical href=\"/a") + '\0' + "b\"></head>" + body, {"/a\xEF\xBF\xBD" "b", {}, {}}},
      {"<head><link rel=canonical href=\"/a\r\nb\"></head>" + body, {"/a\nb", {}, {}}},
      {"<head><link rel=canonical href=/\xE3\x83\x9A\xFF></head>" + body, {"/\xE3\x83\x9A\xEF\xBF\xBD", {}, {}}},
      {"<head><title><link rel=canonical href=/t></title><noscript>" + canonical + "</noscript></head>" + body,
       {"/c.html", {}, {}}},
  };
  for (const Case& c : cases) {
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, c.page.size()}) {
      const auto answer = ReadInPieces(c.page, piece, {.noindex = false, .links = true});
      ASSERT_TRUE(answer) << c.page;
      EXPECT_EQ(answer->links, c.links) << "pieces of " << piece << ": " << c.page.substr(0, 120);
    }
  }
  // Asked only for noindex, a page's links are not looked for; asked for
  // both, both come from one reading.
  const std::string both = "<head><meta name=robots content=noindex>" + canonical + "</head>" + body;
  EXPECT_EQ(ReadInPieces(both, 5, {})->links, HeadLinks{});
  EXPECT_EQ(ReadInPieces(both, 5, {.noindex = false, .links = true})->noindex, false);
  const auto answer = ReadInPieces(both, 5, {.noindex = true, .links = true});
  EXPECT_TRUE(answer->noindex);
  EXPECT_EQ(answer->links.canonical, "/c.html");
}

}  // namespace
