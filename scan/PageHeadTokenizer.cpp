#include "scan/PageHeadTokenizer.h"
#include "text/AsciiText.h"


namespace {

constexpr std::size_t npos = std::string_view::npos;

using AsciiText::EqualsIgnoringCase;
using AsciiText::IsLetter;
using AsciiText::ToLower;
// The parser reads a carriage return as a line feed.
constexpr auto IsSpace = AsciiText::IsHtmlSpace;

// The elements whose content the parser reads as text up to their end tag.
// In the head only script, style, title and noframes can stand (noscript
// is read as tags: this program's reader, like a crawler without scripts,
// sees its meta tags); the others start the body but are passed by alike.
constexpr std::array<std::string_view, 8> kTextElements = {"script", "style",  "title",  "noframes",
                                                           "textarea", "xmp", "iframe", "noembed"};

// Where "</name" followed by whitespace, "/" or ">" starts, at or after from;
// npos when there is none. *decidedTo is where the next search may start.
std::size_t FindEndTag(std::string_view text, std::string_view name, std::size_t from, std::size_t* decidedTo) {
  for (std::size_t lt = text.find("</", from); lt != npos; lt = text.find("</", lt + 1)) {
    const std::size_t after = lt + 2 + name.size();
    if (after >= text.size()) {
      *decidedTo = lt;
      return npos;
    }
    if (EqualsIgnoringCase(text.substr(lt + 2, name.size()), name) &&
        (IsSpace(text[after]) || text[after] == '/' || text[after] == '>'))
      return lt;
  }
  *decidedTo = text.size() > 0 ? text.size() - 1 : 0;  // a "<" at the end may start one
  return npos;
}

// Where a comment whose "<!--" starts at lt ends (after its ">"): at once
// for "<!-->" and "<!--->", else after the first "-->" or "--!>".
std::size_t CommentEnd(std::string_view text, std::size_t lt) {
  const std::string_view rest = text.substr(lt + 4);
  if (rest.starts_with(">")) return lt + 5;
  if (rest.starts_with("->")) return lt + 6;
  for (std::size_t dashes = rest.find("--"); dashes != npos; dashes = rest.find("--", dashes + 1)) {
    if (dashes + 2 < rest.size() && rest[dashes + 2] == '>') return lt + 4 + dashes + 3;
    if (dashes + 3 < rest.size() && rest[dashes + 2] == '!' && rest[dashes + 3] == '>') return lt + 4 + dashes + 4;
  }
  return npos;
}

}  // namespace

const PageHeadTokenizer::Attribute* PageHeadTokenizer::Find(std::string_view lowerName) const {
  for (const Attribute& attribute : attributes_)
    if (EqualsIgnoringCase(attribute.name, lowerName)) return &attribute;
  return nullptr;
}

PageHeadTokenizer::Step PageHeadTokenizer::Next(std::string_view text, bool complete) {
  const Step cut = complete ? Step::kEnd : Step::kNeedMore;
  if (!textElement_.empty() || plainText_) {
    const std::string_view element = plainText_ ? "plaintext" : textElement_;
    const std::size_t start = textStart_;
    if (!PassTextContent(text, complete)) {
      if (!complete) return cut;
      // The content runs to the end of the text.
      textElement_ = {};
      plainText_ = false;
      return ReportContent(text, start, element) ? Step::kText : cut;
    }
    if (ReportContent(text, start, element)) return Step::kText;
  }
  for (;;) {
    const std::size_t lt = text.find('<', at_);
    if (all_) {
      const std::size_t to = lt == npos ? text.size() : lt;
      if (to > at_) return lt == npos && !complete ? cut : ReportText(text, at_, to);
    }
    if (lt == npos || lt + 1 == text.size()) {
      at_ = lt == npos ? text.size() : lt;
      if (all_ && complete && lt != npos) return ReportText(text, lt, lt + 1);  // a last "<" is text
      return cut;
    }
    const char next = text[lt + 1];
    std::size_t end = npos;
    bool endTag = false;
    if (IsLetter(next)) {
      end = ReadTag(text, lt, Tag::kStart);
      if (end != npos) {
        at_ = end;
        for (const std::string_view name : kTextElements) {
          if (lowerTagName() == name) {
            textElement_ = name;
            textStart_ = textFrom_ = at_;
          }
        }
        plainText_ = lowerTagName() == "plaintext";
        if (plainText_) textStart_ = at_;
        return Step::kStartTag;
      }
    } else if (next == '/') {
      if (lt + 2 == text.size()) {
        end = npos;
      } else if (IsLetter(text[lt + 2])) {
        end = ReadTag(text, lt, Tag::kEnd);
        endTag = true;
      } else if (text[lt + 2] == '>') {
        end = lt + 3;
      } else {
        end = text.find('>', lt + 2);  // a bogus comment
        if (end != npos) ++end;
      }
    } else if (next == '!') {
      const std::string_view opening = text.substr(lt, 4);
      if (opening == "<!--") {
        end = CommentEnd(text, lt);
      } else if (!std::string_view("<!--").starts_with(opening) || complete) {
        end = text.find('>', lt + 2);  // a doctype or a bogus comment
        if (end != npos) ++end;
      }
    } else if (next == '?') {
      end = text.find('>', lt + 2);
      if (end != npos) ++end;
    } else {
      if (all_) return ReportText(text, lt, lt + 1);
      end = lt + 1;  // a "<" that is text
    }
    if (end == npos) {
      // Cut off, or when complete a comment or tag that runs to the end.
      at_ = complete ? text.size() : lt;
      return cut;
    }
    at_ = end;
    if (all_ && endTag) return Step::kEndTag;
  }
}

