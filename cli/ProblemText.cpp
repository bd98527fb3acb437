#include "cli/ProblemText.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>

#include "sitemap/SitemapWriter.h"

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

std::string Counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

// Why nothing is left to write when the exclusions took something.
std::string EverythingExcluded(const RunProblem& problem) {
  std::vector<std::string> parts;
  if (problem.count > 0) parts.push_back(Counted(problem.count, "page", "pages"));
  if (problem.of > 0) parts.push_back(Counted(problem.of, "folder", "folders"));
  if (problem.others > 0) parts.push_back(Counted(problem.others, "other entry", "other entries"));
  std::string text = problem.count + problem.of > 0 ? "every page is excluded" : "everything is excluded";
  text += ": the exclusion patterns left out ";
  for (std::size_t i = 0; i < parts.size(); ++i)
    text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  return text;
}

// The line of an entry that has one of its own.
std::string OfWarning(const Warning& warning) {
  using Reason = Warning::Reason;
  switch (warning.reason) {
    case Reason::kFewerReaders:
      return "could start only " + std::to_string(warning.count) + " of " + std::to_string(warning.of) +
             " threads that read folders ahead (" + warning.detail + "); the folders were read with fewer";
    case Reason::kFolderNotListed: return "could not list " + warning.path + ": " + warning.detail;
    case Reason::kFolderPartlyListed: return "could not list all of " + warning.path + ": " + warning.detail;
    case Reason::kBrokenLink:
    case Reason::kNotRegularFile: return "not a regular file, left out: " + warning.path;
    case Reason::kUndatedPage:
      return "could not read " + warning.path + ": " + warning.detail + "; dated as the ledger has it, or by the run";
    case Reason::kGitHistoryCut:
      return "the shallow git history of " + warning.path + " does not hold the last change of " +
             Counted(warning.count, "tracked page", "tracked pages") +
             ", dated by content instead (git fetch --unshallow gives them their commits' dates)";
    case Reason::kGitUnreadable:
      return "could not read the git repository of " + warning.path + ": " + warning.detail +
             "; the pages it did not date are dated by content";
    case Reason::kCanonicalElsewhere: return "canonical elsewhere: " + warning.path + " -> " + warning.detail;
    case Reason::kRobotsDisallowed: return "disallowed by robots.txt: " + warning.path + " (" + warning.detail + ")";
    case Reason::kRobotsNotAtRoot:
      return "robots.txt left alone: the base URL " + warning.detail +
             " is not a host's root, which alone has one; no page is left out and no Sitemap: line added";
    case Reason::kRobotsTxtMissing: return "no robots.txt in the folder's root (" + warning.path + "): no page is disallowed";
    case Reason::kRobotsNoSitemapLine:
      return "robots.txt has no Sitemap: line for " + warning.detail + " (--robots-sitemap-line adds one)";
    case Reason::kHreflangUnusableHref:
      return "hreflang alternate ignored (no http or https URL): " + warning.path + " -> " +
             (warning.detail.empty() ? "(empty)" : warning.detail);
    case Reason::kHreflangNotReciprocal:
      return "hreflang not returned: " + warning.path + " -> " + warning.detail + " does not link back";
    case Reason::kHreflangSelfMissing: return "hreflang cluster without the page itself: " + warning.path;
    case Reason::kHreflangNotInSitemap: return "hreflang alternate not in the sitemap: " + warning.path + " -> " + warning.detail;
    case Reason::kHreflangBadLanguage:
      return "hreflang \"" + warning.detail + "\" is no language tag, alternate left out: " + warning.path;
    case Reason::kHreflangDuplicate: return "hreflang \"" + warning.detail + "\" given to two URLs: " + warning.path;
    case Reason::kUrlTooLong:
    case Reason::kNoindex:
    case Reason::kCanonicalNotHttp:
    case Reason::kCanonicalEmpty:
    case Reason::kCanonicalBroken:
    case Reason::kCanonicalIsFolder:
    case Reason::kCount: break;
  }
  return warning.path;
}

