#include "scan/NameGlob.h"
#include "text/AsciiText.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Bytes that are not part of valid UTF-8 count as characters of their own,
// numbered above every code point so that no range of real characters
// takes them in.
constexpr std::uint32_t kLoneByteBase = 0x110000;

struct Character {
  std::uint32_t value;
  std::size_t size;
};

// The character at text[at], which must exist. Overlong forms, surrogates
// and truncated sequences are not valid, so their first byte stands alone.
Character CharacterAt(std::string_view text, std::size_t at) {
  char32_t value = 0;
  const std::size_t size = AsciiText::DecodeUtf8(text, at, &value);
  if (size == 0) return {kLoneByteBase + static_cast<unsigned char>(text[at]), 1};
  return {static_cast<std::uint32_t>(value), size};
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

constexpr std::array<std::string_view, 12> kClassNames = {
    "alnum", "alpha", "blank", "cntrl", "digit", "graph",
    "lower", "print", "punct", "space", "upper", "xdigit"};

// The C locale's classes, so that the answer never depends on the user's locale.
bool InClass(std::size_t index, std::uint32_t c) {
  const bool lower = c >= 'a' && c <= 'z';
  const bool upper = c >= 'A' && c <= 'Z';
  const bool digit = c >= '0' && c <= '9';
  const bool graph = c > ' ' && c < 0x7F;
  switch (index) {
    case 0: return lower || upper || digit;
    case 1: return lower || upper;
    case 2: return c == ' ' || c == '\t';
    case 3: return c < ' ' || c == 0x7F;
    case 4: return digit;
    case 5: return graph;
    case 6: return lower;
    case 7: return graph || c == ' ';
    case 8: return graph && !lower && !upper && !digit;
    case 9: return c == ' ' || (c >= '\t' && c <= '\r');
    case 10: return upper;
    default: return digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  }
}

}  // namespace

std::optional<NameGlob> NameGlob::Compile(std::string_view pattern, Fault* fault) {
  Fault ignored{};
  if (!fault) fault = &ignored;
  NameGlob glob;
  for (std::size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == '*') {
      glob.Append({Token::Kind::kStar, {}, {}});
      ++i;
    } else if (c == '?') {
      glob.Append({Token::Kind::kAnyChar, {}, {}});
      ++i;
    } else if (c == '[') {
      Token token{Token::Kind::kSet, {}, {}};
      i = ParseSet(pattern, i + 1, &token.set, fault);
      if (i == kNone) return std::nullopt;
      glob.Append(std::move(token));
    } else if (c == '\\') {
      if (i + 1 == pattern.size()) {
        *fault = {Fault::Reason::kTrailingBackslash, i};
        return std::nullopt;
      }
      glob.Append({Token::Kind::kLiteral, std::string(1, pattern[i + 1]), {}});
      i += 2;
    } else {
      glob.Append({Token::Kind::kLiteral, std::string(1, c), {}});
      ++i;
    }
  }
  glob.FindShape();
  return glob;
}

std::size_t NameGlob::NameLength(std::string_view pattern) {
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '/') return i;
    if (c == '\\') {
      if (i + 1 < pattern.size() && pattern[i + 1] == '/') return i;
      i += 2;
      continue;
    }
    if (c == '[') {
      Set ignored;
      const std::size_t end = ParseSet(pattern, i + 1, &ignored);
      if (end != kNone) {
        i = end;
        continue;
      }
    }
    ++i;
  }
  return pattern.size();
}

// Reads a bracket expression from just after its "[", as git's wildmatch
// does: a "]" first in the set is a member, "-" between two characters is a
// range, "[:name:]" is a class. Returns the position after the closing "]",
// or kNone, with the reason in *fault when asked, when there is none or a
// class is unknown.
std::size_t NameGlob::ParseSet(std::string_view pattern, std::size_t at, Set* set, Fault* fault) {
  const std::size_t end = pattern.size();
  const std::size_t open = at - 1;
  const auto fail = [fault](Fault::Reason reason, std::size_t where) {
    if (fault) *fault = {reason, where};
    return kNone;
  };
  const auto unclosed = [&] { return fail(Fault::Reason::kUnclosedBracket, open); };
  if (at < end && (pattern[at] == '!' || pattern[at] == '^')) {
    set->negated = true;
    ++at;
  }
  // The last single character, which a "-" can make the start of a range.
  bool hasPrevious = false;
  std::uint32_t previous = 0;
  for (bool first = true;; first = false) {
    if (at >= end) return unclosed();
    const char c = pattern[at];
    if (c == ']' && !first) return at + 1;
    if (c == '-' && hasPrevious && at + 1 < end && pattern[at + 1] != ']') {
      at += pattern[at + 1] == '\\' ? 2 : 1;
      if (at >= end) return unclosed();
      const Character last = CharacterAt(pattern, at);
      set->ranges.push_back({previous, last.value});
      hasPrevious = false;
      at += last.size;
      continue;
    }
    if (c == '[' && at + 1 < end && pattern[at + 1] == ':') {
      const std::size_t close = pattern.find(']', at + 2);
      if (close == kNone) return unclosed();
      if (close > at + 2 && pattern[close - 1] == ':') {
        const std::string_view name = pattern.substr(at + 2, close - 1 - (at + 2));
        std::size_t index = 0;
        while (index < kClassNames.size() && kClassNames[index] != name) ++index;
        if (index == kClassNames.size()) return fail(Fault::Reason::kUnknownClass, at);
        set->classes |= static_cast<std::uint16_t>(1u << index);
        hasPrevious = false;
        at = close + 1;
        continue;
      }
      // Not a class after all: the "[" is an ordinary member.
    }
    if (c == '\\' && ++at >= end) return unclosed();
    const Character member = CharacterAt(pattern, at);
    set->ranges.push_back({member.value, member.value});
    hasPrevious = true;
    previous = member.value;
    at += member.size;
  }
}

