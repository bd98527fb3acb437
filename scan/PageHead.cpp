#include "scan/PageHead.h"

#include <gumbo.h>

#include <algorithm>
#include <memory>

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

std::string_view TrimAsciiSpace(std::string_view text) {
  while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
  return text;
}

// By hand rather than by tolower: under a Turkish locale "NOINDEX" would
// not lower-case to "noindex".
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
    const char c = text[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != lowerPrefix[i]) return false;
  }
  return true;
}

bool EqualsIgnoringAsciiCase(std::string_view text, std::string_view lower) {
  return text.size() == lower.size() && StartsWithIgnoringAsciiCase(text, lower);
}

bool IsRobotsName(std::string_view name) {
  name = TrimAsciiSpace(name);
  return EqualsIgnoringAsciiCase(name, "robots") || EqualsIgnoringAsciiCase(name, "googlebot");
}

bool ContentSaysNoindex(std::string_view content) {
  for (;;) {
    const std::size_t comma = content.find(',');
    const std::string_view token = TrimAsciiSpace(content.substr(0, comma));
    if (EqualsIgnoringAsciiCase(token, "noindex") || EqualsIgnoringAsciiCase(token, "none")) return true;
    if (comma == std::string_view::npos) return false;
    content.remove_prefix(comma + 1);
  }
}

bool MetaSaysNoindex(const GumboElement& meta) {
  const GumboAttribute* name = gumbo_get_attribute(&meta.attributes, "name");
  const GumboAttribute* content = gumbo_get_attribute(&meta.attributes, "content");
  return name && content && IsRobotsName(name->value) && ContentSaysNoindex(content->value);
}

// The parser moves a meta that comes between </head> and the body back into
// the head; starting at or after headEnd gives it away as not the head's.
// A <template> is a node of its own type, so its inert content is passed by.
bool AnyMetaSaysNoindex(const GumboElement& parent, unsigned headEnd) {
  for (unsigned i = 0; i < parent.children.length; ++i) {
    const auto* child = static_cast<const GumboNode*>(parent.children.data[i]);
    if (child->type != GUMBO_NODE_ELEMENT) continue;
    const GumboElement& element = child->v.element;
    if (element.start_pos.offset >= headEnd) continue;
    if (element.tag == GUMBO_TAG_META ? MetaSaysNoindex(element) : AnyMetaSaysNoindex(element, headEnd))
      return true;
  }
  return false;
}

const GumboElement* FindHead(const GumboOutput& output) {
  const GumboVector& children = output.root->v.element.children;
  for (unsigned i = 0; i < children.length; ++i) {
    const auto* child = static_cast<const GumboNode*>(children.data[i]);
    if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_HEAD) return &child->v.element;
  }
  return nullptr;
}

struct OutputDeleter {
  void operator()(GumboOutput* output) const { gumbo_destroy_output(&kGumboDefaultOptions, output); }
};

struct HeadVerdict {
  bool noindex = false;
  // Something in the text closed the head; more text cannot change the answer.
  bool headOver = false;
};

HeadVerdict Examine(std::string_view html) {
  if (html.starts_with(kUtf8Bom)) html.remove_prefix(kUtf8Bom.size());
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;  // never looked at; not keeping them saves allocations
  const std::unique_ptr<GumboOutput, OutputDeleter> output(
      gumbo_parse_with_options(&options, html.data(), html.size()));
  const GumboElement* head = FindHead(*output);
  if (!head) return {};
  // The head's end is where the token that closed it starts; only the end
  // of the text leaves it at the text's length.
  const unsigned headEnd = head->end_pos.offset;
  return {AnyMetaSaysNoindex(*head, headEnd), headEnd < html.size()};
}

// An attribute can spell "robots" or "noindex" without holding the word,
// with numeric character references (no named one gives these letters).
// A reference cut off by the end of the text may yet be one.
bool MayBeLetterReference(std::string_view text, std::size_t ampersand) {
  std::size_t i = ampersand + 2;
  const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
  if (hex) ++i;
  unsigned value = 0;
  for (; i < text.size(); ++i) {
    const char c = static_cast<char>(text[i] | 0x20);
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (!digit && !(hex && c >= 'a' && c <= 'f')) break;
    value = std::min(value * (hex ? 16 : 10) + (digit ? text[i] - '0' : c - 'a' + 10), 0x110000u);
  }
  if (i == text.size()) return true;
  return (value >= 'A' && value <= 'Z') || (value >= 'a' && value <= 'z');
}

