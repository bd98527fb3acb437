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
#include <optional>
#include <string_view>
#include <unordered_set>

#include "io/SafeOutputFile.h"
#include "sitemap/RobotsTxt.h"
#include "text/AsciiText.h"

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
constexpr const char* kDigest = "DIGEST";
constexpr const char* kLedger = "LEDGER";
constexpr const char* kCanonical = "CANONICAL";
constexpr const char* kRobotsTxt = "ROBOTS_TXT";
constexpr const char* kRobotsAgent = "ROBOTS_AGENT";
constexpr const char* kRobotsSitemapLine = "ROBOTS_SITEMAP_LINE";
constexpr const char* kHreflang = "HREFLANG";

constexpr const char* kWindow = "WINDOW";
constexpr const char* kLeft = "LEFT";
constexpr const char* kTop = "TOP";
constexpr const char* kWidth = "WIDTH";
constexpr const char* kHeight = "HEIGHT";
constexpr const char* kMaximized = "MAXIMIZED";
// Beyond any desktop: a value past it is a damaged file, not a place.
constexpr std::int64_t kFarthest = 1 << 20;


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
  return AsciiText::FolderOf(buffer);
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

// SimpleIni reads C strings, so a NUL would end the file for it. It sees
// each NUL as kMark '0' and each kMark as kMark 'm' instead, and whatever
// it gives back is turned back byte for byte. No value we write holds a
// raw control byte (Encoded escapes them), so none holds kMark.
constexpr char kMark = '\x01';

std::string ForParser(std::string_view raw) {
  std::string text;
  text.reserve(raw.size());
  for (char c : raw) {
    if (c == '\0') text += {kMark, '0'};
    else if (c == kMark) text += {kMark, 'm'};
    else text += c;
  }
  return text;
}

std::string FromParser(std::string_view text) {
  std::string raw;
  raw.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == kMark && i + 1 < text.size())
      raw += text[++i] == '0' ? '\0' : kMark;
    else
      raw += text[i];
  }
  return raw;
}

bool IsOurSection(std::string_view name) {
  const auto same = [name](std::string_view ours) {
    return AsciiText::EqualsIgnoringCase(name, ours);  // SimpleIni's names ignore ASCII case
  };
  return same(kSection) || same(kOptions) || same(kWindow);
}

// Whether the line at begin opens a section of ours, read as SimpleIni
// reads a header: "[name]" after blanks, the name without its blanks.
std::optional<bool> OpensSection(std::string_view text, std::size_t begin) {
  std::size_t at = text.find_first_not_of(" \t", begin);
  if (at == std::string_view::npos || text[at] != '[') return std::nullopt;
  const std::size_t close = text.find_first_of("]\r\n", at);
  if (close == std::string_view::npos || text[close] != ']') return std::nullopt;
  std::string_view name = text.substr(at + 1, close - at - 1);
  name.remove_prefix(std::min(name.size(), name.find_first_not_of(" \t")));
  name.remove_suffix(name.size() - std::min(name.size(), name.find_last_not_of(" \t") + 1));
  return IsOurSection(name);
}

// The file cut where each section begins: first whatever stands before
// the first section, then each section from its header line on. A line
// ends at CR or LF, as it does for SimpleIni.
struct Block {
  std::string_view text;
  bool ours = false;
};

std::vector<Block> Sections(std::string_view text) {
  std::vector<Block> blocks(1);
  std::size_t start = 0;
  for (std::size_t line = 0; line < text.size();) {
    if (const std::optional<bool> ours = OpensSection(text, line)) {
      blocks.back().text = text.substr(start, line - start);
      blocks.push_back({{}, *ours});
      start = line;
    }
    const std::size_t end = text.find_first_of("\r\n", line);
    if (end == std::string_view::npos) break;
    line = end + 1;
  }
  blocks.back().text = text.substr(start);
  return blocks;
}

