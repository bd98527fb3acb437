// nubika-sitemap-cli: the sitemap run for scripts and servers. It reads the
// settings file for anything not given on the command line and never
// writes it.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stop_token>
#include <system_error>
#include <thread>

#include "cli/CommandLine.h"
#include "cli/ProblemText.h"
#include "io/SafeOutputFile.h"
#include "job/IndexNowSubmission.h"
#include "job/ProgressText.h"
#include "job/SitemapRun.h"
#include "scan/ExclusionRules.h"
#include "settings/SettingsFile.h"
#include "sitemap/UrlText.h"
#include "text/AsciiText.h"
#include "text/clrelatedansistring.h"

namespace {

constexpr int kSucceeded = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kNotSubmitted = 3;  // written, but IndexNow did not take the changes

// SIGINT and SIGTERM stop the run. They are blocked in every thread and
// taken by one watcher, which may do what a signal handler may not. When
// the system gives no thread for it, they keep ending the program at once,
// which leaves the previous sitemap as a stop does.
void WatchStopSignals(std::stop_source stop) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  try {
    std::thread([signals, stop]() mutable {
      int taken = 0;
      sigwait(&signals, &taken);
      stop.request_stop();
    }).detach();
  } catch (const std::system_error&) {
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
  }
}

// Shows the percentage as the window does: rewritten in place on a
// terminal, otherwise only the last text, once the run is over.
class CliProgress : public RunControl {
 public:
  CliProgress(std::stop_source stop, bool quiet)
      : stop_(std::move(stop)), quiet_(quiet), onTerminal_(isatty(STDERR_FILENO)) {}

  std::stop_token stopToken() const override { return stop_.get_token(); }

  void StartSteps(std::size_t total) override {
    total_ = static_cast<std::int64_t>(total);
    Report();
  }

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

  std::stop_source stop_;
  std::int64_t total_ = 0;
  bool quiet_;
  bool onTerminal_;
  std::uint32_t processed_ = 0;
  ProgressText text_;
};

// The exclusions of the run: the --exclude-from files, then the --exclude
// values (the later ones win, so the command line refines a file), or the
// stored list when neither is given. Every line is checked here, so that a
// malformed one stops the run before anything is written.
bool ReadExclusions(const CommandLine& line, const Settings& stored, const std::string& settingsPath,
                    ExclusionRules* rules, std::string* problem) {
  if (line.exclude.empty() && line.excludeFrom.empty()) {
    const auto bad = rules->AddAll(stored.inputs.exclude);
    if (bad)
      *problem = ProblemText::OfPattern(*bad, "EXCLUDE entry " + std::to_string(bad->number) + " in " + settingsPath);
    return !bad;
  }
  for (const std::string& path : line.excludeFrom) {
    ExclusionRules::FileProblem fileProblem;
    if (rules->AddFile(path, &fileProblem)) continue;
    if (fileProblem.badLine)
      *problem = ProblemText::OfPattern(*fileProblem.badLine,
                                        "line " + std::to_string(fileProblem.badLine->number) + " of " + path);
    else
      *problem = "--exclude-from: " + path + ": " + std::strerror(fileProblem.readError);
    return false;
  }
  const auto bad = rules->AddAll(line.exclude);
  if (bad) *problem = ProblemText::OfPattern(*bad, "--exclude number " + std::to_string(bad->number));
  return !bad;
}

// A comma-separated option, as the window takes an entry: spaces at the
// ends of each piece dropped, empty pieces and repeats skipped.
std::vector<std::string> TrimmedList(const std::string& value) {
  std::vector<std::string> pieces;
  for (const std::string& piece : SettingsFile::SplitExtensions(value)) {
    std::string trimmed = cls_Trim().trimSpaces(piece);
    if (!trimmed.empty() && std::find(pieces.begin(), pieces.end(), trimmed) == pieces.end())
      pieces.push_back(std::move(trimmed));
  }
  return pieces;
}

GenerationInputs InputsFrom(const CommandLine& line, const GenerationInputs& stored) {
  GenerationInputs inputs = stored;
  const auto take = [](auto& value, const auto& given) {
    if (given) value = *given;
  };
  take(inputs.baseUrl, line.baseUrl);
  take(inputs.priority, line.priority);
  take(inputs.changeFreq, line.changeFreq);
  take(inputs.lastMod, line.lastMod);
  take(inputs.mobile, line.mobile);
  take(inputs.lastModFromFile, line.lastModFromFile);
  take(inputs.lastModFromContent, line.lastModFromContent);
  take(inputs.lastModFromGit, line.lastModFromGit);
  take(inputs.digestText, line.digestText);
  take(inputs.ledgerPath, line.ledger);
  take(inputs.skipNoindex, line.skipNoindex);
  take(inputs.folderUrls, line.folderUrls);
  take(inputs.followLinks, line.followLinks);
  take(inputs.gzip, line.gzip);
  take(inputs.canonical, line.canonical);
  take(inputs.robotsTxt, line.robotsTxt);
  take(inputs.robotsAgent, line.robotsAgent);
  take(inputs.robotsSitemapLine, line.robotsSitemapLine);
  take(inputs.hreflang, line.hreflang);
  if (line.extensions) inputs.extensions = TrimmedList(*line.extensions);
  if (line.indexNames) inputs.indexNames = TrimmedList(*line.indexNames);
  return inputs;
}

