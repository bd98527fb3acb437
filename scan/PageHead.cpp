#include "scan/PageHead.h"
#include "text/AsciiText.h"

#include <gumbo.h>

#include <array>
#include <memory>
#include <utility>

namespace {

using AsciiText::EqualsIgnoringCase;
using AsciiText::TrimHtmlSpace;

bool IsRobotsName(std::string_view name) {
  name = TrimHtmlSpace(name);
  return EqualsIgnoringCase(name, "robots") || EqualsIgnoringCase(name, "googlebot");
}

bool ContentSaysNoindex(std::string_view content) {
  for (;;) {
    const std::size_t comma = content.find(',');
    const std::string_view token = TrimHtmlSpace(content.substr(0, comma));
    if (EqualsIgnoringCase(token, "noindex") || EqualsIgnoringCase(token, "none")) return true;
    if (comma == std::string_view::npos) return false;
    content.remove_prefix(comma + 1);
  }
}

bool MetaSaysNoindex(const GumboElement& meta) {
  const GumboAttribute* name = gumbo_get_attribute(&meta.attributes, "name");
  const GumboAttribute* content = gumbo_get_attribute(&meta.attributes, "content");
  return name && content && IsRobotsName(name->value) && ContentSaysNoindex(content->value);
}

// The space-separated tokens of a rel attribute, in any case.
bool RelHolds(std::string_view rel, std::string_view token) {
  for (;;) {
    while (!rel.empty() && AsciiText::IsHtmlSpace(rel.front())) rel.remove_prefix(1);
    if (rel.empty()) return false;
    std::size_t end = 0;
    while (end < rel.size() && !AsciiText::IsHtmlSpace(rel[end])) ++end;
    if (EqualsIgnoringCase(rel.substr(0, end), token)) return true;
    rel.remove_prefix(end);
  }
}

void NoteLink(const GumboElement& link, HeadLinks* links) {
  const GumboAttribute* rel = gumbo_get_attribute(&link.attributes, "rel");
  const GumboAttribute* href = gumbo_get_attribute(&link.attributes, "href");
  if (!rel || !href) return;
  if (!links->canonical && RelHolds(rel->value, "canonical")) links->canonical = href->value;
  if (RelHolds(rel->value, "alternate"))
    if (const GumboAttribute* hreflang = gumbo_get_attribute(&link.attributes, "hreflang"))
      links->alternates.push_back({hreflang->value, href->value});
}

struct HeadVerdict {
  PageHead::Answer answer;
  // The body (or a frameset) has begun: more text cannot change the answer.
  bool headOver = false;
};

// A <template> is a node of its own type, so its inert content is passed by.
void Gather(const GumboElement& parent, PageHead::Wanted wanted, PageHead::Answer* answer) {
  for (unsigned i = 0; i < parent.children.length; ++i) {
    const auto* child = static_cast<const GumboNode*>(parent.children.data[i]);
    if (child->type != GUMBO_NODE_ELEMENT) continue;
    const GumboElement& element = child->v.element;
    if (element.tag == GUMBO_TAG_META) {
      answer->noindex = answer->noindex || (wanted.noindex && MetaSaysNoindex(element));
    } else if (element.tag == GUMBO_TAG_LINK) {
      if (wanted.links) NoteLink(element, &answer->links);
    } else if (element.tag == GUMBO_TAG_BASE) {
      const GumboAttribute* href = gumbo_get_attribute(&element.attributes, "href");
      if (wanted.links && href && !answer->links.base) answer->links.base = href->value;
    } else {
      Gather(element, wanted, answer);
    }
  }
}

struct OutputDeleter {
  void operator()(GumboOutput* output) const { gumbo_destroy_output(&kGumboDefaultOptions, output); }
};

// The parser puts a meta that comes between </head> and the body into the
// head, and so does this reader. The body it implies at the end of the
// text starts there; one that starts before it was begun by the text.
HeadVerdict Examine(std::string_view html, PageHead::Wanted wanted) {
  // The errors are never looked at, but gumbo must keep them: told to keep
  // none, it runs a duplicate attribute's name into the next one's
  // ("name content=noindex" after a first name gives "namecontent").
  const std::unique_ptr<GumboOutput, OutputDeleter> output(
      gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size()));
  HeadVerdict verdict;
  const GumboVector& children = output->root->v.element.children;
  for (unsigned i = 0; i < children.length; ++i) {
    const auto* child = static_cast<const GumboNode*>(children.data[i]);
    if (child->type != GUMBO_NODE_ELEMENT) continue;
    if (child->v.element.tag == GUMBO_TAG_HEAD)
      Gather(child->v.element, wanted, &verdict.answer);
    else if (child->v.element.start_pos.offset < html.size())
      verdict.headOver = true;
  }
  // A base that no link resolves against is not kept.
  if (verdict.answer.links.empty()) verdict.answer.links.base.reset();
  return verdict;
}

