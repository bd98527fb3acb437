#include "job/SitemapRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "io/FolderLock.h"
#include "job/HeldFolderLister.h"
#include "scan/ExclusionRules.h"
#include "scan/clFindInFolders.h"
#include "sitemap/PageSelection.h"
#include "sitemap/SitemapFiles.h"
#include "sitemap/UrlText.h"

namespace {

std::string Counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

// Why nothing is left to write when the exclusions took something.
std::string EverythingExcluded(const clFindInFolders::Excluded& excluded) {
  std::vector<std::string> parts;
  if (excluded.pages > 0) parts.push_back(Counted(excluded.pages, "page", "pages"));
  if (excluded.folders > 0) parts.push_back(Counted(excluded.folders, "folder", "folders"));
  if (excluded.others > 0) parts.push_back(Counted(excluded.others, "other entry", "other entries"));
  std::string text = excluded.pages + excluded.folders > 0 ? "every page is excluded" : "everything is excluded";
  text += ": the exclusion patterns left out ";
  for (std::size_t i = 0; i < parts.size(); ++i)
    text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  return text;
}

std::string FolderOfFile(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return std::filesystem::current_path().string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

bool SitemapRun::ResolveFolder(const std::string& argument, std::string* folder, std::string* error) {
  if (argument.empty()) {
    *error = "the folder name is empty";
    return false;
  }
  struct stat status;
  if (stat(argument.c_str(), &status) != 0) {
    *error = argument + ": no such folder or file";
    return false;
  }
  if (S_ISDIR(status.st_mode)) {
    *folder = argument;
    return true;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = argument + ": neither a folder nor a regular file";
    return false;
  }
  *folder = FolderOfFile(argument);
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
    if (!ResolveFolder(folderArgument, &result.folder, &result.error)) return result;
    FolderLock lock;
    if (!lock.TryLock(result.folder, &result.error)) return result;
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
      result.error = "exclusion pattern " + std::to_string(bad->number) + " is malformed: " + bad->line;
      return result;
    }
    const PageSelection pages(atStart.extensions);
    HeldFolderLister heldRoot(folder);
    clFindInFolders scanner(environment_.lister ? environment_.lister : &heldRoot);
    scanner.setRules({.exclusions = &exclusions,
                      .followLinks = atStart.followLinks,
                      .isPage = [&pages](std::string_view name, std::uint16_t level) { return pages.Matches(name, level); },
                      .readModified = atStart.lastMod && atStart.lastModFromFile,
                      .checkNoindex = atStart.skipNoindex,
                      .readLinks = atStart.canonical || atStart.hreflang,
                      .readers = Readers(),
                      .startThread = environment_.startThread});
    Scan(&result, scanner, control);
    if (!result.error.empty() || result.stopped) return result;
    Write(&result, folder, scanner, inputs(), control);
  } catch (const std::bad_alloc&) {
    result.written = false;
    result.error = "out of memory";
  } catch (const std::exception& error) {
    result.written = false;
    result.error = error.what();
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
    result->error = "could not open " + failure->path + ": " + failure->reason +
                    " (the scan had let go of every descriptor it could)";
    return;
  }
  if (!completed) {
    result->stopped = true;
    return;
  }
  if (const auto& shortfall = scanner.readerShortfall())
    result->warnings.Add("could start only " + std::to_string(shortfall->started) + " of " +
                         std::to_string(shortfall->asked) + " threads that read folders ahead (" +
                         shortfall->reason + "); the folders were read with fewer");
  for (const auto& unlisted : scanner.unlistedFolders())
    result->warnings.Add((unlisted.partly ? "could not list all of " : "could not list ") + unlisted.path + ": " +
                         unlisted.reason);
  // An empty list (an empty folder, one that cannot be listed, or one
  // whose every entry is excluded) has nothing to write.
  if (!scanner.entries().empty()) return;
  const clFindInFolders::Excluded& excluded = scanner.excluded();
  if (!scanner.unlistedFolders().empty())
    result->error = result->folder + ": the folder cannot be listed: " + scanner.unlistedFolders().front().reason;
  else if (excluded.pages + excluded.folders + excluded.others > 0)
    result->error = result->folder + ": " + EverythingExcluded(excluded);
  else
    result->error = result->folder + ": the folder holds nothing";
}

void SitemapRun::Write(RunResult* result, int folder, const clFindInFolders& scanner,
                       const GenerationInputs& inputs, RunControl& control) {
  // The programs check the base URL before a run, each in its own words.
  UrlText::BaseProblem problem{};
  const std::optional<std::string> base = UrlText::NormalisedBase(inputs.baseUrl, &problem);
  if (!base) {
    result->error = "the base URL is not usable: " + inputs.baseUrl;
    return;
  }
  GenerationInputs normalised = inputs;
  normalised.baseUrl = *base;
  result->writerRan = true;
  control.StartSteps(scanner.entries().size());
  SitemapWriter writer(Files(), environment_.clock);
  result->written = writer.WriteSitemap(folder, result->folder, scanner.entries(), normalised, control);
  result->path = writer.outputPath();
  result->urlCount = writer.urlCount();
  result->partCount = writer.partCount();
  result->warnings.Append(writer.warnings());
  if (result->written) return;
  const clFindInFolders::Excluded& excluded = scanner.excluded();
  if (control.terminateRequested())
    result->stopped = true;
  else if (writer.matchedCount() == 0 && excluded.pages + excluded.folders > 0)
    result->error = EverythingExcluded(excluded);
  else
    result->error = writer.errorText();
}