// Our two sections, and only they, go through SimpleIni: the rest of the
// file is never parsed, so it is written back as it was.
bool ParseOurSections(const std::vector<Block>& blocks, CSimpleIniA* ini) {
  std::string ours;
  for (const Block& block : blocks)
    if (block.ours) ours += ForParser(block.text);
  return ini->LoadData(ours) >= 0;
}

// The file with our sections replaced by ours, where the first of them
// stood (at the end for a file without them); every other byte stays.
std::string Spliced(std::string_view head, const std::vector<Block>& blocks, const std::string& ours) {
  std::string text(head);
  bool placed = false;
  for (const Block& block : blocks) {
    if (!block.ours) {
      text += block.text;
    } else if (!placed) {
      text += ours;
      placed = true;
    }
  }
  if (placed) return text;
  if (text.size() > head.size() && text.back() != '\n' && text.back() != '\r') text += '\n';
  return text + ours;
}

// Our keys with the settings' values, in the order a new file lists them.
void PutInto(const Settings& settings, CSimpleIniA* ini) {
  const auto setText = [ini](const char* key, const std::string& text) {
    ini->SetValue(kSection, key, SettingsFile::Encoded(text).c_str());
  };
  setText(kLocalFolder, settings.localFolder);
  const GenerationInputs& inputs = settings.inputs;
  setText(kBaseUrl, inputs.baseUrl);
  ini->SetValue(kSection, kPriority, inputs.priority ? "1" : "0");
  ini->SetValue(kSection, kChangeFreq, inputs.changeFreq ? "1" : "0");
  ini->SetValue(kSection, kLastMod, inputs.lastMod ? "1" : "0");
  ini->SetValue(kSection, kMobile, inputs.mobile ? "1" : "0");
  setText(kExtensions, SettingsFile::JoinExtensions(inputs.extensions));

  ini->SetValue(kOptions, kLastModFrom, inputs.lastModFromContent ? (inputs.lastModFromGit ? "git" : "content")
                                           : inputs.lastModFromFile ? "file" : "run");
  ini->SetValue(kOptions, kExclude, SettingsFile::Encoded(Joined(inputs.exclude, '\n')).c_str());
  ini->SetValue(kOptions, kSkipNoindex, inputs.skipNoindex ? "1" : "0");
  ini->SetValue(kOptions, kFolderUrls, inputs.folderUrls ? "1" : "0");
  ini->SetValue(kOptions, kIndexNames, SettingsFile::Encoded(Joined(inputs.indexNames, ',')).c_str());
  ini->SetValue(kOptions, kFollowLinks, inputs.followLinks ? "1" : "0");
  ini->SetValue(kOptions, kGzip, inputs.gzip ? "1" : "0");
  // Keys of the ledger's options only once they are not the default, so a
  // file saved without them reads as it always did.
  if (inputs.digestText)
    ini->SetValue(kOptions, kDigest, "text");
  else
    ini->Delete(kOptions, kDigest);
  if (!inputs.ledgerPath.empty())
    ini->SetValue(kOptions, kLedger, SettingsFile::Encoded(inputs.ledgerPath).c_str());
  else
    ini->Delete(kOptions, kLedger);
  // So are the search engine options'.
  for (const auto& [key, on] : {std::pair{kCanonical, inputs.canonical}, std::pair{kRobotsTxt, inputs.robotsTxt},
                                std::pair{kRobotsSitemapLine, inputs.robotsSitemapLine},
                                std::pair{kHreflang, inputs.hreflang}}) {
    if (on)
      ini->SetValue(kOptions, key, "1");
    else
      ini->Delete(kOptions, key);
  }
  if (inputs.robotsAgent != "*")
    ini->SetValue(kOptions, kRobotsAgent, SettingsFile::Encoded(inputs.robotsAgent).c_str());
  else
    ini->Delete(kOptions, kRobotsAgent);

  if (!settings.window) return;
  const WindowPlace& place = *settings.window;
  for (const auto& [key, value] : {std::pair{kLeft, place.left}, std::pair{kTop, place.top},
                                   std::pair{kWidth, place.width}, std::pair{kHeight, place.height}})
    ini->SetValue(kWindow, key, std::to_string(value).c_str());
  ini->SetValue(kWindow, kMaximized, place.maximized ? "1" : "0");
}