PageHeadTokenizer::Step PageHeadTokenizer::ReportText(std::string_view text, std::size_t from, std::size_t to) {
  text_ = text.substr(from, to - from);
  textOf_ = {};
  at_ = to;
  return Step::kText;
}

bool PageHeadTokenizer::ReportContent(std::string_view text, std::size_t start, std::string_view element) {
  if (!all_ || at_ <= start) return false;
  text_ = text.substr(start, at_ - start);
  textOf_ = element;
  return true;
}

bool PageHeadTokenizer::PassTextContent(std::string_view text, bool complete) {
  if (plainText_) {
    at_ = text.size();
    return false;
  }
  if (textElement_.empty()) return true;
  const std::size_t endTag = FindEndTag(text, textElement_, textFrom_, &textFrom_);
  if (endTag == npos) {
    if (complete) at_ = text.size();
    return false;
  }
  if (textElement_ == "script" && text.substr(textStart_, endTag - textStart_).find("<!--") != npos)
    scriptMayHideTags_ = true;
  textElement_ = {};
  at_ = endTag;
  return true;
}

std::size_t PageHeadTokenizer::ReadTag(std::string_view text, std::size_t lt, Tag kind) {
  const bool start = kind == Tag::kStart;
  std::size_t i = lt + (start ? 1 : 2);
  const std::size_t nameStart = i;
  while (i < text.size() && !IsSpace(text[i]) && text[i] != '/' && text[i] != '>') ++i;
  if (i == text.size()) return npos;
  if (start || all_) KeepTagName(text.substr(nameStart, i - nameStart));
  if (start) attributes_.clear();
  return ReadAttributes(text, i, start);
}

void PageHeadTokenizer::KeepTagName(std::string_view name) {
  tagName_ = name;
  lowerTagNameSize_ = tagName_.size() <= lowerTagName_.size() ? tagName_.size() : 0;
  for (std::size_t c = 0; c < lowerTagNameSize_; ++c) lowerTagName_[c] = ToLower(tagName_[c]);
}

// From the first byte after the tag's name to the byte after its ">".
std::size_t PageHeadTokenizer::ReadAttributes(std::string_view text, std::size_t i, bool keep) {
  const std::size_t size = text.size();
  for (;;) {
    // Before an attribute's name; a "/" not followed by ">" is passed by.
    while (i < size && (IsSpace(text[i]) || text[i] == '/')) ++i;
    if (i == size) return npos;
    if (text[i] == '>') return i + 1;
    // The name: its first character may be "=". A NUL there starts the
    // name but adds nothing to it, as gumbo reads it; any later NUL stands
    // for a replacement character, which no name this reader seeks holds.
    const std::size_t nameStart = i++;
    while (i < size && !IsSpace(text[i]) && text[i] != '/' && text[i] != '>' && text[i] != '=') ++i;
    const std::size_t dropped = text[nameStart] == '\0' ? 1 : 0;
    const std::string_view name = text.substr(nameStart + dropped, i - nameStart - dropped);
    while (i < size && IsSpace(text[i])) ++i;
    if (i == size) return npos;
    std::string_view value;
    if (text[i] == '=') {
      ++i;
      while (i < size && IsSpace(text[i])) ++i;
      if (i == size) return npos;
      if (text[i] == '"' || text[i] == '\'') {
        const std::size_t close = text.find(text[i], i + 1);
        if (close == npos) return npos;
        value = text.substr(i + 1, close - i - 1);
        i = close + 1;
      } else if (text[i] != '>') {
        const std::size_t valueStart = i;
        while (i < size && !IsSpace(text[i]) && text[i] != '>') ++i;
        value = text.substr(valueStart, i - valueStart);
      }
    }
    if (keep) attributes_.push_back({name, value});
  }
}