// A meta tag whose name and content could make it a refusal: exactly, or,
// where a character reference could spell a word, possibly.
bool MetaMayRefuse(const PageHeadTokenizer& tokenizer) {
  const PageHeadTokenizer::Attribute* name = tokenizer.Find("name");
  const PageHeadTokenizer::Attribute* content = tokenizer.Find("content");
  if (!name || !content) return false;
  const auto hasReference = [](std::string_view value) { return value.find('&') != std::string_view::npos; };
  return (hasReference(name->value) || IsRobotsName(name->value)) &&
         (hasReference(content->value) || ContentSaysNoindex(content->value));
}

// A link tag that could be a canonical or a language version.
bool LinkMayCount(const PageHeadTokenizer& tokenizer) {
  const PageHeadTokenizer::Attribute* rel = tokenizer.Find("rel");
  if (!rel || !tokenizer.Find("href")) return false;
  return rel->value.find('&') != std::string_view::npos || RelHolds(rel->value, "canonical") ||
         (tokenizer.Find("hreflang") && RelHolds(rel->value, "alternate"));
}

// Appends the UTF-16 code units of bytes[from, size) as UTF-8, as a browser
// decodes them: a surrogate without its partner becomes U+FFFD, and so does
// a last odd byte. A lead surrogate that may yet get its partner stays
// unread until more has come. Returns where decoding stopped.
// (iconv would refuse the lone surrogates instead of replacing them.)
std::size_t DecodeUtf16(std::string_view bytes, std::size_t from, bool bigEndian, bool complete, std::string* out) {
  const auto unit = [&](std::size_t at) -> char32_t {
    const auto b0 = static_cast<unsigned char>(bytes[at]), b1 = static_cast<unsigned char>(bytes[at + 1]);
    return bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
  };
  const auto append = [out](char32_t c) {
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out->push_back(static_cast<char>(0xC0 | c >> 6));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | c >> 12));
      out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | c >> 18));
      out->push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  };
  constexpr char32_t kReplacement = 0xFFFD;
  std::size_t i = from;
  for (; i + 1 < bytes.size(); i += 2) {
    const char32_t c = unit(i);
    if (c < 0xD800 || c > 0xDFFF) {
      append(c);
    } else if (c >= 0xDC00) {
      append(kReplacement);
    } else if (i + 3 < bytes.size()) {
      const char32_t trail = unit(i + 2);
      if (trail >= 0xDC00 && trail <= 0xDFFF) {
        append(0x10000 + ((c - 0xD800) << 10) + (trail - 0xDC00));
        i += 2;
      } else {
        append(kReplacement);  // the next unit is read on its own
      }
    } else if (complete) {
      append(kReplacement);  // with an odd byte after it, still one error
      return bytes.size();
    } else {
      return i;
    }
  }
  if (complete && i < bytes.size()) {
    append(kReplacement);
    i = bytes.size();
  }
  return i;
}

}  // namespace

