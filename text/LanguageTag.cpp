#include "text/LanguageTag.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "text/AsciiText.h"

namespace {

using AsciiText::EqualsIgnoringCase;
using AsciiText::IsAlnum;
using AsciiText::IsDigit;
constexpr bool IsAlpha(char c) { return AsciiText::IsLetter(c); }

bool All(std::string_view s, bool (*test)(char)) { return std::all_of(s.begin(), s.end(), test); }
bool Alpha(std::string_view s, std::size_t min, std::size_t max) {
  return s.size() >= min && s.size() <= max && All(s, IsAlpha);
}
bool Alnum(std::string_view s, std::size_t min, std::size_t max) {
  return s.size() >= min && s.size() <= max && All(s, IsAlnum);
}

// Subtags after "x": one or more of 1 to 8 letters or digits.
bool IsPrivateUse(const std::vector<std::string_view>& subtags, std::size_t from) {
  if (from >= subtags.size()) return false;
  for (std::size_t i = from; i < subtags.size(); ++i)
    if (!Alnum(subtags[i], 1, 8)) return false;
  return true;
}

}  // namespace

bool LanguageTag::IsWellFormed(std::string_view tag) {
  static constexpr std::string_view kIrregular[] = {
      "en-gb-oed", "i-ami",     "i-bnn",   "i-default", "i-enochian", "i-hak",     "i-klingon",
      "i-lux",     "i-mingo",   "i-navajo", "i-pwn",    "i-tao",      "i-tay",     "i-tsu",
      "sgn-be-fr", "sgn-be-nl", "sgn-ch-de"};
  // Most tags are a language, perhaps with a region: "ja", "en-GB".
  const std::size_t dash = tag.find('-');
  if (Alpha(tag.substr(0, dash), 2, 3) && (dash == std::string_view::npos || Alpha(tag.substr(dash + 1), 2, 2)))
    return true;
  for (const std::string_view irregular : kIrregular)
    if (EqualsIgnoringCase(tag, irregular)) return true;
  std::vector<std::string_view> subtags;
  for (std::size_t start = 0;;) {
    const std::size_t dash = tag.find('-', start);
    subtags.push_back(tag.substr(start, dash == std::string_view::npos ? std::string_view::npos : dash - start));
    if (dash == std::string_view::npos) break;
    start = dash + 1;
  }
  std::size_t i = 0;
  const auto isX = [&](std::size_t at) { return at < subtags.size() && EqualsIgnoringCase(subtags[at], "x"); };
  if (isX(0)) return IsPrivateUse(subtags, 1);
  // language: 2-3 letters with up to three extended subtags. The syntax
  // also admits 4-8 letters, reserved for languages the registry has
  // none of: "english" is a mistake, not a language.
  if (!Alpha(subtags[0], 2, 3)) return false;
  ++i;
  for (int extlang = 0; extlang < 3 && i < subtags.size() && Alpha(subtags[i], 3, 3); ++extlang) ++i;
  if (i < subtags.size() && Alpha(subtags[i], 4, 4)) ++i;  // script
  if (i < subtags.size() &&
      (Alpha(subtags[i], 2, 2) || (subtags[i].size() == 3 && All(subtags[i], IsDigit))))
    ++i;  // region
  // variants: 5-8 letters or digits, or a digit and three more.
  while (i < subtags.size() &&
         (Alnum(subtags[i], 5, 8) || (subtags[i].size() == 4 && IsDigit(subtags[i][0]) && Alnum(subtags[i], 4, 4))))
    ++i;
  // extensions: a singleton other than x, then subtags of 2-8.
  std::vector<char> singletons;
  while (i < subtags.size() && subtags[i].size() == 1 && IsAlnum(subtags[i][0]) && !isX(i)) {
    const char singleton = AsciiText::ToLower(subtags[i][0]);
    if (std::find(singletons.begin(), singletons.end(), singleton) != singletons.end()) return false;
    singletons.push_back(singleton);
    std::size_t j = i + 1;
    while (j < subtags.size() && Alnum(subtags[j], 2, 8)) ++j;
    if (j == i + 1) return false;
    i = j;
  }
  if (isX(i)) return IsPrivateUse(subtags, i + 1);
  return i == subtags.size();
}

bool LanguageTag::IsHreflang(std::string_view value) {
  return EqualsIgnoringCase(value, "x-default") || IsWellFormed(value);
}
