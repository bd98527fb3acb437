#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include "settings/SettingsFile.h"

#include <SimpleIni.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>
#include <unordered_set>

#include "io/SafeOutputFile.h"

namespace {

constexpr const char* kSection = "SETTING";
constexpr const char* kLocalFolder = "LOCAL_FOLDER";
constexpr const char* kBaseUrl = "BASE_URL";
constexpr const char* kPriority = "PRIORITY_AUTO";
constexpr const char* kChangeFreq = "UPDATE_FREQ_AUTO";
constexpr const char* kLastMod = "LAST_UPDATE_AUTO";
constexpr const char* kMobile = "MOBILE";
constexpr const char* kExtensions = "KAKUCHO";

constexpr const char* kOptions = "OPTIONS";
constexpr const char* kLastModFrom = "LASTMOD_FROM";
constexpr const char* kExclude = "EXCLUDE";
constexpr const char* kSkipNoindex = "SKIP_NOINDEX";
constexpr const char* kFolderUrls = "FOLDER_URLS";
constexpr const char* kIndexNames = "INDEX_NAMES";
constexpr const char* kFollowLinks = "FOLLOW_LINKS";
constexpr const char* kGzip = "GZIP";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  for (std::size_t begin = 0;;) {
    const std::size_t end = text.find('\n', begin);
    lines.push_back(text.substr(begin, end - begin));
    if (end == std::string::npos) return lines;
    begin = end + 1;
  }
}

std::string Joined(const std::vector<std::string>& items, char separator) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += separator;
    text += items[i];
  }
  return text;
}

std::string ExecutableFolder() {
  std::string buffer(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0) return ".";
  buffer.resize(static_cast<std::size_t>(length));
  const auto slash = buffer.rfind('/');
  return slash == 0 ? "/" : buffer.substr(0, slash);
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  const passwd* user = getpwuid(getuid());
  return user && user->pw_dir ? user->pw_dir : "";
}

std::string ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return xdg;
  return HomeFolder() + "/.config";
}

bool ParseWhole(const std::string& digits, int base, bool negative, std::int64_t* value) {
  if (digits.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long magnitude = std::strtoull(digits.c_str(), &end, base);
  if (errno != 0 || *end != '\0' || !std::isxdigit(static_cast<unsigned char>(digits[0]))) return false;
  // Decimal numbers are 32-bit signed; hex ones may use all 32 bits.
  const unsigned long long limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  if (magnitude > limit) return false;
  *value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Where a symbolic link at path leads in the end; path itself when it is
// no link. The new file then replaces the target and the link stays.
std::string FinalTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    std::string target(4096, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length <= 0) return path;
    target.resize(static_cast<std::size_t>(length));
    const auto slash = path.rfind('/');
    path = target[0] == '/' || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
  }
  return path;
}

}  // namespace

std::string SettingsFile::Encoded(const std::string& text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  const bool plain = text.empty() || (!isBlank(text.front()) && !isBlank(text.back()) && text.front() != '"' &&
                                      std::none_of(text.begin(), text.end(), [](char c) {
                                        return IsControl(static_cast<unsigned char>(c));
                                      }));
  if (plain) return text;
  std::string stored = "\"";
  for (char c : text) {
    switch (c) {
      case '\\': stored += "\\\\"; break;
      case '"': stored += "\\\""; break;
      case '\r': stored += "\\r"; break;
      case '\n': stored += "\\n"; break;
      case '\t': stored += "\\t"; break;
      default:
        if (IsControl(static_cast<unsigned char>(c))) {
          static constexpr char kHex[] = "0123456789ABCDEF";
          const auto byte = static_cast<unsigned char>(c);
          stored += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0x0F]};
        } else {
          stored += c;
        }
    }
  }
  return stored + "\"";
}

