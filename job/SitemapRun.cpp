#include "job/SitemapRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "io/FolderLock.h"
#include "job/HeldFolderLister.h"
#include "job/LedgerOpener.h"
#include "scan/ExclusionRules.h"
#include "scan/clFindInFolders.h"
#include "sitemap/GitPageDates.h"
#include "sitemap/PageSelection.h"
#include "sitemap/RobotsSitemapLine.h"
#include "sitemap/SearchSelection.h"
#include "sitemap/SitemapFiles.h"
#include "sitemap/UrlText.h"
#include "text/AsciiText.h"

namespace {

RunProblem EverythingExcluded(const std::string& folder, const clFindInFolders::Excluded& excluded) {
  return {.code = RunProblem::Code::kEverythingExcluded,
          .path = folder,
          .count = excluded.pages,
          .of = excluded.folders,
          .others = excluded.others};
}

RunProblem LedgerProblem(const ContentLedger::Problem& problem) {
  using Kind = ContentLedger::Problem::Kind;
  using Code = RunProblem::Code;
  Code code = Code::kLedgerUnwritable;
  switch (problem.kind) {
    case Kind::kUnreadable: code = Code::kLedgerUnreadable; break;
    case Kind::kNotLedger: code = Code::kLedgerNotLedger; break;
    case Kind::kNewerFormat: code = Code::kLedgerNewerFormat; break;
    case Kind::kLocked: code = Code::kLedgerLocked; break;
    case Kind::kUnwritable: code = Code::kLedgerUnwritable; break;
    case Kind::kNotUpdated: code = Code::kLedgerNotUpdated; break;
  }
  return {.code = code, .path = problem.path, .detail = problem.cause};
}

// The paths below the folder of the regular files the extension list
// takes, as the writer names them: the pages it will date. Entries at
// level n lie in the folder folders[n - 1] names ("" or ending in "/").
std::vector<std::string> PagePaths(std::span<const clCompositionFolder> entries, const PageSelection& selection) {
  std::vector<std::string> folders(1);
  std::vector<std::string> paths;
  for (const clCompositionFolder& entry : entries) {
    const std::size_t level = entry.getLevel();
    if (level == 0 || level > folders.size()) continue;
    folders.resize(level);
    if (entry.getIsFolder() == 1)
      folders.push_back(folders[level - 1] + entry.name() + "/");
    else if (entry.isRegularFile() && selection.Matches(entry.name(), entry.getLevel()))
      paths.push_back(folders[level - 1] + entry.name());
  }
  return paths;
}

// The real path of the folder the run holds open: the one scanned,
// wherever its name leads by now.
std::string RealPathOf(int folder, const std::string& path) {
  std::error_code error;
  const std::filesystem::path held = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(folder), error);
  if (!error && held.is_absolute()) return held.string();
  const std::filesystem::path real = std::filesystem::canonical(path, error);
  return error ? path : real.string();
}

}  // namespace

bool SitemapRun::ResolveFolder(const std::string& argument, std::string* folder, RunProblem* problem) {
  if (argument.empty()) {
    *problem = {.code = RunProblem::Code::kFolderNameEmpty};
    return false;
  }
  struct stat status;
  if (stat(argument.c_str(), &status) != 0) {
    *problem = {.code = RunProblem::Code::kNoSuchFolder, .path = argument};
    return false;
  }
  if (S_ISDIR(status.st_mode)) {
    *folder = argument;
    return true;
  }
  if (!S_ISREG(status.st_mode)) {
    *problem = {.code = RunProblem::Code::kNotFolderOrFile, .path = argument};
    return false;
  }
  *folder = argument.find('/') == std::string::npos ? std::filesystem::current_path().string()
                                                      : AsciiText::FolderOf(argument);
  return true;
}

