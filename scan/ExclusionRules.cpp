#include "scan/ExclusionRules.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// As git does: trailing spaces go unless a backslash keeps the one after it.
std::string_view WithoutTrailingSpaces(std::string_view line) {
  std::size_t keep = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == ' ') continue;
    if (line[i] == '\\' && i + 1 < line.size()) ++i;
    keep = i + 1;
  }
  return line.substr(0, keep);
}

bool IsAnyFolders(std::string_view name) {
  return name.size() >= 2 && name.find_first_not_of('*') == kNone;
}

// Where the name after the one starting at path[at] starts; path.size() + 1
// when there is none.
std::size_t NextName(std::string_view path, std::size_t at) {
  const std::size_t slash = path.find('/', at);
  return slash == kNone ? path.size() + 1 : slash + 1;
}

bool ReadWholeFile(const std::string& path, std::string* content, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  char buffer[16384];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content->append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  const int reason = errno;
  std::fclose(file);
  if (failed) *error = path + ": " + std::strerror(reason);
  return !failed;
}

}  // namespace

void ExclusionRules::Add(std::string_view line) {
  if (line.empty() || line.front() == '#') return;
  line = WithoutTrailingSpaces(line);
  Rule rule;
  if (line.starts_with('!')) {
    rule.negated = true;
    line.remove_prefix(1);
  }
  if (line.ends_with('/')) {
    rule.folderOnly = true;
    line.remove_suffix(1);
  }
  rule.anchored = line.find('/') != kNone;
  if (line.starts_with('/')) line.remove_prefix(1);
  if (line.empty()) return;
  if (rule.anchored) {
    if (!ParseSteps(line, &rule.steps)) return;
  } else {
    std::optional<NameGlob> name = NameGlob::Compile(line);
    if (!name) return;
    rule.steps.push_back({std::move(*name)});
  }
  rules_.push_back(std::move(rule));
}

// Splits an anchored pattern into its names. A "**" at the end stands for
// one or more names (what is inside, not the folder itself), so it becomes
// "*" followed by any number of folders.
bool ExclusionRules::ParseSteps(std::string_view pattern, std::vector<Step>* steps) {
  for (;;) {
    const std::size_t length = NameGlob::NameLength(pattern);
    const std::string_view name = pattern.substr(0, length);
    if (!IsAnyFolders(name)) {
      std::optional<NameGlob> glob = NameGlob::Compile(name);
      if (!glob) return false;
      steps->push_back({std::move(*glob)});
    } else if (steps->empty() || !steps->back().anyFolders) {
      steps->push_back({NameGlob(), true});
    }
    if (length == pattern.size()) break;
    pattern.remove_prefix(length + (pattern[length] == '\\' ? 2 : 1));
  }
  if (steps->back().anyFolders) steps->insert(steps->end() - 1, {*NameGlob::Compile("*")});
  return true;
}

bool ExclusionRules::AddFile(const std::string& path, std::string* error) {
  std::string content;
  if (!ReadWholeFile(path, &content, error)) return false;
  std::string_view rest = content;
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    Add(line);
    if (end == kNone) break;
    rest.remove_prefix(end + 1);
  }
  return true;
}

bool ExclusionRules::Excludes(std::string_view path, bool isFolder) const {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == kNone ? path : path.substr(slash + 1);
  for (auto rule = rules_.rbegin(); rule != rules_.rend(); ++rule) {
    if (Matches(*rule, path, name, isFolder)) return !rule->negated;
  }
  return false;
}

bool ExclusionRules::Matches(const Rule& rule, std::string_view path, std::string_view name,
                             bool isFolder) {
  if (rule.folderOnly && !isFolder) return false;
  if (!rule.anchored) return rule.steps.front().name.Matches(name);
  return MatchesSteps(rule.steps, path);
}

// The same walk as NameGlob's, one level up: names for characters and
// "**" for the star. Each other step matches exactly one name, so going
// back to the last "**" is enough.
bool ExclusionRules::MatchesSteps(const std::vector<Step>& steps, std::string_view path) {
  const std::size_t end = path.size() + 1;
  std::size_t at = 0;
  std::size_t next = 0;
  std::size_t anyFolders = kNone;
  std::size_t anyFoldersAt = 0;
  while (at < end) {
    if (next < steps.size()) {
      if (steps[next].anyFolders) {
        anyFolders = next++;
        anyFoldersAt = at;
        continue;
      }
      const std::size_t after = NextName(path, at);
      if (steps[next].name.Matches(path.substr(at, after - 1 - at))) {
        at = after;
        ++next;
        continue;
      }
    }
    if (anyFolders == kNone) return false;
    anyFoldersAt = NextName(path, anyFoldersAt);
    at = anyFoldersAt;
    next = anyFolders + 1;
  }
  if (next < steps.size() && steps[next].anyFolders) ++next;
  return next == steps.size();
}
