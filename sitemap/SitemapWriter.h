#pragma once
#include <cstddef>
#include <ctime>
#include <functional>
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

// Turns a scan's pre-order list into "nubika_sitemap.xml" in the scanned
// folder: one <url> block per page, that is per regular file whose
// extension is in the list, with the options' date, change frequency,
// priority and mobile marker. A site beyond the protocol's limits gets a
// sitemap index and parts (SitemapSet).
//
// Pages no consumer could use are left out and reported: entries that are
// no regular file (a FIFO, a device, a dangling link) and URLs longer than
// the protocol allows; so are pages marked noindex when asked. The
// program's own files are never pages. A sitemap without a single page is
// not written, as the schema refuses it.
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

  // Returns true when the whole sitemap was written and is in place.
  // Stops at the stop signal of control, checked before each entry and
  // before the file is settled, and calls StepProgress() once per entry.
  // folder: targetFolder, open; every file is written through it.
  bool WriteSitemap(int folder, const std::string& targetFolder,
                    std::span<const clCompositionFolder> entries,
                    const GenerationInputs& inputs, RunControl& control);
  // The same, with targetFolder opened for the call.
  bool WriteSitemap(const std::string& targetFolder,
                    std::span<const clCompositionFolder> entries,
                    const GenerationInputs& inputs, RunControl& control);

  // Pages are dated by their history (with lastMod) and their changes noted
  // there; the ledger's own files are no pages. Not owned; null: none.
  // stamps: the scan's sizes and times of the entries, by their place in
  // the list (clFindInFolders::stamps()); empty: the history reads them.
  void UseHistory(PageHistory* history, std::span<const FileStamp> stamps = {}) {
    history_ = history;
    stamps_ = stamps;
  }
  // The scan's head links, which the entries' linksNumber() point into;
  // --canonical and --hreflang read them. Must outlive the writing.
  void UseLinks(const std::vector<HeadLinks>* links) { links_ = links; }

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

  FileLayer& files_;
  Clock clock_;
  PageHistory* history_ = nullptr;
  std::span<const FileStamp> stamps_;
  const std::vector<HeadLinks>* links_ = nullptr;
  std::string outputPath_;
  RunProblem problem_;
  std::size_t urlCount_ = 0;
  std::size_t matchedCount_ = 0;
  std::size_t partCount_ = 0;
  WarningList warnings_;
  // Local dates by quarter hour: every time zone's day starts on one.
  std::unordered_map<std::time_t, std::string> dates_;
};