int SitemapRun::Readers() const {
  if (environment_.readers > 0) return environment_.readers;
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

FileLayer& SitemapRun::Files() const {
  return environment_.files ? *environment_.files : PosixFileLayer::Instance();
}

RunResult SitemapRun::Execute(const std::string& folderArgument, const InputsSource& inputs,
                              RunControl& control) {
  RunResult result;
  try {
    if (!ResolveFolder(folderArgument, &result.folder, &result.problem)) return result;
    FolderLock lock;
    int lockError = 0;
    if (!lock.TryLock(result.folder, &lockError)) {
      result.problem = {.code = FolderLock::IsHeldElsewhere(lockError) ? RunProblem::Code::kFolderLocked
                                                                       : RunProblem::Code::kFolderUnopenable,
                        .path = result.folder,
                        .detail = std::strerror(lockError)};
      return result;
    }
    // From here on the folder is the one locked, through its descriptor: a
    // path that leads elsewhere later (a deploy's link flipped) changes
    // nothing of this run.
    const int folder = lock.descriptor();
    RemoveLeftovers(folder);
    // What the scan needs is taken now; the writer's share once it starts.
    const GenerationInputs atStart = inputs();
    ExclusionRules exclusions;
    // The programs check the patterns before a run, each in its own words.
    if (const auto bad = exclusions.AddAll(atStart.exclude)) {
      result.problem = {.code = RunProblem::Code::kBadExclusion, .detail = bad->line, .count = bad->number};
      return result;
    }
    // Nothing could be a page: better said now than after the scan.
    if (atStart.extensions.empty()) {
      result.problem = {.code = RunProblem::Code::kNoExtensions};
      return result;
    }
    const PageSelection pages(atStart.extensions);
    HeldFolderLister heldRoot(folder);
    clFindInFolders scanner(environment_.lister ? environment_.lister : &heldRoot);
    scanner.setRules({.exclusions = &exclusions,
                      .followLinks = atStart.followLinks,
                      .isPage = [&pages](std::string_view name, std::uint16_t level) { return pages.Matches(name, level); },
                      .readModified = atStart.lastMod && atStart.lastModFromFile,
                      // Content dates compare each page's size and time with the ledger's.
                      .readStamps = atStart.lastModFromContent,
                      .checkNoindex = atStart.skipNoindex,
                      .readLinks = atStart.canonical || atStart.hreflang,
                      .readers = Readers(),
                      .startThread = environment_.startThread,
                      .filesSeen = control.filesSeen()});
    // A ledger kept from earlier runs is locked and read while the folder
    // is scanned; a new one is made once the writing starts.
    std::optional<LedgerOpener> ledger;
    if (atStart.lastModFromContent) {
      const std::optional<std::string> ledgerPath = LedgerPathOf(atStart, result.folder);
      struct stat status;
      if (ledgerPath && stat(ledgerPath->c_str(), &status) == 0 && S_ISREG(status.st_mode))
        ledger.emplace(*ledgerPath, atStart.ledgerPath.empty(), environment_.startThread);
    }
    Scan(&result, scanner, control);
    if (result.problem || result.stopped) return result;
    Write(&result, folder, scanner, inputs(), control, ledger);
  } catch (const std::bad_alloc&) {
    result.written = false;
    result.problem = {.code = RunProblem::Code::kOutOfMemory};
  } catch (const std::exception& error) {
    result.written = false;
    result.problem = {.code = RunProblem::Code::kInternal, .detail = error.what()};
  }
  return result;
}

// Temporary files of a run that was killed. Only a run that holds the
// folder's lock may take them: no other run can be writing them.
void SitemapRun::RemoveLeftovers(int folder) {
  std::vector<std::string> names;
  std::string ignored;
  if (!Files().ListFolder(folder, &names, &ignored)) return;
  for (const std::string& name : names)
    if (SitemapFiles::IsTemporary(name)) Files().Remove(folder, name);
}

void SitemapRun::Scan(RunResult* result, clFindInFolders& scanner, RunControl& control) {
  scanner.setLevel(1);
  const bool completed = scanner.scanFolder(result->folder, control.stopToken());
  if (const auto& failure = scanner.failure()) {
    result->problem = {.code = RunProblem::Code::kOutOfDescriptors, .path = failure->path, .detail = failure->reason};
    return;
  }
  if (!completed) {
    result->stopped = true;
    return;
  }
  if (const auto& shortfall = scanner.readerShortfall())
    result->warnings.Add({.reason = Warning::Reason::kFewerReaders,
                          .detail = shortfall->reason,
                          .count = static_cast<std::size_t>(shortfall->started),
                          .of = static_cast<std::size_t>(shortfall->asked)});
  for (const auto& unlisted : scanner.unlistedFolders())
    result->warnings.Add({.reason = unlisted.partly ? Warning::Reason::kFolderPartlyListed
                                                    : Warning::Reason::kFolderNotListed,
                          .path = unlisted.path,
                          .detail = unlisted.reason});
  // An empty list (an empty folder, one that cannot be listed, or one
  // whose every entry is excluded) has nothing to write.
  if (!scanner.entries().empty()) return;
  const clFindInFolders::Excluded& excluded = scanner.excluded();
  if (!scanner.unlistedFolders().empty())
    result->problem = {.code = RunProblem::Code::kFolderNotListable,
                       .path = result->folder,
                       .detail = scanner.unlistedFolders().front().reason};
  else if (excluded.pages + excluded.folders + excluded.others > 0)
    result->problem = EverythingExcluded(result->folder, excluded);
  else
    result->problem = {.code = RunProblem::Code::kFolderEmpty, .path = result->folder};
}

std::optional<std::string> SitemapRun::LedgerPathOf(const GenerationInputs& inputs, const std::string& folder) {
  if (!inputs.ledgerPath.empty()) return inputs.ledgerPath;
  UrlText::BaseProblem problem{};
  const std::optional<std::string> base = UrlText::NormalisedBase(inputs.baseUrl, &problem);
  if (!base) return std::nullopt;
  std::error_code ignored;
  const std::filesystem::path real = std::filesystem::canonical(folder, ignored);
  return ContentLedger::DefaultPath(real.empty() ? folder : real.string(), *base);
}

void SitemapRun::Write(RunResult* result, int folder, const clFindInFolders& scanner,
                       const GenerationInputs& inputs, RunControl& control, std::optional<LedgerOpener>& opening) {
  // The programs check the base URL before a run, each in its own words.
  UrlText::BaseProblem problem{};
  const std::optional<std::string> base = UrlText::NormalisedBase(inputs.baseUrl, &problem);
  if (!base) {
    result->problem = {.code = RunProblem::Code::kBadBaseUrl, .detail = inputs.baseUrl, .baseProblem = problem};
    return;
  }
  GenerationInputs normalised = inputs;
  normalised.baseUrl = *base;

  // The ledger is locked before anything is written, and kept only once
  // the sitemap is in place.
  GitPageDates git;
  ContentLedger* ledger = nullptr;
  std::optional<ContentLedger> newLedger;
  std::optional<PageHistory> history;
  const std::time_t start = environment_.clock ? environment_.clock() : std::time(nullptr);
  if (inputs.lastModFromContent) {
    const std::string ledgerPath = *LedgerPathOf(inputs, result->folder);  // the base URL is valid
    const bool makeFolders = inputs.ledgerPath.empty();
    bool opened = false;
    if (opening && opening->Opens(ledgerPath, makeFolders)) {
      opened = opening->Wait();
      ledger = &opening->ledger();
    } else {
      opening.reset();  // another ledger was asked for since: this one's lock goes
      ledger = &newLedger.emplace();
      opened = ledger->Open(ledgerPath, makeFolders);
    }
    if (!opened) {
      result->problem = LedgerProblem(*ledger->problem());
      return;
    }
    if (environment_.ledgerCommitGate) ledger->GateCommit(environment_.ledgerCommitGate);
    history.emplace(*ledger, folder, result->folder,
                    inputs.digestText ? PageDigest::Kind::kText : PageDigest::Kind::kBytes, start);
    if (inputs.lastModFromGit) DateByGit(result, folder, scanner, inputs, control, &git, &*history);
  }

  result->writerRan = true;
  control.StartSteps(scanner.entries().size());
  SitemapWriter writer(Files(), environment_.clock);
  if (history) writer.UseHistory(&*history, scanner.stamps());
  writer.UseLinks(&scanner.links());
  result->written = writer.WriteSitemap(folder, result->folder, scanner.entries(), normalised, control);
  if (result->written && history) {
    if (history->Stage() && history->Commit()) {
      result->changeCounts = history->counts();
      result->changes = history->changes();
    } else {
      ContentLedger::Problem problem = *ledger->problem();
      problem.kind = ContentLedger::Problem::Kind::kNotUpdated;
      result->problem = LedgerProblem(problem);
    }
  }
  // Last: robots.txt names the sitemap only once the sitemap is in place.
  if (result->written && !result->problem && inputs.robotsSitemapLine && SearchSelection::AtHostRoot(*base)) {
    std::string error;
    if (!RobotsSitemapLine::Ensure(Files(), folder, result->folder, SearchSelection::SitemapUrl(*base), &error))
      result->problem = {.code = RunProblem::Code::kRobotsTxtNotUpdated,
                         .path = result->folder + "/" + std::string(SearchSelection::kRobotsTxt),
                         .detail = error};
  }
  result->path = writer.outputPath();
  result->urlCount = writer.urlCount();
  result->partCount = writer.partCount();
  result->gzip = normalised.gzip;
  result->warnings.Append(writer.warnings());
  if (result->written) return;
  const clFindInFolders::Excluded& excluded = scanner.excluded();
  if (control.terminateRequested())
    result->stopped = true;
  else if (writer.matchedCount() == 0 && excluded.pages + excluded.folders > 0)
    result->problem = EverythingExcluded({}, excluded);
  else
    result->problem = writer.problem();
}

// Pages git tracks, unchanged since their last commit, take that commit's
// date; the others keep the content rule.
void SitemapRun::DateByGit(RunResult* result, int folder, const clFindInFolders& scanner,
                           const GenerationInputs& inputs, RunControl& control, GitPageDates* git,
                           PageHistory* history) {
  git->Read(RealPathOf(folder, result->folder), PagePaths(scanner.entries(), PageSelection(inputs.extensions)),
            control.stopToken());
  history->UseDates([git](const std::string& path) { return git->DateOf(path); });
  if (git->historyCut() > 0)
    result->warnings.Add({.reason = Warning::Reason::kGitHistoryCut, .path = git->workTree(), .count = git->historyCut()});
  if (const auto& problem = git->problem())
    result->warnings.Add({.reason = Warning::Reason::kGitUnreadable, .path = problem->path, .detail = problem->cause});
}
