#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The part of an ignore-file pattern that stands for one name, such as
// "*.bak" or "[!_]?.html", matched against one name of a path.
//
// "*" is any run of characters and "?" exactly one; a bracket expression
// ("[abc]", "[a-z]", "[!a]", "[^a]", "[[:digit:]]") is one character from
// a set; a backslash makes the next character literal. A character is one
// UTF-8 sequence, or a single byte where the bytes are not valid UTF-8, so
// the result is the same in every locale. Matching is byte-exact and
// case-sensitive. Consecutive stars ("**") are one star here: whether they
// also cross folders is the caller's business.
class NameGlob {
 public:
  // Why a pattern cannot match anything, and where in it (a byte offset).
  struct Fault {
    enum class Reason : std::uint8_t {
      kUnclosedBracket,    // a "[" without its "]"; at: the "["
      kUnknownClass,       // "[:name:]" with a name that is no class; at: its "[:"
      kTrailingBackslash,  // a backslash that escapes nothing; at: the backslash
    };
    Reason reason;
    std::size_t at;
  };

  // Matches only the empty name.
  NameGlob() = default;

  // Nothing, with the reason in *fault when asked, when the pattern is
  // malformed: git would never let it match anything.
  static std::optional<NameGlob> Compile(std::string_view pattern, Fault* fault = nullptr);

  // Length of the name pattern at the front of pattern: up to the first "/"
  // or "\/" that is not inside a bracket expression.
  static std::size_t NameLength(std::string_view pattern);

  bool Matches(std::string_view name) const;

 private:
  // One bracket expression: character ranges and ASCII classes, maybe negated.
  struct Set {
    struct Range {
      std::uint32_t first;
      std::uint32_t last;
    };
    std::vector<Range> ranges;
    std::uint16_t classes = 0;  // a bit per [:class:]
    bool negated = false;
  };
  struct Token {
    enum class Kind : std::uint8_t { kLiteral, kAnyChar, kStar, kSet };
    Kind kind;
    std::string literal;  // kLiteral: the bytes, escapes removed
    Set set;              // kSet
  };
  // Shapes that need no token walk, found when compiling.
  enum class Shape : std::uint8_t { kLiteral, kAnyName, kSuffix, kPrefix, kTokens };

  static std::size_t ParseSet(std::string_view pattern, std::size_t at, Set* set, Fault* fault = nullptr);
  static bool SetHas(const Set& set, std::uint32_t character);
  void Append(Token token);
  void FindShape();
  bool MatchesTokens(std::string_view name) const;
  static std::size_t MatchToken(const Token& token, std::string_view name, std::size_t at);

  std::vector<Token> tokens_;
  Shape shape_ = Shape::kLiteral;
  std::string fixed_;  // the literal, suffix or prefix of those shapes
};
