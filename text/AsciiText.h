#pragma once
#include <string>
#include <string_view>
#include <vector>

// Small helpers on bytes and paths that every floor uses. They look at
// ASCII only and never at the locale: under a Turkish locale "NOINDEX"
// would not lower-case to "noindex", and a sitemap must not depend on the
// user's language. Bytes above 0x7F are ordinary characters here.
namespace AsciiText {

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool IsLetter(char c) { return IsLower(c) || IsUpper(c); }
constexpr bool IsAlnum(char c) { return IsLetter(c) || IsDigit(c); }
constexpr bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
constexpr bool IsLowerHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f'); }
// HTML's white space: space, tab, LF, FF and CR.
constexpr bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

constexpr char ToLower(char c) { return IsUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char ToUpper(char c) { return IsLower(c) ? static_cast<char>(c - 'a' + 'A') : c; }

// The value of a hex digit, -1 for any other byte.
constexpr int HexValue(char c) {
  return IsDigit(c) ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}
inline constexpr std::string_view kUpperHexDigits = "0123456789ABCDEF";
inline constexpr std::string_view kLowerHexDigits = "0123456789abcdef";

// Whether text is not empty and every byte of it a decimal digit.
bool AllDigits(std::string_view text);
// Letter case ignored on both sides. Inline: the readers of page heads
// compare every attribute name with it.
constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ToLower(a[i]) != ToLower(b[i])) return false;
  return true;
}
// <0, 0 or >0 as a comes before, with or after b, letter case ignored.
int CompareIgnoringCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);
std::string_view TrimHtmlSpace(std::string_view text);
// text without the UTF-8 byte order mark it may start with.
std::string_view WithoutUtf8Mark(std::string_view text);
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The length of the UTF-8 sequence at text[at] (which must exist), with
// its code point in *value; 0 when the bytes there are not valid UTF-8
// (an overlong form, a surrogate, a truncated sequence, a stray byte).
std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t* value);

// The lines of text, each without its LF or CR LF; a last line without a
// line break counts, an empty text has none.
std::vector<std::string> Lines(std::string_view text);

// The folder part of a path: "/" for "/name", "." for a bare name.
std::string FolderOf(std::string_view path);
// What follows the last slash of a path (the whole of a bare name).
std::string_view NameOf(std::string_view path);

}  // namespace AsciiText