std::string SettingsFile::Decoded(const std::string& stored) {
  if (stored.size() < 2 || stored.front() != '"' || stored.back() != '"') return stored;
  std::string text;
  const std::size_t end = stored.size() - 1;
  for (std::size_t i = 1; i < end; ++i) {
    if (stored[i] != '\\' || i + 1 >= end) {
      text += stored[i];
      continue;
    }
    const char code = stored[++i];
    if (code == 'r') text += '\r';
    else if (code == 'n') text += '\n';
    else if (code == 't') text += '\t';
    else if (code == 'x' && i + 2 < end && HexValue(stored[i + 1]) >= 0 && HexValue(stored[i + 2]) >= 0) {
      text += static_cast<char>(HexValue(stored[i + 1]) * 16 + HexValue(stored[i + 2]));
      i += 2;
    } else {
      text += code;  // \\ and \" stand for themselves
    }
  }
  return text;
}

SettingsFile::SettingsFile(std::string path, FileLayer& files)
    : path_(std::move(path)), files_(files) {}

std::string SettingsFile::DefaultPath(Placement placement) {
  if (placement == Placement::kBesideProgram) {
    const std::string besideProgram = ExecutableFolder() + "/Setting.ini";
    if (access(besideProgram.c_str(), F_OK) == 0 || access(ExecutableFolder().c_str(), W_OK) == 0)
      return besideProgram;
  }
  return ConfigFolder() + "/nubika-sitemap/Setting.ini";
}

std::string SettingsFile::DefaultPath() {
#ifdef NUBIKA_SETTINGS_IN_CONFIG
  // A packaged program's folder is /usr/bin, writable by root: root's
  // settings must not land there either.
  return DefaultPath(Placement::kConfigFolder);
#else
  return DefaultPath(Placement::kBesideProgram);
#endif
}

bool SettingsFile::ReadsAsChecked(const std::string& value) {
  std::string rest = value;
  bool negative = false;
  if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
    negative = rest[0] == '-';
    rest.erase(0, 1);
  }
  int base = 10;
  if (!rest.empty() && rest[0] == '$') {
    base = 16;
    rest.erase(0, 1);
  } else if (rest.size() > 1 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    base = 16;
    rest.erase(0, 2);
  } else if (!rest.empty() && !std::isdigit(static_cast<unsigned char>(rest[0]))) {
    return false;
  }
  std::int64_t number = 0;
  return ParseWhole(rest, base, negative, &number) && number != 0;
}

std::vector<std::string> SettingsFile::SplitExtensions(const std::string& value) {
  std::vector<std::string> pieces;
  std::unordered_set<std::string_view> seen;  // views into value, which outlives the set
  std::size_t begin = 0;
  while (begin <= value.size()) {
    std::size_t comma = value.find(',', begin);
    if (comma == std::string::npos) comma = value.size();
    const std::string_view piece(value.data() + begin, comma - begin);
    if (!piece.empty() && seen.insert(piece).second) pieces.emplace_back(piece);
    begin = comma + 1;
  }
  return pieces;
}

std::string SettingsFile::JoinExtensions(const std::vector<std::string>& extensions) {
  std::string value;
  for (const auto& extension : extensions) value += extension + ",";
  return value;
}

bool SettingsFile::Load(Settings* settings) const {
  *settings = Settings{};
  std::ifstream in(path_, std::ios::binary);
  if (!in) return errno == ENOENT;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return false;

  CSimpleIniA ini;
  ini.LoadData(content.str());
  const auto text = [&](const char* key, const char* section = kSection) {
    return Decoded(ini.GetValue(section, key, ""));
  };
  settings->localFolder = text(kLocalFolder);
  GenerationInputs& inputs = settings->inputs;
  inputs.baseUrl = text(kBaseUrl);
  inputs.priority = ReadsAsChecked(text(kPriority));
  inputs.changeFreq = ReadsAsChecked(text(kChangeFreq));
  inputs.lastMod = ReadsAsChecked(text(kLastMod));
  inputs.mobile = ReadsAsChecked(text(kMobile));
  inputs.extensions = SplitExtensions(text(kExtensions));

  inputs.lastModFromFile = text(kLastModFrom, kOptions) == "file";
  inputs.exclude = Lines(text(kExclude, kOptions));
  inputs.skipNoindex = ReadsAsChecked(text(kSkipNoindex, kOptions));
  inputs.folderUrls = ReadsAsChecked(text(kFolderUrls, kOptions));
  if (ini.GetValue(kOptions, kIndexNames)) inputs.indexNames = SplitExtensions(text(kIndexNames, kOptions));
  inputs.followLinks = ReadsAsChecked(text(kFollowLinks, kOptions));
  inputs.gzip = ReadsAsChecked(text(kGzip, kOptions));
  return true;
}

