#pragma once
#include <string>
#include <vector>

#include "cli/ProblemText.h"
#include "job/SitemapRun.h"

// A run's codes as the command line words them, for checks and messages.
inline std::string ErrorOf(const RunResult& result) { return ProblemText::OfRunProblem(result.problem); }
inline std::string ErrorOf(const RunProblem& problem) { return ProblemText::OfRunProblem(problem); }
inline std::vector<std::string> LinesOf(const WarningList& warnings) {
  std::size_t more = 0;
  return ProblemText::WarningLines(warnings, &more);
}
