#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

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

}  // namespace

CommandLine::Outcome CommandLine::Parse(int argc, char** argv, std::string* message) {
  CLI::App app{"Writes nubika_sitemap.xml for a web site kept as a local folder.",
               "nubika-sitemap-cli"};
  std::string folderArg, baseUrlArg, extArg, settingsArg;
  auto* folderOption = app.add_option("FOLDER", folderArg, "The site's local folder (default: LOCAL_FOLDER of the settings)");
  auto* baseUrlOption = app.add_option("--base-url", baseUrlArg, "The site's base URL");
  auto* extOption = app.add_option("--ext", extArg, "Comma-separated extensions without the dot, e.g. html,htm");
  auto* settingsOption = app.add_option("--settings", settingsArg, "Settings file to read instead of the usual one")
                             ->check(CLI::ExistingFile);
  FlagPair priorityFlag, changeFreqFlag, lastModFlag, mobileFlag;
  AddPair(app, "priority", "Write <priority> (0.8 for index pages, else 0.4)", &priorityFlag);
  AddPair(app, "changefreq", "Write <changefreq> (daily for index pages, else weekly)", &changeFreqFlag);
  AddPair(app, "lastmod", "Write <lastmod> with today's date", &lastModFlag);
  AddPair(app, "mobile", "Mark every URL as a mobile page", &mobileFlag);
  app.add_flag("--quiet,-q", quiet, "No progress and no success line");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    *message = app.help();
    return Outcome::kHelpShown;
  } catch (const CLI::ParseError& error) {
    *message = error.what();
    return Outcome::kUsageError;
  }
  if (folderOption->count()) folder = folderArg;
  if (baseUrlOption->count()) baseUrl = baseUrlArg;
  if (extOption->count()) extensions = extArg;
  if (settingsOption->count()) settingsPath = settingsArg;
  priority = ValueOf(priorityFlag);
  changeFreq = ValueOf(changeFreqFlag);
  lastMod = ValueOf(lastModFlag);
  mobile = ValueOf(mobileFlag);
  return Outcome::kRun;
}
