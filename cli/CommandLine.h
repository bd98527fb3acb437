#pragma once
#include <optional>
#include <string>
#include <vector>

// The options of nubika-sitemap-cli. An option left off the command line
// stays empty and is taken from the settings file.
struct CommandLine {
  std::optional<std::string> folder;
  std::optional<std::string> baseUrl;
  std::optional<std::string> extensions;  // comma-separated, as stored in the settings
  std::optional<bool> priority;
  std::optional<bool> changeFreq;
  std::optional<bool> lastMod;
  std::optional<bool> mobile;
  std::optional<bool> lastModFromFile;
  std::optional<bool> lastModFromContent;  // set with lastModFromFile by --lastmod-from (content or git)
  std::optional<bool> lastModFromGit;
  std::optional<bool> digestText;          // --digest text|bytes
  std::optional<std::string> ledger;
  std::optional<std::string> changes;      // the change list's file
  std::optional<std::string> indexNow;     // the IndexNow key: submit the changes
  std::optional<std::string> indexNowEndpoint;
  // --exclude patterns, and the files of --exclude-from, in the order given;
  // either replaces the stored list.
  std::vector<std::string> exclude;
  std::vector<std::string> excludeFrom;
  std::optional<bool> skipNoindex;
  std::optional<bool> folderUrls;
  std::optional<std::string> indexNames;  // comma-separated
  std::optional<bool> followLinks;
  std::optional<bool> gzip;
  std::optional<bool> canonical;
  std::optional<bool> robotsTxt;
  std::optional<std::string> robotsAgent;
  std::optional<bool> robotsSitemapLine;
  std::optional<bool> hreflang;
  std::optional<std::string> settingsPath;
  std::optional<int> jobs;  // threads that read folders
  bool quiet = false;

  enum class Outcome { kRun, kHelpShown, kUsageError };
  // Parses argv; on kUsageError message holds what to print on stderr, on
  // kHelpShown the help (or version) text for stdout.
  Outcome Parse(int argc, char** argv, std::string* message);
};
