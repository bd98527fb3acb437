#pragma once
#include <string_view>

// Language tags as BCP 47 (RFC 5646) writes them.
class LanguageTag {
 public:
  // True for a well-formed tag: language, then script, region, variants,
  // extensions and a private use part where present (subtags in any case),
  // a private use tag alone ("x-..."), or one of the irregular
  // grandfathered tags ("i-klingon"). A language subtag of 4 to 8 letters,
  // which the syntax reserves and no language has, is refused.
  static bool IsWellFormed(std::string_view tag);
  // What an hreflang attribute may hold: a well-formed tag, or "x-default"
  // (in any case) for the version shown to any other language.
  static bool IsHreflang(std::string_view value);
};