bool NameGlob::SetHas(const Set& set, std::uint32_t character) {
  bool found = std::ranges::any_of(set.ranges, [&](const Set::Range& range) {
    return character >= range.first && character <= range.last;
  });
  for (std::size_t index = 0; !found && index < kClassNames.size(); ++index)
    found = ((set.classes >> index) & 1u) != 0 && InClass(index, character);
  return found != set.negated;
}

void NameGlob::Append(Token token) {
  if (!tokens_.empty() && tokens_.back().kind == token.kind) {
    if (token.kind == Token::Kind::kStar) return;
    if (token.kind == Token::Kind::kLiteral) {
      tokens_.back().literal += token.literal;
      return;
    }
  }
  tokens_.push_back(std::move(token));
}

void NameGlob::FindShape() {
  using Kind = Token::Kind;
  const auto is = [&](std::size_t i, Kind kind) { return tokens_[i].kind == kind; };
  const std::size_t count = tokens_.size();
  if (count == 0) {
    shape_ = Shape::kLiteral;
  } else if (count == 1 && is(0, Kind::kLiteral)) {
    shape_ = Shape::kLiteral;
    fixed_ = tokens_[0].literal;
  } else if (count == 1 && is(0, Kind::kStar)) {
    shape_ = Shape::kAnyName;
  } else if (count == 2 && is(0, Kind::kStar) && is(1, Kind::kLiteral) &&
             !IsContinuationByte(tokens_[1].literal.front())) {
    // A star steps by characters; a suffix that starts a character is
    // always on a character boundary, so comparing bytes is the same.
    shape_ = Shape::kSuffix;
    fixed_ = tokens_[1].literal;
  } else if (count == 2 && is(0, Kind::kLiteral) && is(1, Kind::kStar)) {
    shape_ = Shape::kPrefix;
    fixed_ = tokens_[0].literal;
  } else {
    shape_ = Shape::kTokens;
    return;
  }
  tokens_.clear();
}

bool NameGlob::Matches(std::string_view name) const {
  switch (shape_) {
    case Shape::kLiteral: return name == fixed_;
    case Shape::kAnyName: return true;
    case Shape::kSuffix: return name.ends_with(fixed_);
    case Shape::kPrefix: return name.starts_with(fixed_);
    case Shape::kTokens: break;
  }
  return MatchesTokens(name);
}

// Every token but a star matches at most one way at a given place, so
// going back only to the last star is enough: on a mismatch that star
// takes one more character and the tokens after it are tried again.
bool NameGlob::MatchesTokens(std::string_view name) const {
  std::size_t at = 0;
  std::size_t next = 0;
  std::size_t star = kNone;
  std::size_t starAt = 0;
  while (at < name.size()) {
    if (next < tokens_.size()) {
      if (tokens_[next].kind == Token::Kind::kStar) {
        star = next++;
        starAt = at;
        continue;
      }
      const std::size_t after = MatchToken(tokens_[next], name, at);
      if (after != kNone) {
        at = after;
        ++next;
        continue;
      }
    }
    if (star == kNone) return false;
    starAt += CharacterAt(name, starAt).size;
    at = starAt;
    next = star + 1;
  }
  if (next < tokens_.size() && tokens_[next].kind == Token::Kind::kStar) ++next;
  return next == tokens_.size();
}

// Where the token's match ends when it starts at name[at], or kNone.
std::size_t NameGlob::MatchToken(const Token& token, std::string_view name, std::size_t at) {
  switch (token.kind) {
    case Token::Kind::kLiteral:
      return name.substr(at).starts_with(token.literal) ? at + token.literal.size() : kNone;
    case Token::Kind::kAnyChar:
      return at + CharacterAt(name, at).size;
    case Token::Kind::kSet: {
      const Character c = CharacterAt(name, at);
      return SetHas(token.set, c.value) ? at + c.size : kNone;
    }
    case Token::Kind::kStar: break;
  }
  return kNone;
}