std::optional<PageHead::Answer> PageHead::Read(std::string_view textSoFar, bool complete) {
  const std::optional<std::string_view> decoded = Decode(textSoFar, complete);
  if (!decoded) return std::nullopt;
  const std::string_view text = *decoded;
  for (;;) {
    if (MayCount() && signEnd_ != 0) {
      const std::size_t end = std::exchange(signEnd_, 0);
      if (parsesLeft_ > 0) {
        --parsesLeft_;
        HeadVerdict verdict = Examine(text.substr(0, end), wanted_);
        if (verdict.headOver) return std::move(verdict.answer);
      }
    }
    const PageHeadTokenizer::Step step = tokenizer_.Next(text, complete);
    if (step == PageHeadTokenizer::Step::kText || step == PageHeadTokenizer::Step::kEndTag) {
      NoteForPlainHead(step);
      continue;
    }
    if (step != PageHeadTokenizer::Step::kStartTag) break;
    NoteForPlainHead(step);
    NoteStartTag();
    if (headOverWithoutRefusal_) return Answer{};
    // The first tag that ends a plain head: its tokens have told it all.
    if (plain_ && signEnd_ != 0) {
      if (plainAnswer_.links.empty()) plainAnswer_.links.base.reset();
      return std::move(plainAnswer_);
    }
  }
  if (!complete) return std::nullopt;
  if (!MayCount()) return Answer{};
  return std::move(Examine(text, wanted_).answer);
}

namespace {

// Whether the parser keeps the text as it is: no character reference to
// decode, no CR to turn into LF, nothing it replaces with U+FFFD (NUL,
// ill-formed UTF-8, the controls other than white space, noncharacters).
// ASCII, which most values are, is told by a table; the rest is decoded.
constexpr std::array<bool, 0x80> kPlainAscii = [] {
  std::array<bool, 0x80> plain{};
  for (int c = 0x20; c < 0x7F; ++c) plain[c] = c != '&';
  for (const char space : {' ', '\t', '\n', '\f'}) plain[static_cast<unsigned char>(space)] = true;
  return plain;
}();

bool IsPlainText(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      if (!kPlainAscii[byte]) return false;
      ++at;
      continue;
    }
    char32_t c = 0;
    const std::size_t size = AsciiText::DecodeUtf8(text, at, &c);
    if (size == 0 || c == '&' || c == '\r' || (c < 0x20 && !AsciiText::IsHtmlSpace(static_cast<char>(c))) ||
        (c >= 0x7F && c <= 0x9F) || (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
      return false;
    at += size;
  }
  return true;
}

// The attribute's value when the parser's would be the same bytes (a
// missing attribute is an empty optional); false when it would not.
bool PlainValue(const PageHeadTokenizer& tokenizer, std::string_view name, std::optional<std::string_view>* value) {
  const PageHeadTokenizer::Attribute* attribute = tokenizer.Find(name);
  if (!attribute) {
    value->reset();
    return true;
  }
  if (!IsPlainText(attribute->value)) return false;
  *value = attribute->value;
  return true;
}

bool IsHtmlSpaceOnly(std::string_view text) {
  for (const char c : text)
    if (!AsciiText::IsHtmlSpace(c)) return false;
  return true;
}

}  // namespace

// A plain head as the parser builds it: every meta, link and base before
// the first tag that ends the head is in it (one after </head> is put
// back into it), since nothing else could have ended it earlier.
void PageHead::NoteForPlainHead(PageHeadTokenizer::Step step) {
  if (!plain_) return;
  const std::string_view name = tokenizer_.lowerTagName();
  if (step == PageHeadTokenizer::Step::kText) {
    // Text elements' content is theirs; other text than white space would
    // start the body.
    const std::string_view element = tokenizer_.textElement();
    plain_ = element == "title" || element == "style" || (element.empty() && IsHtmlSpaceOnly(tokenizer_.text())) ||
             (element == "script" && !tokenizer_.scriptMayHideTags());
    return;
  }
  if (step == PageHeadTokenizer::Step::kEndTag) {
    // </head> and others are passed by; these three would start the body.
    plain_ = name != "body" && name != "html" && name != "br" && !name.empty();
    return;
  }
  static constexpr std::string_view kPlainElements[] = {"html", "head", "title", "style", "script"};
  for (const std::string_view plain : kPlainElements)
    if (name == plain) return;
  std::optional<std::string_view> first, second, third;
  if (name == "meta") {
    plain_ = PlainValue(tokenizer_, "name", &first) && PlainValue(tokenizer_, "content", &second);
    if (plain_ && wanted_.noindex && first && second && IsRobotsName(*first) && ContentSaysNoindex(*second))
      plainAnswer_.noindex = true;
  } else if (name == "link") {
    plain_ = PlainValue(tokenizer_, "rel", &first) && PlainValue(tokenizer_, "href", &second) &&
             PlainValue(tokenizer_, "hreflang", &third);
    if (!plain_ || !first || !second) return;
    HeadLinks& links = plainAnswer_.links;
    if (!links.canonical && RelHolds(*first, "canonical")) links.canonical = std::string(*second);
    if (!third || !RelHolds(*first, "alternate")) return;
    // A page that has language versions mostly has a few: room for them
    // at once rather than growing one by one.
    if (links.alternates.empty()) links.alternates.reserve(4);
    links.alternates.push_back({std::string(*third), std::string(*second)});
  } else if (name == "base") {
    plain_ = PlainValue(tokenizer_, "href", &first);
    if (plain_ && first && !plainAnswer_.links.base) plainAnswer_.links.base = std::string(*first);
  } else {
    // Any other element of the head (template, noscript, noframes, ...)
    // is the parser's to place; a tag of the body ends a plain head.
    static constexpr std::string_view kOtherHeadElements[] = {"basefont", "bgsound", "menuitem", "noframes",
                                                              "noscript", "template"};
    for (const std::string_view other : kOtherHeadElements)
      if (name == other) plain_ = false;
    plain_ = plain_ && !name.empty() && !tokenizer_.scriptMayHideTags();
  }
}

