#pragma once
#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

// The start tags of a page's text and their attributes, read the way an
// HTML5 tokenizer reads them: comments (with their odd forms such as
// "<!-->"), bogus comments ("<!...>", "<?...>"), doctypes and end tags
// are passed by, and so is the content of the elements whose content is
// text (script, style, title, textarea, ...). Attribute names end at
// whitespace, "/", ">" or "="; a value is double-quoted, single-quoted or
// unquoted, and a quote inside an unquoted value is just a character.
//
// The text arrives piece by piece: each call gets all the text so far,
// which starts like the one before and is at least as long. A token cut
// off by the end of the text is read again once more has come.
//
// Where the tokenizer and a parser could part (the content of a script
// that nests "<!--<script>", see scriptMayHideTags(); foreign content,
// which is body content anyway), it reads on where the parser would see
// text: it may report a tag the parser does not have, never the other way
// round.
//
// Asked for all tokens, it also reports the end tags and the text between
// tags, the content of those text elements included (textElement() names
// the element); character references are left as written. A text token is
// reported only once the next "<" or the end of the complete text settles
// where it ends.
class PageHeadTokenizer {
 public:
  enum class Tokens { kStartTags, kAll };
  struct Attribute {
    std::string_view name;   // as written; compare without case
    std::string_view value;  // as written: character references not decoded
  };

  explicit PageHeadTokenizer(Tokens tokens = Tokens::kStartTags) : all_(tokens == Tokens::kAll) {}

  enum class Step {
    kStartTag,  // tagName() and attributes() tell which
    kEndTag,    // with all tokens: lowerTagName() tells which
    kText,      // with all tokens: text() and textElement()
    kNeedMore,  // the text so far ends inside a token or could be cut
    kEnd,       // the complete text holds no further start tag
  };

  Step Next(std::string_view text, bool complete);

  // The last start tag: valid until the next call, as views into its text.
  std::string_view tagName() const { return tagName_; }
  // The same in lower case, for comparing with names; empty when longer
  // than any element name this reader looks for.
  std::string_view lowerTagName() const { return {lowerTagName_.data(), lowerTagNameSize_}; }
  const std::vector<Attribute>& attributes() const { return attributes_; }
  // The last text token, as written.
  std::string_view text() const { return text_; }
  // The text element (lower case: "script", "title", ...) whose content the
  // last text token is; empty for text between tags.
  std::string_view textElement() const { return textOf_; }
  // The tag's first attribute of that name (given in lower case): later
  // ones of the same name do not count. Null when there is none.
  const Attribute* Find(std::string_view lowerName) const;
  // Where the last start tag ends: the offset just after its ">".
  std::size_t tagEnd() const { return at_; }
  // True once a script's text has held "<!--": the parser may then read a
  // "</script>" in it as text where this tokenizer ends the script, and
  // take for text the tags after it.
  bool scriptMayHideTags() const { return scriptMayHideTags_; }

 private:
  enum class Tag { kStart, kEnd };
  // Where the tag starting at lt ends (after its ">"), npos when the text
  // ends first. A start tag's name and attributes are kept.
  std::size_t ReadTag(std::string_view text, std::size_t lt, Tag kind);
  std::size_t ReadAttributes(std::string_view text, std::size_t i, bool keep);
  // Passes the text content of the element just opened, if it has one.
  bool PassTextContent(std::string_view text, bool complete);
  // With all tokens: reports the content just passed, from start, if any.
  bool ReportContent(std::string_view text, std::size_t start, std::string_view element);
  Step ReportText(std::string_view text, std::size_t from, std::size_t to);
  void KeepTagName(std::string_view name);

  bool all_;
  std::size_t at_ = 0;
  std::string_view text_;
  std::string_view textOf_;
  // The element whose text content is being passed by; empty when none.
  std::string_view textElement_;
  std::size_t textStart_ = 0;
  std::size_t textFrom_ = 0;
  bool scriptMayHideTags_ = false;
  bool plainText_ = false;
  std::string_view tagName_;
  std::array<char, 15> lowerTagName_{};
  std::size_t lowerTagNameSize_ = 0;
  std::vector<Attribute> attributes_;
};
