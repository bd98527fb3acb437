#include "job/SitemapRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <new>
#include <thread>

#include "io/FolderLock.h"
#include "job/HeldFolderLister.h"
#include "scan/ExclusionRules.h"
#include "scan/clFindInFolders.h"
#include "sitemap/PageSelection.h"
#include "sitemap/SitemapFiles.h"
#include "sitemap/UrlText.h"
#include "text/clrelatedansistring.h"

namespace {

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
    for (const std::string& pattern : atStart.exclude) exclusions.Add(pattern);
    const PageSelection pages(atStart.extensions);
    HeldFolderLister heldRoot(folder);
    clFindInFolders scanner(environment_.lister ? environment_.lister : &heldRoot);
    scanner.setRules({.exclusions = &exclusions,
                      .followLinks = atStart.followLinks,
                      .isPage = [&pages](std::string_view name, std::uint16_t level) { return pages.Matches(name, level); },
                      .readModified = atStart.lastMod && atStart.lastModFromFile,
                      .checkNoindex = atStart.skipNoindex,
                      .readers = Readers()});
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
  if (!scanner.scanFolder(result->folder, control.stopToken())) {
    result->stopped = true;
    return;
  }
  for (const auto& unlisted : scanner.unlistedFolders())
    result->warnings.Add("could not list " + unlisted.path + ": " + unlisted.reason);
  // An empty list (an empty folder, or one that cannot be listed) has
  // nothing to write.
  if (scanner.entries().empty()) {
    result->error = result->folder + (scanner.unlistedFolders().empty()
                                          ? ": the folder holds nothing"
                                          : ": the folder cannot be listed: " +
                                                scanner.unlistedFolders().front().reason);
  }
}

void SitemapRun::Write(RunResult* result, int folder, const clFindInFolders& scanner,
                       const GenerationInputs& inputs, RunControl& control) {
  if (!UrlText::IsUsableBase(cls_Trim().trimSpaces(inputs.baseUrl), &result->error)) return;
  result->writerRan = true;
  control.StartSteps(scanner.entries().size());
  SitemapWriter writer(Files(), environment_.clock);
  result->written = writer.WriteSitemap(folder, result->folder, scanner.entries(), inputs, control);
  result->path = writer.outputPath();
  result->urlCount = writer.urlCount();
  result->partCount = writer.partCount();
  result->warnings.Append(writer.warnings());
  if (result->written) return;
  if (control.terminateRequested())
    result->stopped = true;
  else
    result->error = writer.errorText();
}