// Past a script that may hide tags the tokenizer can have taken for a
// comment, an attribute or a title what the parser reads as tags: only
// the parser can tell then.
bool PageHead::MayCount() const { return mayCount_ || tokenizer_.scriptMayHideTags(); }

// Only a meta start tag can say noindex, only a link tag can be a link
// asked for, and only a start tag of an element that has no place in the
// head tells that the head may be over: the parser is asked at the first
// such tag after a meta or link that may count, or at the last one before
// it. Before any such meta or link, the first one answers at once unless
// a template could hold it.
void PageHead::NoteStartTag() {
  // As gumbo has them, with menuitem from an older draft of HTML.
  static constexpr std::string_view kHeadElements[] = {"base",     "basefont", "bgsound", "head",  "html",
                                                       "link",     "menuitem", "noframes", "noscript",
                                                       "script",   "style",    "title"};
  const std::string_view name = tokenizer_.lowerTagName();
  if (name == "meta") {
    mayCount_ = mayCount_ || (wanted_.noindex && MetaMayRefuse(tokenizer_));
    return;
  }
  if (name == "link") {
    mayCount_ = mayCount_ || (wanted_.links && LinkMayCount(tokenizer_));
    return;
  }
  if (name == "template") {
    templateSeen_ = true;
    return;
  }
  for (const std::string_view headElement : kHeadElements)
    if (name == headElement) return;
  signEnd_ = tokenizer_.tagEnd();
  // Outside a template such a tag ends the head for sure, unless a script
  // could have hidden it from the parser.
  headOverWithoutRefusal_ = !mayCount_ && !templateSeen_ && !tokenizer_.scriptMayHideTags();
}

std::optional<std::string_view> PageHead::Decode(std::string_view bytes, bool complete) {
  constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF", kUtf16LeBom = "\xFF\xFE", kUtf16BeBom = "\xFE\xFF";
  if (encoding_ == Encoding::kUnknown) {
    for (const std::string_view bom : {kUtf8Bom, kUtf16LeBom, kUtf16BeBom})
      if (!complete && bytes.size() < bom.size() && bom.starts_with(bytes)) return std::nullopt;
    encoding_ = bytes.starts_with(kUtf16LeBom)   ? Encoding::kUtf16Le
                : bytes.starts_with(kUtf16BeBom) ? Encoding::kUtf16Be
                                                 : Encoding::kUtf8;
    utf16BytesDecoded_ = kUtf16LeBom.size();
  }
  if (encoding_ == Encoding::kUtf8) return bytes.starts_with(kUtf8Bom) ? bytes.substr(kUtf8Bom.size()) : bytes;
  utf16BytesDecoded_ =
      DecodeUtf16(bytes, utf16BytesDecoded_, encoding_ == Encoding::kUtf16Be, complete, &utf16Decoded_);
  return std::string_view(utf16Decoded_);
}