// Reasons said in one line with their count, after the others, in this
// order: the pages concerned are many alike (a whole documentation tree
// with a file: canonical), and one example tells what they are.
constexpr Warning::Reason kSummed[] = {Warning::Reason::kUrlTooLong,       Warning::Reason::kNoindex,
                                       Warning::Reason::kCanonicalNotHttp, Warning::Reason::kCanonicalEmpty,
                                       Warning::Reason::kCanonicalBroken,  Warning::Reason::kCanonicalIsFolder};

bool IsSummed(Warning::Reason reason) { return std::ranges::find(kSummed, reason) != std::end(kSummed); }

// The one line of a summed reason; first is its first entry.
std::string SummedLine(Warning::Reason reason, std::size_t count, const Warning& first) {
  using Reason = Warning::Reason;
  const std::string example = first.detail.empty() ? first.path : first.path + " -> " + first.detail;
  const std::string kept = ", kept: " + example + (count > 1 ? ", ..." : "");
  switch (reason) {
    case Reason::kUrlTooLong:
      return Counted(count, "URL", "URLs") + " longer than " + std::to_string(SitemapWriter::kMaxUrlLength) +
             " characters left out, e.g. " + first.detail.substr(0, 80) + "...";
    case Reason::kNoindex: return Counted(count, "page", "pages") + " marked noindex left out";
    case Reason::kCanonicalNotHttp:
      return "canonical ignored (not an http or https URL) on " + Counted(count, "page", "pages") + kept;
    case Reason::kCanonicalEmpty: return "canonical ignored (empty) on " + Counted(count, "page", "pages") + kept;
    case Reason::kCanonicalBroken: return "canonical ignored (not a URL) on " + Counted(count, "page", "pages") + kept;
    case Reason::kCanonicalIsFolder:
      return Counted(count, "index page names its", "index pages name their") + " folder's URL as canonical but " +
             (count == 1 ? "is" : "are") + " written as a file's, e.g. " + first.path +
             ": --folder-urls writes the folder's URL";
    default: break;
  }
  return example;
}

}  // namespace

