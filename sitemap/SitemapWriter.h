#pragma once
#include <cstddef>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "job/GenerationInputs.h"
#include "job/RunControl.h"
#include "scan/clCompositionFolder.h"
#include "sitemap/FileLayer.h"

// Turns a scan's pre-order list into "nubika_sitemap.xml" in the scanned
// folder: one <url> block per file whose extension is in the list, with the
// options' date, change frequency, priority and mobile marker.
//
// The file is replaced safely: until the whole sitemap is written and
// synced, any earlier sitemap stays exactly as it was.
class SitemapWriter {
 public:
  static constexpr const char* kFileName = "nubika_sitemap.xml";
  // The Sitemaps protocol's limits; the writer keeps going past them and
  // lets the caller warn.
  static constexpr std::size_t kMaxUrlLength = 2048;
  static constexpr std::size_t kMaxUrls = 50000;

  using Clock = std::function<std::time_t()>;

  explicit SitemapWriter(FileLayer& files = PosixFileLayer::Instance(), Clock clock = {});

  // Returns true when the whole sitemap was written and is in place.
  // Polls control.terminateRequested() before each entry and before each
  // of the file's three parts, and calls StepProgress() once per entry.
  bool WriteSitemap(const std::string& targetFolder,
                    const std::vector<clCompositionFolder>& entries,
                    const GenerationInputs& inputs, RunControl& control);

  // targetFolder + "/nubika_sitemap.xml", set first thing by WriteSitemap.
  const std::string& outputPath() const { return outputPath_; }
  // Why the last call failed: the path and the system's reason.
  const std::string& errorText() const { return errorText_; }
  std::size_t urlCount() const { return urlCount_; }
  const std::vector<std::string>& longUrls() const { return longUrls_; }

 private:
  class UrlBuilder;
  const std::string& DateOf(std::time_t now);

  FileLayer& files_;
  Clock clock_;
  std::string outputPath_;
  std::string errorText_;
  std::size_t urlCount_ = 0;
  std::vector<std::string> longUrls_;
  std::time_t dateTime_ = -1;
  std::string date_;
};
