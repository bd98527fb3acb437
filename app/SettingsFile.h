#pragma once
#include <string>
#include <vector>

#include "sitemap/FileLayer.h"

// The inputs that persist from one use of the program to the next.
struct Settings {
  std::string localFolder;
  std::string baseUrl;
  bool priority = false;
  bool changeFreq = false;
  bool lastMod = false;
  bool mobile = false;
  std::vector<std::string> extensions;

  bool operator==(const Settings&) const = default;
};

// "Setting.ini": section "SETTING" with seven keys. Texts are stored as the
// bytes they are; booleans as "1"/"0"; the extension list as one value with
// a comma after every entry. Saving replaces the file atomically, keeping
// anything else the user wrote into it.
class SettingsFile {
 public:
  explicit SettingsFile(std::string path, FileLayer& files = PosixFileLayer::Instance());

  // "Setting.ini" beside the executable when one is there or that folder
  // is writable; otherwise $XDG_CONFIG_HOME/nubika-sitemap/Setting.ini.
  static std::string DefaultPath();

  // Missing file, section or keys read as the defaults. Returns false only
  // when a file exists but cannot be read; settings then stay defaults.
  bool Load(Settings* settings) const;
  // On failure error() names the file that could not be written.
  bool Save(const Settings& settings);

  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

  // KAKUCHO: split at commas, empty pieces skipped, exact duplicates
  // dropped (the first kept), pieces untrimmed.
  static std::vector<std::string> SplitExtensions(const std::string& value);
  static std::string JoinExtensions(const std::vector<std::string>& extensions);
  // A whole number other than zero (decimal, or hex after "$" or "0x").
  static bool ReadsAsChecked(const std::string& value);

 private:
  std::string path_;
  FileLayer& files_;
  std::string error_;
};
