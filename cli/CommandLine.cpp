#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include "sitemap/RobotsTxt.h"

namespace {

// A pair --name / --no-name whose last occurrence wins.
struct FlagPair {
  bool value = false;
  CLI::Option* option = nullptr;
};

void AddPair(CLI::App& app, const std::string& name, const std::string& what, FlagPair* pair) {
  pair->option = app.add_flag("--" + name + ",!--no-" + name, pair->value, what);
}

std::optional<bool> ValueOf(const FlagPair& pair) {
  if (pair.option->count() == 0) return std::nullopt;
  return pair.value;
}

template <typename T>
std::optional<T> ValueOf(const CLI::Option* option, const T& value) {
  return option->count() ? std::optional<T>(value) : std::nullopt;
}

}  // namespace

CommandLine::Outcome CommandLine::Parse(int argc, char** argv, std::string* message) {
  CLI::App app{"Writes nubika_sitemap.xml for a web site kept as a local folder.", "nubika-sitemap-cli"};
  app.footer(
      "Anything not given is taken from the settings file. Exit status: 0 written, "
      "1 not written (the previous sitemap is unchanged; also: written, but the ledger not updated), "
      "2 usage error (also a refused base URL or exclusion pattern, or no IndexNow key file), "
      "3 written, but the IndexNow submission failed.");
  std::string folderArg, baseUrlArg, extArg, settingsArg, lastModFromArg, indexNamesArg;
  auto* folderOption = app.add_option("FOLDER", folderArg, "The site's local folder (default: LOCAL_FOLDER of the settings)");
  auto* baseUrlOption = app.add_option("--base-url", baseUrlArg, "The site's base URL: http:// or https://, with a host");
  auto* extOption = app.add_option("--ext", extArg,
                                   "Comma-separated extensions without the dot, e.g. html,htm (spaces around each dropped)");
  FlagPair priorityFlag, changeFreqFlag, lastModFlag, mobileFlag, noindexFlag, folderUrlsFlag, followFlag, gzipFlag,
      canonicalFlag, robotsFlag, robotsLineFlag, hreflangFlag;
  AddPair(app, "priority", "Write <priority> (0.8 for index pages, else 0.4)", &priorityFlag);
  AddPair(app, "changefreq", "Write <changefreq> (daily for index pages, else weekly)", &changeFreqFlag);
  AddPair(app, "lastmod", "Write <lastmod>", &lastModFlag);
  auto* lastModFromOption =
      app.add_option("--lastmod-from", lastModFromArg,
                     "The date --lastmod writes: the day of the run, each file's, the day each page's content "
                     "last changed (kept in a ledger), or for a page git tracks and that has no uncommitted change "
                     "the date of the last commit that changed it (other pages as under content)")
          ->check(CLI::IsMember({"run", "file", "content", "git"}));
  std::string digestArg, ledgerArg, changesArg;
  auto* digestOption =
      app.add_option("--digest", digestArg,
                     "What counts as a change under content: the file's bytes (default), or the text a reader sees "
                     "(title, description, the one <main> or else <body>)")
          ->check(CLI::IsMember({"bytes", "text"}));
  auto* ledgerOption = app.add_option(
      "--ledger", ledgerArg, "The ledger's file (default: $XDG_STATE_HOME/nubika-sitemap/ledger/<id>.sqlite)");
  auto* changesOption = app.add_option(
      "--changes", changesArg, "Write the added, changed and removed URLs to FILE (A, M or D, a tab, the URL)");
  std::string indexNowArg, endpointArg;
  auto* indexNowOption = app.add_option(
      "--indexnow", indexNowArg,
      "After a successful run, submit the added, changed and removed URLs to IndexNow with KEY; KEY.txt holding "
      "KEY must be in FOLDER (needs --lastmod-from content or git)");
  auto* endpointOption = app.add_option("--indexnow-endpoint", endpointArg,
                                        "Where --indexnow submits (default https://api.indexnow.org/indexnow)");
  AddPair(app, "mobile", "Mark every URL as a mobile page", &mobileFlag);
  app.add_option("--exclude", exclude, "Leave out what the pattern matches (ignore-file form, repeatable)")
      ->allow_extra_args(false);
  app.add_option("--exclude-from", excludeFrom, "Read exclusion patterns from FILE, one per line (repeatable)")
      ->check(CLI::ExistingFile)
      ->allow_extra_args(false);
  AddPair(app, "skip-noindex", "Leave out pages whose head says noindex to robots", &noindexFlag);
  AddPair(app, "folder-urls", "Write an index page as its folder's URL, ending in /", &folderUrlsFlag);
  auto* indexNamesOption =
      app.add_option("--index-names", indexNamesArg, "Index pages for --folder-urls, first wins (default index.html,index.htm)");
  AddPair(app, "follow-links", "Enter links to folders, each folder once", &followFlag);
  AddPair(app, "gzip", "Write the parts as .xml.gz under a plain index", &gzipFlag);
  AddPair(app, "canonical", "Leave out pages whose <link rel=canonical> names another URL", &canonicalFlag);
  AddPair(app, "robots-txt", "Leave out pages the folder's robots.txt disallows (base URL at a host's root)",
          &robotsFlag);
  std::string robotsAgentArg;
  auto* robotsAgentOption =
      app.add_option("--robots-agent", robotsAgentArg, "The crawler --robots-txt reads its rules for (default *)")
          ->check(CLI::Validator(
              [](const std::string& agent) {
                return RobotsTxt::IsProductToken(agent) ? std::string()
                                                        : "not a crawler's name (letters, - and _) or *: " + agent;
              },
              "NAME"));
  AddPair(app, "robots-sitemap-line",
          "After a run, add a Sitemap: line for the sitemap to the folder's robots.txt when none names it "
          "(base URL at a host's root)",
          &robotsLineFlag);
  AddPair(app, "hreflang", "Write each page's language versions as xhtml:link and check them", &hreflangFlag);
  auto* settingsOption = app.add_option("--settings", settingsArg, "Settings file to read instead of the usual one")
                             ->check(CLI::ExistingFile);
  int jobsArg = 0;
  auto* jobsOption = app.add_option("--jobs,-j", jobsArg, "Threads that read folders (default: one per core)")
                         ->check(CLI::Range(1, 256));
  app.add_flag("--quiet,-q", quiet, "No progress and no success line");
  app.set_version_flag("--version", std::string("nubika-sitemap-cli ") + NUBIKA_VERSION);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    *message = app.help();
    return Outcome::kHelpShown;
  } catch (const CLI::CallForVersion&) {
    *message = app.version() + "\n";
    return Outcome::kHelpShown;
  } catch (const CLI::ParseError& error) {
    *message = error.what();
    return Outcome::kUsageError;
  }
  folder = ValueOf(folderOption, folderArg);
  baseUrl = ValueOf(baseUrlOption, baseUrlArg);
  extensions = ValueOf(extOption, extArg);
  settingsPath = ValueOf(settingsOption, settingsArg);
  indexNames = ValueOf(indexNamesOption, indexNamesArg);
  jobs = ValueOf(jobsOption, jobsArg);
  if (lastModFromOption->count()) {
    lastModFromFile = lastModFromArg == "file";
    lastModFromContent = lastModFromArg == "content" || lastModFromArg == "git";
    lastModFromGit = lastModFromArg == "git";
  }
  if (digestOption->count()) digestText = digestArg == "text";
  ledger = ValueOf(ledgerOption, ledgerArg);
  changes = ValueOf(changesOption, changesArg);
  indexNow = ValueOf(indexNowOption, indexNowArg);
  indexNowEndpoint = ValueOf(endpointOption, endpointArg);
  if ((ledger && ledger->empty()) || (changes && changes->empty())) {
    *message = std::string(ledger && ledger->empty() ? "--ledger" : "--changes") + ": the file name is empty";
    return Outcome::kUsageError;
  }
  priority = ValueOf(priorityFlag);
  changeFreq = ValueOf(changeFreqFlag);
  lastMod = ValueOf(lastModFlag);
  mobile = ValueOf(mobileFlag);
  skipNoindex = ValueOf(noindexFlag);
  folderUrls = ValueOf(folderUrlsFlag);
  followLinks = ValueOf(followFlag);
  gzip = ValueOf(gzipFlag);
  canonical = ValueOf(canonicalFlag);
  robotsTxt = ValueOf(robotsFlag);
  robotsAgent = ValueOf(robotsAgentOption, robotsAgentArg);
  robotsSitemapLine = ValueOf(robotsLineFlag);
  hreflang = ValueOf(hreflangFlag);
  return Outcome::kRun;
}
