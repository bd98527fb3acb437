#pragma once
#include <cstddef>
#include <optional>
#include <string_view>

// The head of one page whose text arrives piece by piece, as it is read:
// tells whether the head says noindex to robots (see RobotsMeta) as soon
// as the text so far settles it, so that reading can stop there.
//
// The HTML5 parser is slow next to reading, so it is kept to a minimum.
// Text without a meta tag that holds both a name (robots, googlebot) and a
// refusal (noindex, none), in any case or as character references, is
// answered without it; reading such a page to its end or the limit costs
// less than parsing its head. Otherwise
// it parses only up to a cheap sign that the head may be over ("</head"
// or "<body"), never the body after it. A sign may sit in a script or a
// comment, so the parser has the last word on it.
class PageHead {
 public:
  // textSoFar starts like every earlier one and is at least as long;
  // complete when no more will come. Answers nullopt while more text
  // could still change the answer; never nullopt when complete.
  std::optional<bool> SaysNoindex(std::string_view textSoFar, bool complete);

 private:
  bool MayHoldBothWords(std::string_view text);
  std::optional<bool> AnswerAtHeadEnd(std::string_view text);

  // Where the next scans start: bytes before them were looked at already.
  std::size_t metaFrom_ = 0;
  std::size_t signFrom_ = 0;
  bool metaMayRefuse_ = false;
  // Parses at signs left, so that a page full of false signs stays cheap.
  int parsesLeft_ = 4;
};
