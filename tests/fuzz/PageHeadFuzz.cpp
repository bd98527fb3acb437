// The head reader's answer on any bytes given piece by piece, as a file is
// read: the first byte sets the size of the pieces, the rest is the page.
// The answer must come by the time the page is complete and must be
// gumbo's on the whole page: noindex when some meta in its head, outside a
// template, is named robots or googlebot with noindex or none in its
// content; and, when links are asked for too, the first canonical link and
// base with an href, and every alternate link with an hreflang and href,
// in the head outside a template (the base only when there is a link). Gumbo reads UTF-8
// only, so the page is first decoded as a browser does by its byte order
// mark, here by iconv; iconv refuses ill-formed UTF-16 (a lone surrogate,
// an odd last byte), which alone is left out of the comparison. A page
// that is well-formed UTF-8 is also given to the reader in UTF-16 of
// either byte order, for the same answer. The tokenizer asked for all its
// tokens must find the same start tags, and the text digest's reading must
// end cleanly on any page.

#include <gumbo.h>
#include <iconv.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "scan/PageDigest.h"
#include "scan/PageHead.h"
#include "scan/PageHeadTokenizer.h"

namespace {

// All of input in the other encoding; nullopt when iconv finds it ill-formed.
std::optional<std::string> Convert(std::string_view input, const char* from, const char* to) {
  const iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) std::abort();
  std::string out(input.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  char* outAt = out.data();
  std::size_t outLeft = out.size();
  const bool converted = iconv(converter, &in, &inLeft, &outAt, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(converter);
  if (!converted || inLeft != 0) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

std::optional<std::string> AsBrowserDecodes(std::string_view page) {
  if (page.starts_with("\xFF\xFE")) return Convert(page.substr(2), "UTF-16LE", "UTF-8");
  if (page.starts_with("\xFE\xFF")) return Convert(page.substr(2), "UTF-16BE", "UTF-8");
  if (page.starts_with("\xEF\xBB\xBF")) page.remove_prefix(3);
  return std::string(page);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

std::string Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

bool IsRefusal(const GumboElement& meta) {
  const GumboAttribute* name = gumbo_get_attribute(&meta.attributes, "name");
  const GumboAttribute* content = gumbo_get_attribute(&meta.attributes, "content");
  if (!name || !content) return false;
  const std::string robot = Trimmed(name->value);
  if (robot != "robots" && robot != "googlebot") return false;
  std::string_view tokens = content->value;
  for (;;) {
    const std::size_t comma = tokens.find(',');
    const std::string token = Trimmed(tokens.substr(0, comma));
    if (token == "noindex" || token == "none") return true;
    if (comma == std::string_view::npos) return false;
    tokens.remove_prefix(comma + 1);
  }
}

// The rel attribute's tokens, split at ASCII whitespace, in lower case.
bool RelHolds(std::string_view rel, const std::string& token) {
  std::string word;
  for (std::size_t i = 0; i <= rel.size(); ++i) {
    if (i == rel.size() || IsSpace(rel[i])) {
      if (Trimmed(word) == token) return true;
      word.clear();
    } else {
      word.push_back(rel[i]);
    }
  }
  return false;
}

void Gather(const GumboNode& node, PageHead::Answer* answer) {
  if (node.type != GUMBO_NODE_ELEMENT) return;  // templates are nodes of their own
  const GumboElement& element = node.v.element;
  const auto value = [&](const char* name) -> const char* {
    const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
    return attribute ? attribute->value : nullptr;
  };
  if (element.tag == GUMBO_TAG_META && IsRefusal(element)) answer->noindex = true;
  if (element.tag == GUMBO_TAG_BASE && value("href") && !answer->links.base) answer->links.base = value("href");
  if (element.tag == GUMBO_TAG_LINK && value("rel") && value("href")) {
    if (RelHolds(value("rel"), "canonical") && !answer->links.canonical) answer->links.canonical = value("href");
    if (RelHolds(value("rel"), "alternate") && value("hreflang"))
      answer->links.alternates.push_back({value("hreflang"), value("href")});
  }
  for (unsigned i = 0; i < element.children.length; ++i) Gather(*static_cast<const GumboNode*>(element.children.data[i]), answer);
}

PageHead::Answer GumboSays(const std::string& utf8) {
  GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, utf8.data(), utf8.size());
  PageHead::Answer answer;
  const GumboVector& children = output->root->v.element.children;
  for (unsigned i = 0; i < children.length; ++i) {
    const auto* child = static_cast<const GumboNode*>(children.data[i]);
    if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_HEAD) Gather(*child, &answer);
  }
  gumbo_destroy_output(&kGumboDefaultOptions, output);
  if (answer.links.empty()) answer.links.base.reset();  // a base with no link to serve is not kept
  return answer;
}

std::optional<PageHead::Answer> ReadInPieces(std::string_view page, std::size_t piece, PageHead::Wanted wanted) {
  PageHead head(wanted);
  for (std::size_t read = std::min(piece, page.size());; read = std::min(read + piece, page.size())) {
    if (std::optional<PageHead::Answer> answer = head.Read(page.substr(0, read), read == page.size()))
      return answer;
    if (read == page.size()) return std::nullopt;
  }
}

// Asked for noindex alone (the links stay empty), and for everything.
void CheckAgainstGumbo(std::string_view page, std::size_t piece, const PageHead::Answer& gumboSays) {
  const std::string detail = "pieces of " + std::to_string(piece) + ": " + Printable(std::string(page));
  const std::optional<PageHead::Answer> noindex = ReadInPieces(page, piece, {});
  FUZZ_CHECK(noindex.has_value(), detail);
  FUZZ_CHECK(noindex->noindex == gumboSays.noindex && noindex->links == HeadLinks{},
             detail + (gumboSays.noindex ? " (gumbo: noindex)" : " (gumbo: not noindex)"));
  const std::optional<PageHead::Answer> all = ReadInPieces(page, piece, {.noindex = true, .links = true});
  FUZZ_CHECK(all.has_value(), detail);
  FUZZ_CHECK(all->noindex == gumboSays.noindex, detail + " (noindex asked with the links)");
  FUZZ_CHECK(all->links == gumboSays.links, detail + " (links differ from gumbo's)");
}

// The tokenizer asked for every token must see the same start tags as the
// one asked for start tags alone, with their attributes, and its text and
// end tags must lie between them in order.
void CheckAllTokensKeepTheStartTags(std::string_view page) {
  PageHeadTokenizer startTags, all(PageHeadTokenizer::Tokens::kAll);
  std::size_t lastEnd = 0;
  for (;;) {
    const PageHeadTokenizer::Step expected = startTags.Next(page, true);
    PageHeadTokenizer::Step step;
    while ((step = all.Next(page, true)) == PageHeadTokenizer::Step::kText ||
           step == PageHeadTokenizer::Step::kEndTag) {
      FUZZ_CHECK(all.tagEnd() >= lastEnd, "tokens out of order: " + Printable(std::string(page)));
      lastEnd = all.tagEnd();
    }
    FUZZ_CHECK(step == expected, "steps differ: " + Printable(std::string(page)));
    if (expected != PageHeadTokenizer::Step::kStartTag) return;
    FUZZ_CHECK(all.tagEnd() == startTags.tagEnd() && all.tagName() == startTags.tagName() &&
                   all.attributes().size() == startTags.attributes().size(),
               "start tags differ: " + Printable(std::string(page)));
    lastEnd = all.tagEnd();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = data[0] + 1u;
  const std::string_view page(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::optional<std::string> decoded = AsBrowserDecodes(page);
  if (!decoded) return 0;
  const PageHead::Answer gumboSays = GumboSays(*decoded);
  CheckAllTokensKeepTheStartTags(*decoded);
  (void)PageDigest::ReaderText(*decoded);  // ends, and within the sanitizers' bounds
  CheckAgainstGumbo(page, piece, gumboSays);
  if (page.starts_with("\xFF\xFE") || page.starts_with("\xFE\xFF")) return 0;
  for (const auto& [encoding, bom] : {std::pair{"UTF-16LE", "\xFF\xFE"}, std::pair{"UTF-16BE", "\xFE\xFF"}}) {
    if (const std::optional<std::string> utf16 = Convert(*decoded, "UTF-8", encoding))
      CheckAgainstGumbo(bom + *utf16, piece, gumboSays);
  }
  return 0;
}
