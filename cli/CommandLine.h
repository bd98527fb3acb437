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
  std::optional<std::string> settingsPath;
  bool quiet = false;

  enum class Outcome { kRun, kHelpShown, kUsageError };
  // Parses argv; on kUsageError message holds what to print on stderr, on
  // kHelpShown the help text for stdout.
  Outcome Parse(int argc, char** argv, std::string* message);
};
