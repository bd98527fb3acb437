#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "io/FileLayer.h"
#include "job/LedgerOpener.h"
#include "scan/DirectoryLister.h"
#include "scan/ScanRules.h"
#include "sitemap/ContentLedger.h"
#include "sitemap/GenerationInputs.h"
#include "sitemap/PageHistory.h"
#include "sitemap/RunControl.h"
#include "sitemap/RunProblem.h"
#include "sitemap/SitemapWriter.h"
#include "sitemap/WarningList.h"

class clFindInFolders;
class GitPageDates;

// What one run ended with, for the window's status and the command line's
// report.
struct RunResult {
  bool written = false;    // the sitemap is in place
  bool writerRan = false;  // the scan ran to its end and writing began
  bool stopped = false;    // the user asked it to stop
  std::string folder;      // the folder the argument stood for
  std::string path;        // the sitemap's path, once known
  std::size_t urlCount = 0;
  std::size_t partCount = 0;  // 0: one sitemap; else the parts its index names
  WarningList warnings;    // what was left out: folders, files, URLs
  RunProblem problem;      // why nothing was written, unless stopped; with
                           // written, only kLedgerNotUpdated or
                           // kRobotsTxtNotUpdated
  bool gzip = false;       // the parts are gzip files
  // With a ledger: what changed since the last run that wrote the sitemap.
  std::optional<PageHistory::Counts> changeCounts;
  std::vector<PageHistory::Change> changes;
};

// One generation, from the folder the user named to the sitemap file: it
// resolves the folder, locks it against other runs, scans it and writes
// the sitemap. The desktop program's worker and the command line both run
// it; neither repeats its rules.
class SitemapRun {
 public:
  // What the run works with; anything left empty is the real thing.
  struct Environment {
    DirectoryLister* lister = nullptr;
    FileLayer* files = nullptr;
    SitemapWriter::Clock clock;
    int readers = 0;  // threads that read folders; 0: one per core
    ThreadStarter startThread = nullptr;  // how the run starts its threads; empty: std::jthread
    // Asked as the ledger's transaction commits; false makes the commit
    // fail (the ledger stays as it was). Empty: always true.
    std::function<bool()> ledgerCommitGate = {};
  };
  // The inputs, asked for when the run starts (what the scan needs) and
  // again once the scan is over (what the writer needs): the window takes
  // them from its controls at those moments.
  using InputsSource = std::function<GenerationInputs()>;

  SitemapRun() = default;
  explicit SitemapRun(Environment environment) : environment_(std::move(environment)) {}

  // The folder a path stands for: a folder itself, or the folder holding a
  // regular file (the current folder, in full, for a bare file name).
  // Anything else is refused with a reason.
  static bool ResolveFolder(const std::string& argument, std::string* folder, RunProblem* problem);

  // Runs the whole generation. Never throws: whatever goes wrong, running
  // out of memory included, ends as a failed result, and any earlier
  // sitemap stays.
  RunResult Execute(const std::string& folderArgument, const InputsSource& inputs, RunControl& control);

 private:
  void RemoveLeftovers(int folder);
  void Scan(RunResult* result, clFindInFolders& scanner, RunControl& control);
  void Write(RunResult* result, int folder, const clFindInFolders& scanner, const GenerationInputs& inputs,
             RunControl& control, std::optional<LedgerOpener>& opening);
  // Where the ledger of a run with these inputs on folder lies; none
  // while the base URL is not valid.
  static std::optional<std::string> LedgerPathOf(const GenerationInputs& inputs, const std::string& folder);
  void DateByGit(RunResult* result, int folder, const clFindInFolders& scanner, const GenerationInputs& inputs,
                 RunControl& control, GitPageDates* git, PageHistory* history);
  FileLayer& Files() const;
  int Readers() const;

  Environment environment_;
};
