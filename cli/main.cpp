// nubika-sitemap-cli: the sitemap run for scripts and servers. It reads the
// settings file for anything not given on the command line and never
// writes it.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>

#include "app/SettingsFile.h"
#include "cli/CommandLine.h"
#include "job/ProgressText.h"
#include "scan/clFindInFolders.h"
#include "sitemap/SitemapWriter.h"

namespace {

constexpr int kSucceeded = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

std::atomic<bool> g_stop{false};
clFindInFolders* g_scanner = nullptr;

extern "C" void OnStopSignal(int) {
  g_stop = true;
  if (g_scanner) g_scanner->stopRequested = true;
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// Shows the percentage as the window does: rewritten in place on a
// terminal, otherwise only the last text, once the run is over.
class CliProgress : public RunControl {
 public:
  CliProgress(std::size_t total, bool quiet)
      : total_(static_cast<std::int64_t>(total)), quiet_(quiet), onTerminal_(isatty(STDERR_FILENO)) {}

  bool terminateRequested() const override { return g_stop; }

  // The 0.00% report that opens the writing stage.
  void Start() { Report(); }

  void StepProgress() override {
    ++processed_;
    Report();
  }

  void Finish() const {
    if (!quiet_ && !text_.text().empty()) std::cerr << (onTerminal_ ? "\n" : text_.text() + "%\n");
  }

 private:
  void Report() {
    if (text_.Update(processed_, total_) && onTerminal_ && !quiet_)
      std::cerr << '\r' << text_.text() << '%' << std::flush;
  }

  std::int64_t total_;
  bool quiet_;
  bool onTerminal_;
  std::uint32_t processed_ = 0;
  ProgressText text_;
};

// The folder a FOLDER argument stands for, or an error text.
bool ResolveFolder(const std::string& argument, std::string* folder, std::string* error) {
  struct stat st;
  if (stat(argument.c_str(), &st) != 0) {
    *error = argument + ": no such folder or file";
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *folder = argument;
    return true;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = argument + ": neither a folder nor a regular file";
    return false;
  }
  const auto slash = argument.rfind('/');
  *folder = slash == std::string::npos ? "." : slash == 0 ? "/" : argument.substr(0, slash);
  return true;
}

GenerationInputs InputsFrom(const CommandLine& line, const Settings& stored) {
  GenerationInputs inputs;
  inputs.baseUrl = line.baseUrl.value_or(stored.baseUrl);
  inputs.priority = line.priority.value_or(stored.priority);
  inputs.changeFreq = line.changeFreq.value_or(stored.changeFreq);
  inputs.lastMod = line.lastMod.value_or(stored.lastMod);
  inputs.mobile = line.mobile.value_or(stored.mobile);
  inputs.extensions = line.extensions ? SettingsFile::SplitExtensions(*line.extensions) : stored.extensions;
  return inputs;
}

void WarnAboutLimits(const clFindInFolders& scanner, const SitemapWriter& writer) {
  for (const auto& unlisted : scanner.unlistedFolders())
    std::cerr << "warning: could not list " << unlisted.path << ": " << unlisted.reason << '\n';
  for (const auto& url : writer.longUrls())
    std::cerr << "warning: URL longer than " << SitemapWriter::kMaxUrlLength
              << " characters: " << url.substr(0, 80) << "...\n";
  if (writer.urlCount() > SitemapWriter::kMaxUrls)
    std::cerr << "warning: " << writer.urlCount() << " URLs; a sitemap may hold at most "
              << SitemapWriter::kMaxUrls << '\n';
}

int Run(const CommandLine& line) {
  SettingsFile settingsFile(line.settingsPath.value_or(SettingsFile::DefaultPath()));
  Settings stored;
  if (!settingsFile.Load(&stored))
    std::cerr << "warning: could not read " << settingsFile.path() << "; using defaults\n";

  const std::string argument = line.folder.value_or(stored.localFolder);
  if (argument.empty()) {
    std::cerr << "nubika-sitemap-cli: no FOLDER given and none in " << settingsFile.path() << '\n';
    return kUsage;
  }
  std::string folder, error;
  if (!ResolveFolder(argument, &folder, &error)) {
    std::cerr << "nubika-sitemap-cli: " << error << '\n';
    return kFailed;
  }

  clFindInFolders scanner;
  g_scanner = &scanner;
  InstallStopHandlers();
  scanner.setLevel(1);
  const bool scanned = scanner.scanFolder(folder);
  if (!scanned || g_stop) {
    std::cerr << "nubika-sitemap-cli: stopped; the previous sitemap is unchanged\n";
    return kFailed;
  }
  if (scanner.entries().empty()) {
    std::cerr << "nubika-sitemap-cli: " << folder
              << (scanner.unlistedFolders().empty() ? ": the folder holds nothing\n"
                                                    : ": the folder cannot be listed: " +
                                                          scanner.unlistedFolders().front().reason + "\n");
    return kFailed;
  }

  CliProgress progress(scanner.entries().size(), line.quiet);
  progress.Start();
  SitemapWriter writer;
  const bool written = writer.WriteSitemap(folder, scanner.entries(), InputsFrom(line, stored), progress);
  if (written) progress.Finish();
  WarnAboutLimits(scanner, writer);
  if (!written) {
    if (g_stop)
      std::cerr << "nubika-sitemap-cli: stopped; the previous sitemap is unchanged\n";
    else
      std::cerr << "nubika-sitemap-cli: cannot write " << writer.errorText() << '\n';
    return kFailed;
  }
  if (!line.quiet) std::cout << writer.outputPath() << ' ' << writer.urlCount() << '\n';
  return kSucceeded;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  std::string message;
  switch (line.Parse(argc, argv, &message)) {
    case CommandLine::Outcome::kHelpShown:
      std::cout << message;
      return kSucceeded;
    case CommandLine::Outcome::kUsageError:
      std::cerr << "nubika-sitemap-cli: " << message << '\n';
      return kUsage;
    case CommandLine::Outcome::kRun:
      break;
  }
  return Run(line);
}