// The stored inputs. A file named with --settings that cannot be read is
// an error: the user asked for those settings, and the defaults would
// write some other sitemap. (One that does not exist is refused as a
// usage error before.) The usual file, which the user did not name, falls
// back to the defaults with a warning.
bool LoadSettings(SettingsFile& settingsFile, bool named, Settings* stored) {
  if (!settingsFile.Load(stored)) {
    if (named) {
      std::cerr << "nubika-sitemap-cli: --settings: " << settingsFile.error() << '\n';
      return false;
    }
    std::cerr << "warning: " << settingsFile.error() << "; using defaults\n";
  }
  for (const SettingsFile::Warning& warning : settingsFile.warnings()) {
    std::string values;
    for (const std::string& value : warning.values) values += (values.empty() ? "" : " or ") + value;
    std::cerr << "warning: " << settingsFile.path() << ": " << warning.key << ": "
              << SettingsFile::Encoded(warning.value) << " is not " << values << "; read as " << warning.readAs
              << '\n';
  }
  return true;
}

// The change list, one line per URL: A, M or D, a tab, the URL; from the
// first not submitted to IndexNow on, after a "!". It replaces the file at
// once, as the sitemap is replaced.
bool WriteChanges(const std::string& path, const std::vector<PageHistory::Change>& changes, std::size_t submitted) {
  std::string text;
  for (std::size_t i = 0; i < changes.size(); ++i)
    text.append(i < submitted ? "" : "!").append(1, changes[i].kind).append("\t").append(changes[i].url).append("\n");
  FileLayer& files = PosixFileLayer::Instance();
  const std::string folder = AsciiText::FolderOf(path);
  const std::string name(AsciiText::NameOf(path));
  std::string reason;
  const int folderFd = files.OpenFolder(folder, &reason);
  bool written = false;
  if (folderFd >= 0) {
    SafeOutputFile out(files, folderFd, path.find('/') == std::string::npos ? "" : folder, "." + name + ".tmp-");
    written = out.Open(name) && out.Write(text) && out.Commit();
    if (!written) reason = out.error();
    files.Close(folderFd, &reason);
  } else {
    reason = path + ": " + reason;
  }
  if (!written)
    std::cerr << "nubika-sitemap-cli: the sitemap and the ledger are written, but not the change list: " << reason
              << '\n';
  return written;
}

// Why --indexnow cannot be used as given, or "": the key and the endpoint
// must be valid, a ledger must say what changed, and the key file must be
// in the folder for the search engines to read, before anything is
// written. A folder that is not one is left to the run to report.
std::string IndexNowUsage(const CommandLine& line, const GenerationInputs& inputs, const std::string& argument) {
  if (!line.indexNow) return "--indexnow-endpoint needs --indexnow KEY";
  const std::string& key = *line.indexNow;
  if (!IndexNowSubmission::IsValidKey(key))
    return "--indexnow \"" + key + "\": a key is 8 to 128 characters, each of a-z, A-Z, 0-9 and -";
  if (line.indexNowEndpoint && !IndexNowSubmission::IsValidEndpoint(*line.indexNowEndpoint))
    return "--indexnow-endpoint \"" + *line.indexNowEndpoint + "\": not an http:// or https:// URL with a host";
  if (!inputs.lastModFromContent)
    return "--indexnow needs --lastmod-from content or git (the ledger tells which URLs changed)";
  std::string folder, reason;
  RunProblem ignored;
  if (!SitemapRun::ResolveFolder(argument, &folder, &ignored)) return {};
  const auto keyFile = IndexNowSubmission::CheckKeyFile(folder, key, &reason);
  if (keyFile == IndexNowSubmission::KeyFile::kHoldsKey) return {};
  return ProblemText::OfKeyFile(keyFile, folder + "/" + key + ".txt", key, reason);
}

