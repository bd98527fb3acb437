#include "job/SitemapRun.h"

#include <sched.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "io/FolderLock.h"
#include "job/HeldFolderLister.h"
#include "job/LedgerOpener.h"
#include "job/RunWriter.h"
#include "job/WritingThread.h"
#include "scan/ExclusionRules.h"
#include "scan/clFindInFolders.h"
#include "sitemap/GitPageDates.h"
#include "sitemap/PageSelection.h"
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

// The paths below the folder of the regular files the extension list
// takes, as the writer names them: the pages it will date. Entries at
// level n lie in the folder folders[n - 1] names ("" or ending in "/").
std::vector<std::string> PagePaths(const EntryList& entries, const PageSelection& selection) {
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

// The cores this process may run on, as taskset or a container's CPU set
// gives them.
int UsableCores() {
  cpu_set_t cores;
  if (sched_getaffinity(0, sizeof cores, &cores) == 0) return std::max(1, CPU_COUNT(&cores));
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
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

int SitemapRun::Cores() const { return environment_.cores > 0 ? environment_.cores : UsableCores(); }

int SitemapRun::Readers() const { return environment_.readers > 0 ? environment_.readers : Cores(); }

// Writing behind the walk takes a second core, whatever the number of
// readers, and a descriptor or two beyond the walk's: as much room as one
// reader ahead of the walk needs. With one core a thread would only take
// turns with the walk.
bool SitemapRun::WritesBehindWalk() const { return Cores() > 1 && clFindInFolders::ReadersAhead(2) > 0; }

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
    // The inputs are read once, as the run starts, for the scan and the
    // writer alike: the writer works while the scan goes on. The window
    // keeps its inputs disabled during a run, so a later read would give
    // the same values; a command-line run of the window starts only once
    // its settings are loaded.
    const GenerationInputs given = inputs();
    ExclusionRules exclusions;
    GenerationInputs normalised;
    if (!CheckInputs(given, &exclusions, &normalised, &result.problem)) return result;
    Generate(&result, folder, normalised, exclusions, control);
  } catch (const std::bad_alloc&) {
    result.written = false;
    result.problem = {.code = RunProblem::Code::kOutOfMemory};
  } catch (const std::exception& error) {
    result.written = false;
    result.problem = {.code = RunProblem::Code::kInternal, .detail = error.what()};
  }
  return result;
}

// The programs check the patterns and the base URL before a run, each in
// its own words; the run checks them again, and normalises the base URL.
bool SitemapRun::CheckInputs(const GenerationInputs& given, ExclusionRules* exclusions, GenerationInputs* normalised,
                             RunProblem* problem) {
  if (const auto bad = exclusions->AddAll(given.exclude)) {
    *problem = {.code = RunProblem::Code::kBadExclusion, .detail = bad->line, .count = bad->number};
    return false;
  }
  // Nothing could be a page: better said now than after the scan.
  if (given.extensions.empty()) {
    *problem = {.code = RunProblem::Code::kNoExtensions};
    return false;
  }
  UrlText::BaseProblem baseProblem{};
  const std::optional<std::string> base = UrlText::NormalisedBase(given.baseUrl, &baseProblem);
  if (!base) {
    *problem = {.code = RunProblem::Code::kBadBaseUrl, .detail = given.baseUrl, .baseProblem = baseProblem};
    return false;
  }
  *normalised = given;
  normalised->baseUrl = *base;
  return true;
}

// The scan, and the writing of what it records: with cores to spare, on a
// second thread behind the walk; what is left when the walk is over, on
// this one.
void SitemapRun::Generate(RunResult* result, int folder, const GenerationInputs& inputs,
                          const ExclusionRules& exclusions, RunControl& control) {
  const PageSelection pages(inputs.extensions);
  HeldFolderLister heldRoot(folder);
  clFindInFolders scanner(environment_.lister ? environment_.lister : &heldRoot);
  // The run's stop, and the writer's when writing fails.
  std::stop_source walkStop;
  const std::stop_callback forward(control.stopToken(), [&walkStop] { walkStop.request_stop(); });
  scanner.setRules({.exclusions = &exclusions,
                    .followLinks = inputs.followLinks,
                    .isPage = [&pages](std::string_view name, std::uint16_t level) { return pages.Matches(name, level); },
                    .readModified = inputs.lastMod && inputs.lastModFromFile,
                    // Content dates compare each page's size and time with the ledger's.
                    .readStamps = inputs.lastModFromContent,
                    .checkNoindex = inputs.skipNoindex,
                    .readLinks = inputs.canonical || inputs.hreflang,
                    .folderPageNames = inputs.folderUrls ? inputs.indexNames : std::vector<std::string>{},
                    .readers = Readers(),
                    .startThread = environment_.startThread,
                    .filesSeen = control.filesSeen()});
  // A ledger kept from earlier runs is locked and read while the folder
  // is scanned; a new one is made once the writing starts.
  std::optional<LedgerOpener> ledger;
  if (inputs.lastModFromContent) {
    const std::string ledgerPath = RunWriter::LedgerPathOf(inputs, result->folder);
    struct stat status;
    if (stat(ledgerPath.c_str(), &status) == 0 && S_ISREG(status.st_mode))
      ledger.emplace(ledgerPath, inputs.ledgerPath.empty(), environment_.startThread);
  }
  RunWriter writer(environment_, Files(), folder, result->folder, inputs, ledger ? &*ledger : nullptr);
  EntryList::Reader reader(scanner.entries());
  {
    // Dates from git are read once for every page the walk found: such a
    // run writes once the walk is over.
    std::optional<WritingThread> behind;
    if (WritesBehindWalk() && !inputs.lastModFromGit)
      behind.emplace(scanner.entries(), reader, writer, walkStop, environment_.startThread);
    Scan(result, scanner, walkStop.get_token());
    if (behind) behind->Join();
  }
  if (writer.failed()) {
    // It stopped the walk: its failure is the run's.
    result->problem = {};
    result->stopped = false;
  } else if (result->problem || result->stopped) {
    return;
  }
  Write(result, folder, inputs, reader, writer, scanner, control);
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

void SitemapRun::Scan(RunResult* result, clFindInFolders& scanner, std::stop_token stop) {
  scanner.setLevel(1);
  const bool completed = scanner.scanFolder(result->folder, std::move(stop));
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

// What the writer has not taken while the walk ran is written now, with
// progress over it.
void SitemapRun::Write(RunResult* result, int folder, const GenerationInputs& inputs, EntryList::Reader& reader,
                       RunWriter& writer, const clFindInFolders& scanner, RunControl& control) {
  GitPageDates git;  // asked for dates while the pages are written
  if (!writer.failed()) control.StartSteps(scanner.entries().size() - reader.taken());
  if (writer.Start()) {
    if (inputs.lastModFromGit && writer.history()) DateByGit(result, folder, scanner, inputs, control, &git, writer.history());
    while (const clCompositionFolder* entry = reader.Next()) {
      if (control.terminateRequested()) break;
      control.StepProgress();
      if (!writer.Take(*entry, reader.stamp(), reader.links())) break;
    }
  }
  writer.Finish(control.stopToken(), result);
  if (result->written || result->problem) return;
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