bool SettingsFile::Save(const Settings& settings) {
  error_.clear();
  CSimpleIniA ini;
  ini.SetSpaces(false);
  {
    // Keep what else the user wrote into the file. Only a regular file is
    // read: opening a FIFO would wait for a writer, forever.
    struct stat status;
    std::ifstream in;
    if (stat(path_.c_str(), &status) == 0 && S_ISREG(status.st_mode)) in.open(path_, std::ios::binary);
    std::ostringstream content;
    if (in.is_open() && in) {
      content << in.rdbuf();
      ini.LoadData(content.str());
    }
  }
  const auto setText = [&](const char* key, const std::string& text) {
    ini.SetValue(kSection, key, Encoded(text).c_str());
  };
  setText(kLocalFolder, settings.localFolder);
  const GenerationInputs& inputs = settings.inputs;
  setText(kBaseUrl, inputs.baseUrl);
  ini.SetValue(kSection, kPriority, inputs.priority ? "1" : "0");
  ini.SetValue(kSection, kChangeFreq, inputs.changeFreq ? "1" : "0");
  ini.SetValue(kSection, kLastMod, inputs.lastMod ? "1" : "0");
  ini.SetValue(kSection, kMobile, inputs.mobile ? "1" : "0");
  setText(kExtensions, JoinExtensions(inputs.extensions));

  ini.SetValue(kOptions, kLastModFrom, inputs.lastModFromFile ? "file" : "run");
  ini.SetValue(kOptions, kExclude, Encoded(Joined(inputs.exclude, '\n')).c_str());
  ini.SetValue(kOptions, kSkipNoindex, inputs.skipNoindex ? "1" : "0");
  ini.SetValue(kOptions, kFolderUrls, inputs.folderUrls ? "1" : "0");
  ini.SetValue(kOptions, kIndexNames, Encoded(Joined(inputs.indexNames, ',')).c_str());
  ini.SetValue(kOptions, kFollowLinks, inputs.followLinks ? "1" : "0");
  ini.SetValue(kOptions, kGzip, inputs.gzip ? "1" : "0");

  std::string text;
  if (ini.Save(text) < 0) {
    error_ = path_ + ": the settings could not be put into text";
    return false;
  }
  // Through a link, the file it leads to is replaced and the link stays;
  // the replacement refuses anything but a regular file there (a link to
  // /dev/null, say, to have the settings forgotten stays as it is).
  const std::string target = FinalTarget(path_);
  const auto slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string reason;
  if (slash != std::string::npos && slash > 0 && !files_.MakeFolders(folder, &reason)) {
    error_ = path_ + ": " + reason;
    return false;
  }
  const int folderFd = files_.OpenFolder(folder, &reason);
  if (folderFd < 0) {
    error_ = path_ + ": " + reason;
    return false;
  }
  bool saved;
  {
    SafeOutputFile out(files_, folderFd, slash == std::string::npos ? "" : folder, "." + name + ".tmp-");
    saved = out.Open(name) && out.Write(text) && out.Commit();
    if (!saved) error_ = target == path_ ? out.error() : path_ + ": leads to " + out.error();
  }
  files_.Close(folderFd, &reason);
  return saved;
}