namespace ProblemText {

std::string OfRunProblem(const RunProblem& problem) {
  static const std::string kNeverRebuilt =
      "; nothing was written (the ledger is never rebuilt: move it away to start afresh)";
  using Code = RunProblem::Code;
  const std::string& path = problem.path;
  switch (problem.code) {
    case Code::kNone: return {};
    case Code::kFolderNameEmpty: return "the folder name is empty";
    case Code::kNoSuchFolder: return path + ": no such folder or file";
    case Code::kNotFolderOrFile: return path + ": neither a folder nor a regular file";
    case Code::kFolderUnopenable: return path + ": " + problem.detail;
    case Code::kFolderLocked: return "another run is writing the sitemap of " + path;
    case Code::kBadExclusion:
      return "exclusion pattern " + std::to_string(problem.count) + " is malformed: " + problem.detail;
    case Code::kOutOfDescriptors:
      return "could not open " + path + ": " + problem.detail + " (the scan had let go of every descriptor it could)";
    case Code::kFolderNotListable: return path + ": the folder cannot be listed: " + problem.detail;
    case Code::kEverythingExcluded: return (path.empty() ? "" : path + ": ") + EverythingExcluded(problem);
    case Code::kFolderEmpty: return path + ": the folder holds nothing";
    case Code::kBadBaseUrl: return "the base URL is not usable: " + problem.detail;
    case Code::kNoExtensions:
    case Code::kNoFileMatched: return "no file matched the extension list";
    case Code::kEveryMatchLeftOut: return "every matching file was left out";
    case Code::kWriteFailed: return problem.detail;
    case Code::kOutOfMemory: return "out of memory";
    case Code::kThreadUnavailable: return "could not start the run: " + problem.detail;
    case Code::kInternal: return problem.detail;
    case Code::kLedgerUnreadable: return "the ledger " + path + " cannot be read: " + problem.detail + kNeverRebuilt;
    case Code::kLedgerNotLedger:
      return "the ledger " + path + " is not a ledger of this program: " + problem.detail + kNeverRebuilt;
    case Code::kLedgerNewerFormat:
      return "the ledger " + path + " is of a newer format (" + problem.detail + "); nothing was written";
    case Code::kLedgerLocked:
      return "the ledger " + path + " is in use by another run (" + problem.detail + "); nothing was written";
    case Code::kLedgerUnwritable:
      return "the ledger " + path + " cannot be written: " + problem.detail + "; nothing was written";
    case Code::kLedgerNotUpdated:
      return "sitemap written, ledger not updated: " + path + ": " + problem.detail +
             " (the next run dates its pages as the ledger was)";
    case Code::kRobotsTxtUnreadable:
      return "cannot read " + path + ": " + problem.detail + " (--robots-txt reads it); nothing was written";
    case Code::kRobotsTxtNotUpdated:
      return "sitemap written, robots.txt not updated: " + path + ": " + problem.detail +
             " (its Sitemap: line is still missing)";
  }
  return "the run failed";
}

std::vector<std::string> WarningLines(const WarningList& warnings, std::size_t* more) {
  std::vector<std::string> lines;
  std::size_t total = 0;
  const auto add = [&](std::string line) {
    if (lines.size() < WarningList::kShown) lines.push_back(std::move(line));
    ++total;
  };
  std::array<const Warning*, Warning::kReasons> first{};
  for (const Warning& warning : warnings.kept()) {
    const auto reason = static_cast<std::size_t>(warning.reason);
    if (!first[reason]) first[reason] = &warning;
    if (!IsSummed(warning.reason)) add(OfWarning(warning));
  }
  for (std::size_t reason = 0; reason < Warning::kReasons; ++reason) {
    const auto kind = static_cast<Warning::Reason>(reason);
    if (!IsSummed(kind)) total += warnings.count(kind) - std::min(warnings.count(kind), WarningList::kShown);
  }
  static const Warning kNoEntry;
  for (const Warning::Reason reason : kSummed)
    if (const std::size_t count = warnings.count(reason); count > 0) {
      const Warning* entry = first[static_cast<std::size_t>(reason)];
      add(SummedLine(reason, count, entry ? *entry : kNoEntry));
    }
  *more = total - lines.size();
  return lines;
}

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

std::string OfKeyFile(IndexNowSubmission::KeyFile problem, const std::string& path, const std::string& key,
                      const std::string& reason) {
  using KeyFile = IndexNowSubmission::KeyFile;
  switch (problem) {
    case KeyFile::kHoldsKey: return {};
    case KeyFile::kMissing:
      return "--indexnow: there is no key file " + path +
             ": the search engines read the key there. Create it holding the key, and publish it with the site: "
             "printf '%s\\n' " + key + " > '" + path + "'";
    case KeyFile::kUnreadable: return "--indexnow: the key file cannot be read: " + reason;
    case KeyFile::kOtherText:
      return "--indexnow: the key file " + path + " does not hold the key " + key + " (it must hold the key alone)";
  }
  return {};
}

std::string OfSubmission(const IndexNowSubmission::Outcome& outcome, const std::string& endpoint, std::size_t total,
                         const std::optional<std::string>& changesFile) {
  std::string text = "IndexNow: " + endpoint;
  if (outcome.stopped)
    text += ": the submission was stopped";
  else if (outcome.status != 0)
    text += " answered HTTP " + std::to_string(outcome.status) + (outcome.answer.empty() ? "" : ": " + outcome.answer);
  else
    text += " could not be reached: " + outcome.answer;
  const std::size_t left = total - outcome.submitted;
  text += "; " + std::to_string(left) + " of " + Counted(total, "URL", "URLs") + " not submitted";
  if (changesFile) text += " (marked with ! in " + *changesFile + ")";
  return text + "; the sitemap and the ledger are written";
}

}  // namespace ProblemText
