// Disk full and I/O errors at every step of replacing the sitemap and the
// settings file: the step fails, the run says so, the previous file keeps
// every byte and no temporary file is left beside it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "FaultyFileLayer.h"
#include "SitemapCheck.h"
#include "TestSupport.h"
#include "settings/SettingsFile.h"
#include "sitemap/SitemapWriter.h"

namespace {

using Step = FaultyFileLayer::Step;
using NeverStop = ScriptedControl;

// Enough pages in enough folders that the sitemap is written in several
// buffered pieces, so that a failure can hit the first, a middle and the
// last write.
std::vector<clCompositionFolder> LargeSite() {
  std::vector<clCompositionFolder> entries;
  for (int folder = 0; folder < 40; ++folder) {
    entries.emplace_back(1, "section-" + std::to_string(folder), 1);
    for (int page = 0; page < 500; ++page)
      entries.emplace_back(2, "page-" + std::to_string(page) + ".html", 0);
  }
  return entries;
}

GenerationInputs AllOptions() {
  GenerationInputs inputs;
  inputs.baseUrl = "https://example.jp/";
  inputs.priority = inputs.changeFreq = inputs.lastMod = true;
  inputs.extensions = {"html"};
  return inputs;
}

struct Fault {
  Step step;
  int nth;
};

std::string Describe(const Fault& fault, int errorNumber) {
  return std::string(FaultyFileLayer::NameOf(fault.step)) + " #" + std::to_string(fault.nth) + " " +
         std::strerror(errorNumber);
}

// Every call of every step that the given action makes on a clean run.
template <typename Action>
std::vector<Fault> EveryCall(const std::vector<Step>& steps, Action action) {
  FaultyFileLayer counting(Step::kInspect, 0, 0);
  EXPECT_TRUE(action(counting));
  std::vector<Fault> faults;
  for (Step step : steps)
    for (int nth = 1; nth <= counting.CallsOf(step); ++nth) faults.push_back({step, nth});
  return faults;
}

const std::vector<Step> kFatalSitemapSteps = {Step::kInspect, Step::kCreateTemp, Step::kSetMode, Step::kWrite,
                                              Step::kFlush,   Step::kClose,      Step::kRename};

TEST(SitemapWriteFaults, EveryFailingStepKeepsThePreviousSitemap) {
  TempFolder site;
  const std::string target = site / SitemapWriter::kFileName;
  const auto entries = LargeSite();
  NeverStop control;
  // The folder held open, as a run holds it: every call counted is one
  // made for the sitemap's files.
  const int folder = open(site.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(folder, 0);
  const auto faults = EveryCall(kFatalSitemapSteps, [&](FileLayer& files) {
    SitemapWriter writer(files);
    return writer.WriteSitemap(folder, site.path(), entries, AllOptions(), control);
  });
  ASSERT_GE(faults.size(), 10u) << "the sitemap should take several writes";

  const std::string previous = ReadFile(target);
  RecordProperty("cases", static_cast<int>(faults.size() * 2));
  for (int errorNumber : {ENOSPC, EIO}) {
    for (const Fault& fault : faults) {
      SCOPED_TRACE(Describe(fault, errorNumber));
      FaultyFileLayer files(fault.step, fault.nth, errorNumber);
      SitemapWriter writer(files);
      EXPECT_FALSE(writer.WriteSitemap(folder, site.path(), entries, AllOptions(), control));
      EXPECT_TRUE(files.Fired());
      EXPECT_NE(writer.errorText().find(std::strerror(errorNumber)), std::string::npos) << writer.errorText();
      EXPECT_EQ(ReadFile(target), previous);
      EXPECT_EQ(site.Leftovers(), std::vector<std::string>{});
    }
  }
  close(folder);
}

// The first sitemap of a folder: a failure leaves no file at all, not an
// empty or partial one.
TEST(SitemapWriteFaults, FailingFirstWriteLeavesNoFile) {
  TempFolder site;
  const auto entries = LargeSite();
  NeverStop control;
  for (Step step : kFatalSitemapSteps) {
    SCOPED_TRACE(FaultyFileLayer::NameOf(step));
    FaultyFileLayer files(step, 1, ENOSPC);
    SitemapWriter writer(files);
    EXPECT_FALSE(writer.WriteSitemap(site.path(), entries, AllOptions(), control));
    EXPECT_EQ(site.Names(), std::vector<std::string>{});
    EXPECT_EQ(site.Leftovers(), std::vector<std::string>{});
  }
}

// Once the new file is renamed into place it is complete; a folder that
// cannot be synced afterwards must not turn that into a reported failure
// with a new file on disk.
TEST(SitemapWriteFaults, FolderSyncFailureAfterRenameStillGivesTheCompleteSitemap) {
  TempFolder site;
  NeverStop control;
  FaultyFileLayer files(Step::kSyncFolder, 1, EIO);
  SitemapWriter writer(files);
  ASSERT_TRUE(writer.WriteSitemap(site.path(), LargeSite(), AllOptions(), control));
  const auto parsed = SitemapCheck::Parse(ReadFile(site / SitemapWriter::kFileName));
  EXPECT_TRUE(parsed.wellFormed) << parsed.error;
  EXPECT_EQ(parsed.locs.size(), 40u * 500u);
}

Settings SomeSettings(const std::string& folder) {
  Settings settings;
  settings.localFolder = folder;
  settings.inputs.baseUrl = "https://example.jp/";
  settings.inputs.priority = settings.inputs.mobile = true;
  settings.inputs.extensions = {"html", "htm"};
  return settings;
}

TEST(SettingsSaveFaults, EveryFailingStepKeepsThePreviousSettings) {
  TempFolder config;
  const std::string path = config / "Setting.ini";
  const std::vector<Step> steps = {Step::kMakeFolders, Step::kOpenFolder, Step::kInspect, Step::kCreateTemp,
                                   Step::kSetMode,     Step::kWrite,      Step::kFlush,   Step::kClose,
                                   Step::kRename};
  auto faults = EveryCall(steps, [&](FileLayer& files) {
    return SettingsFile(path, files).Save(SomeSettings("/srv/www/old"));
  });
  // The last close lets go of the folder, once the file is in place: its
  // failure changes nothing written.
  const auto folderClose =
      std::find_if(faults.rbegin(), faults.rend(), [](const Fault& f) { return f.step == Step::kClose; });
  ASSERT_NE(folderClose, faults.rend());
  faults.erase(std::next(folderClose).base());
  const std::string previous = ReadFile(path);
  RecordProperty("cases", static_cast<int>(faults.size() * 2));
  for (int errorNumber : {ENOSPC, EIO}) {
    for (const Fault& fault : faults) {
      SCOPED_TRACE(Describe(fault, errorNumber));
      FaultyFileLayer files(fault.step, fault.nth, errorNumber);
      SettingsFile settingsFile(path, files);
      EXPECT_FALSE(settingsFile.Save(SomeSettings("/srv/www/new")));
      EXPECT_EQ(settingsFile.error().rfind(path + ": ", 0), 0u) << settingsFile.error();
      EXPECT_NE(settingsFile.error().find(std::strerror(errorNumber)), std::string::npos) << settingsFile.error();
      EXPECT_EQ(ReadFile(path), previous);
      EXPECT_EQ(config.Leftovers(), std::vector<std::string>{});
      Settings loaded;
      ASSERT_TRUE(SettingsFile(path).Load(&loaded));
      EXPECT_EQ(loaded, SomeSettings("/srv/www/old"));
    }
  }
}

}  // namespace