// Submits the run's changes when asked; how many of them went through.
std::size_t SubmitChanges(const CommandLine& line, const std::string& baseUrl, const RunResult& result,
                          std::stop_token stop, std::string* problem) {
  if (!line.indexNow || result.changes.empty()) return result.changes.size();
  const std::string endpoint = line.indexNowEndpoint.value_or(IndexNowSubmission::kDefaultEndpoint);
  std::vector<std::string> urls;
  urls.reserve(result.changes.size());
  for (const PageHistory::Change& change : result.changes) urls.push_back(change.url);
  const IndexNowSubmission::Outcome outcome = IndexNowSubmission(endpoint, baseUrl, *line.indexNow).Submit(urls, stop);
  if (outcome.failed) *problem = ProblemText::OfSubmission(outcome, endpoint, urls.size(), line.changes);
  return outcome.submitted;
}

int Run(const CommandLine& line) {
  SettingsFile settingsFile(line.settingsPath.value_or(SettingsFile::DefaultPath()));
  Settings stored;
  if (!LoadSettings(settingsFile, line.settingsPath.has_value(), &stored)) return kUsage;

  const std::string argument = line.folder.value_or(stored.localFolder);
  if (argument.empty()) {
    std::cerr << "nubika-sitemap-cli: "
              << (line.folder ? "FOLDER: the folder name is empty" : "no FOLDER given and none in " + settingsFile.path())
              << '\n';
    return kUsage;
  }

  GenerationInputs inputs = InputsFrom(line, stored.inputs);
  std::string problem;
  ExclusionRules exclusions;
  if (!ReadExclusions(line, stored, settingsFile.path(), &exclusions, &problem)) {
    std::cerr << "nubika-sitemap-cli: " << problem << '\n';
    return kUsage;
  }
  inputs.exclude = exclusions.patterns();
  UrlText::BaseProblem baseProblem{};
  const std::optional<std::string> base = UrlText::NormalisedBase(inputs.baseUrl, &baseProblem);
  if (!base) {
    std::cerr << "nubika-sitemap-cli: --base-url \"" << inputs.baseUrl << "\": " << ProblemText::OfBaseUrl(baseProblem)
              << '\n';
    return kUsage;
  }

  if (!inputs.lastModFromContent && (line.changes || line.ledger || line.digestText)) {
    std::cerr << "nubika-sitemap-cli: " << (line.changes ? "--changes" : line.ledger ? "--ledger" : "--digest")
              << " needs --lastmod-from content or git (a ledger of the pages)\n";
    return kUsage;
  }
  if (line.indexNow || line.indexNowEndpoint) {
    if (const std::string usage = IndexNowUsage(line, inputs, argument); !usage.empty()) {
      std::cerr << "nubika-sitemap-cli: " << usage << '\n';
      return kUsage;
    }
  }

  std::stop_source stop;
  WatchStopSignals(stop);
  CliProgress progress(stop, line.quiet);
  SitemapRun::Environment environment;
  environment.readers = line.jobs.value_or(0);
  const RunResult result = SitemapRun(environment).Execute(argument, [&] { return inputs; }, progress);
  if (result.written) progress.Finish();
  std::size_t more = 0;
  for (const std::string& warning : ProblemText::WarningLines(result.warnings, &more))
    std::cerr << "warning: " << warning << '\n';
  if (more > 0) std::cerr << "warning: … and " << more << " more\n";
  if (result.stopped) {
    std::cerr << "nubika-sitemap-cli: stopped; the previous sitemap is unchanged\n";
    return kFailed;
  }
  if (!result.written || result.problem) {
    std::cerr << "nubika-sitemap-cli: " << ProblemText::OfRunProblem(result.problem) << '\n';
    return kFailed;
  }
  std::string notSubmitted;
  const std::size_t submitted = SubmitChanges(line, *base, result, stop.get_token(), &notSubmitted);
  if (line.changes && !WriteChanges(*line.changes, result.changes, submitted)) return kFailed;
  if (!notSubmitted.empty()) std::cerr << "nubika-sitemap-cli: " << notSubmitted << '\n';
  // The sitemap is written whatever becomes of this line: a reader that
  // went away (a closed pipe) costs the line, not the exit status.
  std::string report =
      result.path + ' ' + std::to_string(result.urlCount) + ' ' + std::to_string(result.partCount);
  if (const auto& counts = result.changeCounts)
    report += ' ' + std::to_string(counts->added) + ' ' + std::to_string(counts->changed) + ' ' +
              std::to_string(counts->removed);
  if (!line.quiet && !(std::cout << report << std::endl))
    std::cerr << "nubika-sitemap-cli: could not write to stdout: " << report << '\n';
  return notSubmitted.empty() ? kSucceeded : kNotSubmitted;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
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
