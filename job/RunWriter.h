#pragma once
#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>

#include "job/LedgerOpener.h"
#include "job/SitemapRun.h"
#include "sitemap/ContentLedger.h"
#include "sitemap/PageHistory.h"
#include "sitemap/SitemapWriter.h"

// The writing side of one run: the sitemap writer and, with dates from
// content, the ledger and the page history; last, robots.txt's Sitemap:
// line. It begins with the first
// entry it takes, so that a run that finds nothing touches neither the
// sitemap nor the ledger. It takes entries on one thread at a time, any
// one: the thread that writes behind the walk, then the run's own.
class RunWriter {
 public:
  // folder: the run's locked folder, which folderPath names. inputs: with
  // the base URL checked and normalised. opening: the ledger of these
  // inputs, being opened while the folder is scanned; null: the ledger is
  // opened when the writing begins.
  RunWriter(const SitemapRun::Environment& environment, FileLayer& files, int folder, std::string folderPath,
            GenerationInputs inputs, LedgerOpener* opening = nullptr);

  // Where the ledger of a run with these inputs (the base URL normalised)
  // on folder lies.
  static std::string LedgerPathOf(const GenerationInputs& inputs, const std::string& folder);

  // Begins the writing, unless it has begun: the ledger, then the
  // sitemap. False once writing failed: nothing more is written, and
  // Finish says why.
  bool Start();
  // The next entry of the scan's list, with what the list keeps beside
  // it, begun with if need be. False once writing failed.
  bool Take(const clCompositionFolder& entry, const FileStamp* stamp = nullptr, const HeadLinks* links = nullptr);
  bool failed() const { return failed_; }
  // The pages' history, with dates from content, once begun; else null.
  PageHistory* history() { return history_ ? &*history_ : nullptr; }
  // The entries the extension list took, written or left out.
  std::size_t matchedCount() const { return writer_.matchedCount(); }

  // After the last entry, or after a failure: puts the sitemap in place
  // unless stop was asked for; only then is the ledger kept, and then
  // robots.txt given its Sitemap: line when asked. Fills what the result
  // says of the writing. The problem it sets is the ledger's or
  // robots.txt's; problem() is the writer's.
  void Finish(const std::stop_token& stop, RunResult* result);
  const RunProblem& problem() const { return writer_.problem(); }

 private:
  bool Begin();
  void AddSitemapLine(RunResult* result);

  const SitemapRun::Environment& environment_;
  FileLayer& files_;
  const int folder_;
  const std::string folderPath_;
  const GenerationInputs inputs_;
  LedgerOpener* opening_;
  SitemapWriter writer_;
  ContentLedger* ledger_ = nullptr;  // opening_'s or ownLedger_
  std::optional<ContentLedger> ownLedger_;
  std::optional<PageHistory> history_;
  bool begun_ = false;
  bool failed_ = false;
};
