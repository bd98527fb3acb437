#pragma once
#include <string>

#include "scan/ExclusionRules.h"
#include "sitemap/ContentLedger.h"
#include "sitemap/UrlText.h"

// The command line's English for the reasons the core gives.
namespace ProblemText {

// Why a base URL is refused, as the end of a sentence about it.
std::string OfBaseUrl(UrlText::BaseProblem problem);

// A refused exclusion pattern: "the pattern "[abc": the "[" at column 1 is
// never closed". where tells which line it is (a file's line, an option).
std::string OfPattern(const ExclusionRules::BadLine& bad, const std::string& where);

// A ledger that was refused, or not updated once the sitemap was written.
std::string OfLedger(const ContentLedger::Problem& problem);

}  // namespace ProblemText
