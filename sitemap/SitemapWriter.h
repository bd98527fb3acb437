#pragma once
#include <cstddef>
#include <ctime>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "io/FileLayer.h"
#include "scan/FileStamp.h"
#include "scan/HeadLinks.h"
#include "scan/clCompositionFolder.h"
#include "sitemap/GenerationInputs.h"
#include "sitemap/PageHistory.h"
#include "sitemap/RunControl.h"
#include "sitemap/RunProblem.h"
#include "sitemap/WarningList.h"

class PageSelection;
class SearchSelection;
class SitemapSet;

// Turns a scan's pre-order list into "nubika_sitemap.xml" in the scanned
// folder: one <url> block per page, that is per regular file whose
// extension is in the list, with the options' date, change frequency,
// priority and mobile marker. A site beyond the protocol's limits gets a
// sitemap index and parts (SitemapSet).
//
// With folder URLs, the pages the scan marked as their folder's page are
// written as the folder's URL.
//
// Pages no consumer could use are left out and reported: entries that are
// no regular file (a FIFO, a device, a dangling link) and URLs longer than
// the protocol allows; so are pages marked noindex when asked. The
// program's own files are never pages. A sitemap without a single page is
// not written, as the schema refuses it.
//
// The search engine options (--canonical, --robots-txt, --hreflang) are
// SearchSelection's, asked of each page as it is taken, with the links
// of its head; the language clusters are checked once every page is in.
//
// Until the whole new sitemap is in place, any earlier one stays exactly
// as it was.
class SitemapWriter {
 public:
  static constexpr const char* kFileName = "nubika_sitemap.xml";
  static constexpr std::size_t kMaxUrlLength = 2048;
  // How much of a URL too long a warning keeps.
  static constexpr std::size_t kKeptUrlLength = 1024;

  using Clock = std::function<std::time_t()>;

  explicit SitemapWriter(FileLayer& files = PosixFileLayer::Instance(), Clock clock = {});
  ~SitemapWriter();
  SitemapWriter(const SitemapWriter&) = delete;
  SitemapWriter& operator=(const SitemapWriter&) = delete;

  // Returns true when the whole sitemap was written and is in place.
  // Stops at the stop signal of control, checked before each entry and
  // before the file is settled, and calls StepProgress() once per entry.
  // folder: targetFolder, open; every file is written through it.
  // entries: the scan's records in pre-order (any range of them); they
  // come without head links (Take takes those).
  template <typename Entries>
  bool WriteSitemap(int folder, const std::string& targetFolder, const Entries& entries,
                    const GenerationInputs& inputs, RunControl& control) {
    if (!Begin(folder, targetFolder, inputs)) return false;
    std::size_t place = 0;
    for (const clCompositionFolder& entry : entries) {
      const bool stopped = control.terminateRequested();
      if (!stopped) control.StepProgress();
      const FileStamp* stamp = entry.isStamped() && place < stamps_.size() ? &stamps_[place] : nullptr;
      ++place;
      if (stopped || !Take(entry, stamp)) {
        Abandon();
        return false;
      }
    }
    return Finish(control.stopToken());
  }
  // The same, with targetFolder opened for the call.
  template <typename Entries>
  bool WriteSitemap(const std::string& targetFolder, const Entries& entries, const GenerationInputs& inputs,
                    RunControl& control) {
    const int folder = OpenFolder(targetFolder);
    if (folder < 0) return false;
    const bool written = WriteSitemap(folder, targetFolder, entries, inputs, control);
    CloseFolder(folder);
    return written;
  }

  // The same in steps, for entries that come while the scan goes on:
  // Begin, Take for each entry in the list's order, then Finish.
  bool Begin(int folder, const std::string& targetFolder, const GenerationInputs& inputs);
  // One entry: a folder is kept for the URLs of the entries below it, a
  // page gets its <url> block. stamp: the scan's size and time of the
  // page, when it kept them. links: the canonical and language links of
  // its head, when the scan read them and it has any; only for the call.
  // False once writing failed (problem()).
  bool Take(const clCompositionFolder& entry, const FileStamp* stamp = nullptr, const HeadLinks* links = nullptr);
  // After the last entry: checks the language clusters, then puts the
  // sitemap in place, unless stop was asked for first or it would have no
  // page.
  bool Finish(const std::stop_token& stop);
  // Leaves what was begun: any earlier sitemap stays as it was.
  void Abandon();

  // Pages are dated by their history (with lastMod) and their changes noted
  // there; the ledger's own files are no pages. Not owned; null: none.
  // stamps: the scan's sizes and times of the entries, by their place in
  // the list (clFindInFolders::stamps()); empty: the history reads them.
  void UseHistory(PageHistory* history, std::span<const FileStamp> stamps = {}) {
    history_ = history;
    stamps_ = stamps;
  }

  // Parts of at most this many URLs instead of the protocol's 50,000, so
  // that tests see sets of many parts from small sites.
  void LimitParts(std::size_t urlsPerPart) { urlsPerPart_ = urlsPerPart; }

  // targetFolder + "/nubika_sitemap.xml", set first thing by WriteSitemap.
  const std::string& outputPath() const { return outputPath_; }
  // Why the last call failed.
  const RunProblem& problem() const { return problem_; }
  std::size_t urlCount() const { return urlCount_; }
  // The entries the extension list took, written or left out.
  std::size_t matchedCount() const { return matchedCount_; }
  // 0 for a single sitemap, else the parts its index names.
  std::size_t partCount() const { return partCount_; }
  // The pages left out, one entry each.
  const WarningList& warnings() const { return warnings_; }

 private:
  class UrlBuilder;
  const std::string& DateOf(std::time_t time);
  bool Fail(RunProblem::Code code, std::string detail = {});
  void LeaveOut(Warning::Reason reason, const std::string& name, const std::string& url = {});
  int OpenFolder(const std::string& targetFolder);
  void CloseFolder(int folder);

  FileLayer& files_;
  Clock clock_;
  PageHistory* history_ = nullptr;
  std::span<const FileStamp> stamps_;
  std::size_t urlsPerPart_ = 0;  // 0: the protocol's
  // What Begin set up for the entries.
  GenerationInputs inputs_;
  std::unique_ptr<PageSelection> selection_;
  std::unique_ptr<UrlBuilder> urls_;
  std::unique_ptr<SitemapSet> out_;
  std::unique_ptr<SearchSelection> search_;
  std::string block_;
  std::string outputPath_;
  RunProblem problem_;
  std::size_t urlCount_ = 0;
  std::size_t matchedCount_ = 0;
  std::size_t partCount_ = 0;
  WarningList warnings_;
  // Local dates by quarter hour: every time zone's day starts on one.
  std::unordered_map<std::time_t, std::string> dates_;
};
