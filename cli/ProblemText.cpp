#include "cli/ProblemText.h"

#include <string_view>

namespace {

// Columns count characters (UTF-8 sequences), from 1.
std::size_t ColumnOf(std::string_view line, std::size_t at) {
  std::size_t column = 1;
  for (std::size_t i = 0; i < at && i < line.size(); ++i)
    if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) ++column;
  return column;
}

// "[:name:]" as it stands at the start of text.
std::string_view ClassAt(std::string_view text) {
  const std::size_t close = text.find(":]");
  return close == std::string_view::npos ? text : text.substr(0, close + 2);
}

}  // namespace

namespace ProblemText {

std::string OfBaseUrl(UrlText::BaseProblem problem) {
  using UrlText::BaseProblem;
  switch (problem) {
    case BaseProblem::kEmpty: return "the base URL is empty";
    case BaseProblem::kNotHttp: return "the base URL must start with http:// or https://";
    case BaseProblem::kQueryOrFragment: return "the base URL must not contain \"?\" or \"#\"";
    case BaseProblem::kNoHost: return "the base URL has no host";
    case BaseProblem::kUserInfo:
      return "the base URL must not hold a user name or password (\"@\" before the host): every search engine "
             "would read it";
    case BaseProblem::kBadPort: return "the base URL's port must be a number from 1 to 65535";
    case BaseProblem::kBadAddress: return "the base URL's address in brackets is not a valid IPv6 address";
    case BaseProblem::kBadHostCharacter:
      return "the base URL's host holds a character no host name may hold (such as \"\\\", \"[\" or a space)";
    case BaseProblem::kNonAsciiHost:
      return "the base URL's host cannot be converted to its IDNA (xn--) form: it is not UTF-8, or holds a "
             "character, hyphen or label that international domain names do not allow";
    case BaseProblem::kNotUri: return "the base URL is not a valid URL";
  }
  return "the base URL is not usable";
}

std::string OfPattern(const ExclusionRules::BadLine& bad, const std::string& where) {
  using Reason = NameGlob::Fault::Reason;
  const std::string column = "column " + std::to_string(ColumnOf(bad.line, bad.fault.at));
  std::string reason;
  switch (bad.fault.reason) {
    case Reason::kUnclosedBracket:
      reason = "the \"[\" at " + column + " has no closing \"]\" (write \"\\[\" for a bracket)";
      break;
    case Reason::kUnknownClass:
      reason = "\"" + std::string(ClassAt(std::string_view(bad.line).substr(bad.fault.at))) + "\" at " + column +
               " is no character class";
      break;
    case Reason::kTrailingBackslash:
      reason = "the backslash at the end escapes nothing (write \"\\\\\" for a backslash)";
      break;
  }
  return "bad exclusion pattern \"" + bad.line + "\" (" + where + "): " + reason;
}

std::string OfLedger(const ContentLedger::Problem& problem) {
  using Kind = ContentLedger::Problem::Kind;
  const std::string& path = problem.path;
  const std::string unchanged = "; nothing was written (the ledger is never rebuilt: move it away to start afresh)";
  switch (problem.kind) {
    case Kind::kUnreadable: return "the ledger " + path + " cannot be read: " + problem.cause + unchanged;
    case Kind::kNotLedger: return "the ledger " + path + " is not a ledger of this program: " + problem.cause + unchanged;
    case Kind::kNewerFormat:
      return "the ledger " + path + " is of a newer format (" + problem.cause + "); nothing was written";
    case Kind::kLocked:
      return "the ledger " + path + " is in use by another run (" + problem.cause + "); nothing was written";
    case Kind::kUnwritable: return "the ledger " + path + " cannot be written: " + problem.cause + "; nothing was written";
    case Kind::kNotUpdated:
      return "sitemap written, ledger not updated: " + path + ": " + problem.cause +
             " (the next run dates its pages as the ledger was)";
  }
  return "the ledger " + path + ": " + problem.cause;
}

}  // namespace ProblemText