bool ParseWhole(const std::string& digits, int base, bool negative, std::int64_t* value) {
  if (digits.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long magnitude = std::strtoull(digits.c_str(), &end, base);
  if (errno != 0 || *end != '\0' || !AsciiText::IsHexDigit(digits[0])) return false;
  // Decimal numbers are 32-bit signed; hex ones may use all 32 bits.
  const unsigned long long limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  if (magnitude > limit) return false;
  *value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

// A whole number as a boolean key takes it: decimal, optionally signed, or
// hex after "$" or "0x".
std::optional<std::int64_t> WholeNumber(const std::string& value) {
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
    return std::nullopt;
  }
  std::int64_t number = 0;
  if (!ParseWhole(rest, base, negative, &number)) return std::nullopt;
  return number;
}

// The window's place, when every key of it is there and within reach.
std::optional<WindowPlace> PlaceIn(const CSimpleIniA& ini) {
  const auto number = [&ini](const char* key, std::int64_t lowest) -> std::optional<int> {
    const char* value = ini.GetValue(kWindow, key);
    if (!value) return std::nullopt;
    const std::optional<std::int64_t> whole = WholeNumber(value);
    if (!whole || *whole < lowest || *whole > kFarthest) return std::nullopt;
    return static_cast<int>(*whole);
  };
  const std::optional<int> left = number(kLeft, -kFarthest), top = number(kTop, -kFarthest);
  const std::optional<int> width = number(kWidth, 1), height = number(kHeight, 1);
  if (!left || !top || !width || !height) return std::nullopt;
  return WindowPlace{*left, *top, *width, *height, SettingsFile::ReadsAsChecked(ini.GetValue(kWindow, kMaximized, ""))};
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

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
          const auto byte = static_cast<unsigned char>(c);
          stored += {'\\', 'x', AsciiText::kUpperHexDigits[byte >> 4], AsciiText::kUpperHexDigits[byte & 0x0F]};
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
    else if (code == 'x' && i + 2 < end && AsciiText::IsHexDigit(stored[i + 1]) &&
             AsciiText::IsHexDigit(stored[i + 2])) {
      text += static_cast<char>(AsciiText::HexValue(stored[i + 1]) * 16 + AsciiText::HexValue(stored[i + 2]));
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
  const std::optional<std::int64_t> number = WholeNumber(value);
  return number && *number != 0;
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

bool SettingsFile::Load(Settings* settings) {
  *settings = Settings{};
  error_.clear();
  warnings_.clear();
  std::string content, reason;
  if (!files_.ReadWhole(path_, &content, &reason)) {
    if (errno == ENOENT) return true;  // a first start
    error_ = path_ + ": " + reason;
    return false;
  }
  CSimpleIniA ini;
  if (!ParseOurSections(Sections(AsciiText::WithoutUtf8Mark(content)), &ini)) {
    error_ = path_ + ": out of memory";
    return false;
  }
  const auto text = [&](const char* key, const char* section = kSection) {
    return Decoded(FromParser(ini.GetValue(section, key, "")));
  };
  // An empty value is no value: the default, as for a missing key.
  const auto flag = [&](const char* key, const char* section = kSection) {
    const std::string value = text(key, section);
    if (!value.empty() && !WholeNumber(value)) warnings_.push_back({key, value, {"1", "0"}, "0"});
    return ReadsAsChecked(value);
  };
  settings->localFolder = text(kLocalFolder);
  GenerationInputs& inputs = settings->inputs;
  inputs.baseUrl = text(kBaseUrl);
  inputs.priority = flag(kPriority);
  inputs.changeFreq = flag(kChangeFreq);
  inputs.lastMod = flag(kLastMod);
  inputs.mobile = flag(kMobile);
  inputs.extensions = SplitExtensions(text(kExtensions));

  const std::string lastModFrom = text(kLastModFrom, kOptions);
  if (!lastModFrom.empty() && lastModFrom != "run" && lastModFrom != "file" && lastModFrom != "content" &&
      lastModFrom != "git")
    warnings_.push_back({kLastModFrom, lastModFrom, {"run", "file", "content", "git"}, "run"});
  inputs.lastModFromFile = lastModFrom == "file";
  // git dates by the content rule what it cannot date itself.
  inputs.lastModFromContent = lastModFrom == "content" || lastModFrom == "git";
  inputs.lastModFromGit = lastModFrom == "git";
  const std::string digest = text(kDigest, kOptions);
  if (!digest.empty() && digest != "bytes" && digest != "text")
    warnings_.push_back({kDigest, digest, {"bytes", "text"}, "bytes"});
  inputs.digestText = digest == "text";
  inputs.ledgerPath = text(kLedger, kOptions);
  inputs.exclude = AsciiText::Lines(text(kExclude, kOptions));
  inputs.skipNoindex = flag(kSkipNoindex, kOptions);
  inputs.folderUrls = flag(kFolderUrls, kOptions);
  if (ini.GetValue(kOptions, kIndexNames)) inputs.indexNames = SplitExtensions(text(kIndexNames, kOptions));
  inputs.followLinks = flag(kFollowLinks, kOptions);
  inputs.gzip = flag(kGzip, kOptions);
  inputs.canonical = flag(kCanonical, kOptions);
  inputs.robotsTxt = flag(kRobotsTxt, kOptions);
  const std::string agent = text(kRobotsAgent, kOptions);
  if (!agent.empty() && !RobotsTxt::IsProductToken(agent))
    warnings_.push_back({kRobotsAgent, agent, {"*", "[A-Za-z_-]+"}, "*"});
  else if (!agent.empty())
    inputs.robotsAgent = agent;
  inputs.robotsSitemapLine = flag(kRobotsSitemapLine, kOptions);
  inputs.hreflang = flag(kHreflang, kOptions);
  settings->window = PlaceIn(ini);
  return true;
}

bool SettingsFile::Save(const Settings& settings) {
  error_.clear();
  // Keep what else the user wrote into the file; a file that cannot be
  // read is not replaced, since that would lose it.
  std::string before, unread;
  if (!files_.ReadWhole(path_, &before, &unread) && errno != ENOENT) {
    error_ = path_ + ": " + unread + "; the file is left as it is";
    return false;
  }
  const std::string_view body = AsciiText::WithoutUtf8Mark(before);
  const std::vector<Block> blocks = Sections(body);
  CSimpleIniA ini;
  ini.SetSpaces(false);
  if (!ParseOurSections(blocks, &ini)) {
    error_ = path_ + ": out of memory";
    return false;
  }
  PutInto(settings, &ini);

  std::string ours;
  if (ini.Save(ours) < 0) {
    error_ = path_ + ": the settings could not be put into text";
    return false;
  }
  const std::string text = Spliced(before.substr(0, before.size() - body.size()), blocks, FromParser(ours));
  // Through a link, the file it leads to is replaced and the link stays;
  // the replacement refuses anything but a regular file there (a link to
  // /dev/null, say, to have the settings forgotten stays as it is).
  const std::string target = FinalTarget(path_);
  const bool bareName = target.find('/') == std::string::npos;
  const std::string folder = AsciiText::FolderOf(target);
  const std::string name(AsciiText::NameOf(target));
  std::string reason;
  if (!bareName && folder != "/" && !files_.MakeFolders(folder, &reason)) {
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
    SafeOutputFile out(files_, folderFd, bareName ? "" : folder, "." + name + ".tmp-");
    saved = out.Open(name) && out.Write(text) && out.Commit();
    if (!saved) error_ = target == path_ ? out.error() : path_ + ": leads to " + out.error();
  }
  files_.Close(folderFd, &reason);
  return saved;
}
