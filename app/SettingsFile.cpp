#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include "app/SettingsFile.h"

#include <SimpleIni.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sitemap/SafeOutputFile.h"

namespace {

constexpr const char* kSection = "SETTING";
constexpr const char* kLocalFolder = "LOCAL_FOLDER";
constexpr const char* kBaseUrl = "BASE_URL";
constexpr const char* kPriority = "PRIORITY_AUTO";
constexpr const char* kChangeFreq = "UPDATE_FREQ_AUTO";
constexpr const char* kLastMod = "LAST_UPDATE_AUTO";
constexpr const char* kMobile = "MOBILE";
constexpr const char* kExtensions = "KAKUCHO";

std::string ExecutableFolder() {
  std::string buffer(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0) return ".";
  buffer.resize(static_cast<std::size_t>(length));
  const auto slash = buffer.rfind('/');
  return slash == 0 ? "/" : buffer.substr(0, slash);
}

std::string ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.config";
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

}  // namespace

SettingsFile::SettingsFile(std::string path, FileLayer& files)
    : path_(std::move(path)), files_(files) {}

std::string SettingsFile::DefaultPath() {
  const std::string besideProgram = ExecutableFolder() + "/Setting.ini";
  if (access(besideProgram.c_str(), F_OK) == 0 || access(ExecutableFolder().c_str(), W_OK) == 0)
    return besideProgram;
  return ConfigFolder() + "/nubika-sitemap/Setting.ini";
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
  std::size_t begin = 0;
  while (begin <= value.size()) {
    std::size_t comma = value.find(',', begin);
    if (comma == std::string::npos) comma = value.size();
    std::string piece = value.substr(begin, comma - begin);
    if (!piece.empty() && std::find(pieces.begin(), pieces.end(), piece) == pieces.end())
      pieces.push_back(std::move(piece));
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
  const auto text = [&](const char* key) { return std::string(ini.GetValue(kSection, key, "")); };
  settings->localFolder = text(kLocalFolder);
  settings->baseUrl = text(kBaseUrl);
  settings->priority = ReadsAsChecked(text(kPriority));
  settings->changeFreq = ReadsAsChecked(text(kChangeFreq));
  settings->lastMod = ReadsAsChecked(text(kLastMod));
  settings->mobile = ReadsAsChecked(text(kMobile));
  settings->extensions = SplitExtensions(text(kExtensions));
  return true;
}

bool SettingsFile::Save(const Settings& settings) {
  error_.clear();
  CSimpleIniA ini;
  ini.SetSpaces(false);
  {
    // Keep what else the user wrote into the file.
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream content;
    if (in) {
      content << in.rdbuf();
      ini.LoadData(content.str());
    }
  }
  ini.SetValue(kSection, kLocalFolder, settings.localFolder.c_str());
  ini.SetValue(kSection, kBaseUrl, settings.baseUrl.c_str());
  ini.SetValue(kSection, kPriority, settings.priority ? "1" : "0");
  ini.SetValue(kSection, kChangeFreq, settings.changeFreq ? "1" : "0");
  ini.SetValue(kSection, kLastMod, settings.lastMod ? "1" : "0");
  ini.SetValue(kSection, kMobile, settings.mobile ? "1" : "0");
  ini.SetValue(kSection, kExtensions, JoinExtensions(settings.extensions).c_str());

  std::string text;
  std::string reason;
  const auto slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0 && !files_.MakeFolders(path_.substr(0, slash), &reason)) {
    error_ = path_;
    return false;
  }
  SafeOutputFile out(files_);
  if (ini.Save(text) < 0 || !out.Open(path_) || !out.Write(text) || !out.Commit()) {
    error_ = path_;
    return false;
  }
  return true;
}
