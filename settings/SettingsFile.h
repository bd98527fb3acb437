#pragma once
#include <optional>
#include <string>
#include <vector>

#include "io/FileLayer.h"
#include "sitemap/GenerationInputs.h"

// Where the window stood when the program last ended: its frame's top
// left corner on the desktop, the size of its inside, and whether it was
// maximised (the place and size are then those it returns to).
struct WindowPlace {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool maximized = false;

  bool operator==(const WindowPlace&) const = default;
};

// The inputs that persist from one use of the program to the next, and the
// window's place.
struct Settings {
  std::string localFolder;
  GenerationInputs inputs;
  std::optional<WindowPlace> window;  // none: the window's default place

  bool operator==(const Settings&) const = default;
};

// "Setting.ini": section "SETTING" with seven keys, then section "OPTIONS"
// with the run's further options (LASTMOD_FROM run|file|content|git, EXCLUDE
// patterns one per line, SKIP_NOINDEX, FOLDER_URLS, INDEX_NAMES
// comma-separated, FOLLOW_LINKS, GZIP, and only when set DIGEST text and
// LEDGER path), then section "WINDOW" with the window's place (LEFT, TOP,
// WIDTH, HEIGHT, MAXIMIZED). Booleans are stored as "1"/"0"; the extension
// list as one value with a comma after every entry. A WINDOW section with
// a key missing or a value out of reach reads as no place at all (the
// window then takes its default one), and settings without a place leave
// the section as it is.
// Saving replaces the file atomically, keeping anything else the user wrote
// into it: other keys of the two sections, and every other section and
// whatever stands before the first one byte for byte. A file that is a
// symbolic link is saved through the link. A NUL byte is a byte like any
// other; it ends neither a value nor the file.
//
// Every text reads back as the bytes it was. A text is stored as it is
// unless that could not come back unchanged: one with a space or tab at
// either end, a control byte anywhere, or a leading double quote is stored
// in double quotes, with the escapes \\ \" \r \n \t and \xHH (any other
// control byte, two hex digits). A stored value in double quotes is read
// back through those escapes. So no value can add a key or a section.
//   BASE_URL=https://example.jp/
//   LOCAL_FOLDER="/srv/site "
//   LOCAL_FOLDER="s\n[X]"
class SettingsFile {
 public:
  explicit SettingsFile(std::string path, FileLayer& files = PosixFileLayer::Instance());

  // Where the settings live when no file is named. kConfigFolder, for an
  // installed copy, never writes beside the executable: always
  // $XDG_CONFIG_HOME/nubika-sitemap/Setting.ini (~/.config/... when that is
  // unset or not absolute), root's as well. kBesideProgram: "Setting.ini"
  // beside the executable when one is there or that folder is writable,
  // otherwise the config folder's.
  enum class Placement { kBesideProgram, kConfigFolder };
  static std::string DefaultPath(Placement placement);
  // The build's placement: kConfigFolder under NUBIKA_SETTINGS_IN_CONFIG.
  static std::string DefaultPath();

  // A stored value that is none of its key's values (GZIP=true,
  // LASTMOD_FROM=File): the key reads as readAs, and the program says so.
  struct Warning {
    std::string key;
    std::string value;
    std::vector<std::string> values;  // the values the key takes
    std::string readAs;
  };

  // Missing file, section or keys read as the defaults. Returns false only
  // when something is there but cannot be read (a read error, a folder, a
  // FIFO, a device); settings then stay defaults and error() says why.
  // Values that are none of their key's values are in warnings().
  bool Load(Settings* settings);
  // On failure error() says which file could not be written, and why. A
  // file that is there but cannot be read is never replaced: what it holds
  // besides our keys would be lost.
  bool Save(const Settings& settings);

  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }
  const std::vector<Warning>& warnings() const { return warnings_; }

  // KAKUCHO: split at commas, empty pieces skipped, exact duplicates
  // dropped (the first kept), pieces untrimmed.
  static std::vector<std::string> SplitExtensions(const std::string& value);
  static std::string JoinExtensions(const std::vector<std::string>& extensions);
  // A whole number other than zero (decimal, or hex after "$" or "0x").
  static bool ReadsAsChecked(const std::string& value);
  // A text as it is stored, and back.
  static std::string Encoded(const std::string& text);
  static std::string Decoded(const std::string& stored);

 private:
  std::string path_;
  FileLayer& files_;
  std::string error_;
  std::vector<Warning> warnings_;
};
