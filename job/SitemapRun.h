#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "io/FileLayer.h"
#include "job/LedgerOpener.h"
#include "scan/DirectoryLister.h"
#include "scan/EntryList.h"
#include "scan/ScanRules.h"
#include "sitemap/ContentLedger.h"
#include "sitemap/GenerationInputs.h"
#include "sitemap/PageHistory.h"
#include "sitemap/RunControl.h"
#include "sitemap/RunProblem.h"
#include "sitemap/SitemapWriter.h"
#include "sitemap/WarningList.h"

class ExclusionRules;
class clFindInFolders;
class GitPageDates;
class RunWriter;

// What one run ended with, for the window's status and the command line's
// report.
struct RunResult {
  bool written = false;    // the sitemap is in place
  bool writerRan = false;  // writing began: the scan found entries
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
    // URLs per part; 0: the protocol's 50,000. Fewer only in tests.
    std::size_t urlsPerPart = 0;
    // The cores the run may use; 0: those the process may run on. With
    // one, the sitemap is written once the scan is over.
    int cores = 0;
  };
  // The inputs, asked for once, when the run starts: the window takes them
  // from its controls then.
  using InputsSource = std::function<GenerationInputs()>;

  SitemapRun() = default;
  explicit SitemapRun(Environment environment) : environment_(std::move(environment)) {}

  // The folder a path stands for: a folder itself, or the folder holding a
  // regular file (the current folder, in full, for a bare file name).
  // Anything else is refused with a reason.
  static bool ResolveFolder(const std::string& argument, std::string* folder, RunProblem* problem);

  // Runs the whole generation. Never throws: whatever goes wrong, running
  // out of memory included, ends as a failed result, and any earlier
  // sitemap stays. With more than one core, the sitemap is written on a
  // thread of its own while the scan goes on, in the scan's order; progress
  // is reported over what is left to write once the scan is over.
  RunResult Execute(const std::string& folderArgument, const InputsSource& inputs, RunControl& control);

 private:
  void RemoveLeftovers(int folder);
  static bool CheckInputs(const GenerationInputs& given, ExclusionRules* exclusions, GenerationInputs* normalised,
                          RunProblem* problem);
  void Generate(RunResult* result, int folder, const GenerationInputs& inputs, const ExclusionRules& exclusions,
                RunControl& control);
  void Scan(RunResult* result, clFindInFolders& scanner, std::stop_token stop);
  void Write(RunResult* result, int folder, const GenerationInputs& inputs, EntryList::Reader& reader,
             RunWriter& writer, const clFindInFolders& scanner, RunControl& control);
  void DateByGit(RunResult* result, int folder, const clFindInFolders& scanner, const GenerationInputs& inputs,
                 RunControl& control, GitPageDates* git, PageHistory* history);
  FileLayer& Files() const;
  int Cores() const;
  int Readers() const;
  bool WritesBehindWalk() const;

  Environment environment_;
};