bool HoldsLetterReference(std::string_view text) {
  for (std::size_t amp = text.find("&#"); amp != std::string_view::npos; amp = text.find("&#", amp + 1))
    if (MayBeLetterReference(text, amp)) return true;
  return false;
}

bool ContainsIgnoringAsciiCase(std::string_view text, std::string_view lowerWord) {
  for (const char first : {lowerWord[0], static_cast<char>(lowerWord[0] - 'a' + 'A')}) {
    for (std::size_t at = text.find(first); at != std::string_view::npos; at = text.find(first, at + 1))
      if (StartsWithIgnoringAsciiCase(text.substr(at), lowerWord)) return true;
  }
  return false;
}

bool EndsTagName(char c) { return IsAsciiSpace(c) || c == '/' || c == '>'; }

bool IsTagAt(std::string_view text, std::size_t at, std::string_view lowerStart) {
  const std::size_t end = at + lowerStart.size();
  return end < text.size() && StartsWithIgnoringAsciiCase(text.substr(at), lowerStart) && EndsTagName(text[end]);
}

// Where a start tag that begins at lt ends: after its ">", which does not
// count inside a quoted attribute value; npos when the text ends first.
std::size_t TagEnd(std::string_view text, std::size_t lt) {
  char quote = 0;
  for (std::size_t i = lt + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

// A cheap sign that the head may be over: a "</head" or "<body" tag in any
// case, starting at or after `from` and with its name whole in the text.
std::size_t FindHeadEndSign(std::string_view text, std::size_t from) {
  for (std::size_t lt = text.find('<', from); lt != std::string_view::npos; lt = text.find('<', lt + 1)) {
    if (IsTagAt(text, lt, "</head") || IsTagAt(text, lt, "<body")) return lt;
  }
  return std::string_view::npos;
}
constexpr std::size_t kLongestSign = 7;  // "</head" and the byte that ends the name

}  // namespace

std::optional<bool> PageHead::SaysNoindex(std::string_view textSoFar, bool complete) {
  if (!MayHoldBothWords(textSoFar)) return complete ? std::optional<bool>(false) : std::nullopt;
  if (const std::optional<bool> answer = AnswerAtHeadEnd(textSoFar)) return answer;
  if (complete) return Examine(textSoFar).noindex;
  return std::nullopt;
}

// Only a meta start tag can say noindex, so only the text of such tags is
// searched for the words; the page's own text, however long, is skipped at
// the speed of a search for "<". A tag cut off by the end of the text is
// looked at again once more has come.
bool PageHead::MayHoldBothWords(std::string_view text) {
  while (!metaMayRefuse_) {
    const std::size_t lt = text.find('<', metaFrom_);
    if (lt == std::string_view::npos) {
      metaFrom_ = text.size();
      return false;
    }
    if (lt + 5 >= text.size()) {  // too short yet to tell a meta tag
      metaFrom_ = lt;
      return false;
    }
    if (!IsTagAt(text, lt, "<meta")) {
      metaFrom_ = lt + 1;
      continue;
    }
    const std::size_t end = TagEnd(text, lt);
    if (end == std::string_view::npos) {
      metaFrom_ = lt;
      return false;
    }
    const std::string_view tag = text.substr(lt, end - lt);
    const bool reference = HoldsLetterReference(tag);
    metaMayRefuse_ = (reference || ContainsIgnoringAsciiCase(tag, "robots") ||
                      ContainsIgnoringAsciiCase(tag, "googlebot")) &&
                     (reference || ContainsIgnoringAsciiCase(tag, "noindex") || ContainsIgnoringAsciiCase(tag, "none"));
    metaFrom_ = end;
  }
  return true;
}

// The parser sees the text only up to the end of a sign's tag, so a tag cut
// off by the end of the text never passes for body content.
std::optional<bool> PageHead::AnswerAtHeadEnd(std::string_view text) {
  for (;;) {
    const std::size_t sign = FindHeadEndSign(text, signFrom_);
    if (sign == std::string_view::npos) {
      signFrom_ = std::max(signFrom_, text.size() - std::min(text.size(), kLongestSign - 1));
      return std::nullopt;
    }
    const std::size_t tagEnd = text.find('>', sign);
    if (tagEnd == std::string_view::npos) {
      signFrom_ = sign;
      return std::nullopt;
    }
    signFrom_ = sign + 1;
    if (parsesLeft_ == 0) return std::nullopt;
    --parsesLeft_;
    const HeadVerdict verdict = Examine(text.substr(0, tagEnd + 1));
    if (verdict.headOver) return verdict.noindex;
  }
}
