#include "scan/ExclusionRules.h"
#include "text/AsciiText.h"

#include <cerrno>
#include <cstdio>
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

// The whole file, or false with the errno value of the failure.
bool ReadWholeFile(const std::string& path, std::string* content, int* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *error = errno;
    return false;
  }
  char buffer[16384];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content->append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  *error = failed ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(file);
  return !failed;
}

}  // namespace

std::optional<ExclusionRules::BadLine> ExclusionRules::Add(std::string_view line) {
  const std::string_view given = line;
  if (line.empty() || line.front() == '#') return std::nullopt;
  line = WithoutTrailingSpaces(line);
  if (line.empty()) return std::nullopt;
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
  std::optional<NameGlob::Fault> fault;
  if (line.empty()) {
    // A lone "/" or "!": nothing to match, as in git.
  } else if (rule.anchored) {
    fault = ParseSteps(line, &rule.steps);
  } else if (std::optional<NameGlob> name = NameGlob::Compile(line, &fault.emplace())) {
    fault.reset();
    rule.steps.push_back({std::move(*name)});
  }
  if (fault) {
    fault->at += static_cast<std::size_t>(line.data() - given.data());
    return BadLine{*fault, std::string(given)};
  }
  if (!rule.steps.empty()) rules_.push_back(std::move(rule));
  patterns_.emplace_back(given);
  return std::nullopt;
}

std::optional<ExclusionRules::BadLine> ExclusionRules::AddAll(const std::vector<std::string>& lines) {
  const std::size_t rules = rules_.size();
  const std::size_t patterns = patterns_.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::optional<BadLine> bad = Add(lines[i]);
    if (!bad) continue;
    rules_.resize(rules);
    patterns_.resize(patterns);
    bad->number = i + 1;
    return bad;
  }
  return std::nullopt;
}

// Splits an anchored pattern into its names. A "**" at the end stands for
// one or more names (what is inside, not the folder itself), so it becomes
// "*" followed by any number of folders.
std::optional<NameGlob::Fault> ExclusionRules::ParseSteps(std::string_view pattern, std::vector<Step>* steps) {
  const char* const start = pattern.data();
  for (;;) {
    const std::size_t length = NameGlob::NameLength(pattern);
    const std::string_view name = pattern.substr(0, length);
    if (!IsAnyFolders(name)) {
      NameGlob::Fault fault{};
      std::optional<NameGlob> glob = NameGlob::Compile(name, &fault);
      if (!glob) {
        fault.at += static_cast<std::size_t>(name.data() - start);
        return fault;
      }
      steps->push_back({std::move(*glob)});
    } else if (steps->empty() || !steps->back().anyFolders) {
      steps->push_back({NameGlob(), true});
    }
    if (length == pattern.size()) break;
    pattern.remove_prefix(length + (pattern[length] == '\\' ? 2 : 1));
  }
  if (steps->back().anyFolders) steps->insert(steps->end() - 1, {*NameGlob::Compile("*")});
  return std::nullopt;
}

bool ExclusionRules::AddFile(const std::string& path, FileProblem* problem) {
  *problem = FileProblem();
  std::string content;
  if (!ReadWholeFile(path, &content, &problem->readError)) return false;
  problem->badLine = AddAll(AsciiText::Lines(AsciiText::WithoutUtf8Mark(content)));
  return !problem->badLine;
}

bool ExclusionRules::Excludes(std::string_view path, bool isFolder) const {
  const std::string_view name = AsciiText::NameOf(path);
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
