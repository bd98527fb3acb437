#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "job/IndexNowSubmission.h"
#include "scan/ExclusionRules.h"
#include "sitemap/RunProblem.h"
#include "sitemap/UrlText.h"
#include "sitemap/WarningList.h"

// The command line's English for the reasons the core gives.
namespace ProblemText {

// Why a base URL is refused, as the end of a sentence about it.
std::string OfBaseUrl(UrlText::BaseProblem problem);

// A refused exclusion pattern: "the pattern "[abc": the "[" at column 1 is
// never closed". where tells which line it is (a file's line, an option).
std::string OfPattern(const ExclusionRules::BadLine& bad, const std::string& where);

// Why a run wrote nothing.
std::string OfRunProblem(const RunProblem& problem);

// A run's warnings as lines: one per entry, but one for all the URLs too
// long, one for all the noindex pages, one for each kind of canonical
// ignored and one for the index pages whose canonical is their folder,
// after the others. At most
// WarningList::kShown lines; *more counts those beyond.
std::vector<std::string> WarningLines(const WarningList& warnings, std::size_t* more);

// Why the key file at path does not do for --indexnow, and how to make it.
std::string OfKeyFile(IndexNowSubmission::KeyFile problem, const std::string& path, const std::string& key,
                      const std::string& reason);

// A failed IndexNow submission of total URLs: what the endpoint answered,
// and where the URLs not submitted are listed (changesFile), if anywhere.
std::string OfSubmission(const IndexNowSubmission::Outcome& outcome, const std::string& endpoint, std::size_t total,
                         const std::optional<std::string>& changesFile);

}  // namespace ProblemText
