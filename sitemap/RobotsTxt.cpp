#include "sitemap/RobotsTxt.h"

#include <algorithm>

#include "text/AsciiText.h"

namespace {

using AsciiText::EqualsIgnoringCase;
using AsciiText::HexValue;

bool IsTokenCharacter(char c) { return AsciiText::IsLetter(c) || c == '-' || c == '_'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsUnreserved(unsigned char c) {
  return AsciiText::IsAlnum(static_cast<char>(c)) || c == '-' || c == '.' || c == '_' || c == '~';
}

// The form paths and rules are compared in (see the class comment).
std::string Compared(std::string_view text) {
  constexpr std::string_view kHex = AsciiText::kUpperHexDigits;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      const auto value = static_cast<unsigned char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      if (IsUnreserved(value)) {
        out.push_back(static_cast<char>(value));
      } else {
        out.push_back('%');
        out.push_back(kHex[value >> 4]);
        out.push_back(kHex[value & 0x0F]);
      }
      i += 2;
    } else if (c <= 0x20 || c >= 0x7F) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

// Whether pattern ("*" for any run, a final "$" for the end) matches the
// start of path, or all of it when anchored.
bool Matches(std::string_view pattern, std::string_view path) {
  const bool anchored = !pattern.empty() && pattern.back() == '$';
  if (anchored) pattern.remove_suffix(1);
  // Most rules are a plain prefix.
  if (pattern.find('*') == std::string_view::npos) return anchored ? path == pattern : path.starts_with(pattern);
  // Each "*" takes as few octets as it can, one more whenever what follows
  // it fails: only the last "*" needs to take more.
  constexpr std::size_t kNone = std::string_view::npos;
  std::size_t p = 0, at = 0, star = kNone, starAt = 0;
  for (;;) {
    if (p == pattern.size()) {
      if (!anchored || at == path.size()) return true;
    } else if (pattern[p] == '*') {
      star = p++;
      starAt = at;
      continue;
    } else if (at < path.size() && path[at] == pattern[p]) {
      ++p;
      ++at;
      continue;
    }
    if (star == kNone || starAt == path.size()) return false;
    p = star + 1;
    at = ++starAt;
  }
}

// The product token a user-agent line names: its leading token characters
// ("Googlebot/2.1" names Googlebot), or "*".
std::string_view NamedAgent(std::string_view value) {
  if (value.starts_with('*')) return "*";
  std::size_t end = 0;
  while (end < value.size() && IsTokenCharacter(value[end])) ++end;
  return value.substr(0, end);
}

// The text that is read: the byte order mark and what lies past the limit
// left out.
std::string_view ReadPart(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  if (text.size() <= RobotsTxt::kMaxBytes) return text;
  const bool endsOnLineBreak = text[RobotsTxt::kMaxBytes] == '\n' || text[RobotsTxt::kMaxBytes - 1] == '\n' ||
                               text[RobotsTxt::kMaxBytes - 1] == '\r';
  text = text.substr(0, RobotsTxt::kMaxBytes);
  if (endsOnLineBreak) return text;
  const std::size_t lastBreak = text.find_last_of("\r\n");
  return lastBreak == std::string_view::npos ? std::string_view() : text.substr(0, lastBreak + 1);
}

}  // namespace

bool RobotsTxt::IsProductToken(std::string_view agent) {
  return agent == "*" || (!agent.empty() && std::all_of(agent.begin(), agent.end(), IsTokenCharacter));
}

RobotsTxt::RobotsTxt(std::string_view text, std::string_view agent) {
  struct Group {
    bool forAgent = false;  // names the agent itself
    bool forAny = false;    // names "*"
    std::vector<Rule> rules;
  };
  std::vector<Group> groups;
  bool lastWasAgent = false;
  std::string_view rest = ReadPart(text);
  while (!rest.empty()) {
    const std::size_t lineEnd = rest.find_first_of("\r\n");
    std::string_view line = rest.substr(0, lineEnd);
    if (lineEnd == std::string_view::npos) {
      rest = {};
    } else {
      rest.remove_prefix(lineEnd + (rest.compare(lineEnd, 2, "\r\n") == 0 ? 2 : 1));
    }
    line = line.substr(0, line.find('#'));
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = TrimBlanks(line.substr(0, colon));
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (EqualsIgnoringCase(key, "user-agent")) {
      if (!lastWasAgent) groups.emplace_back();
      lastWasAgent = true;
      const std::string_view named = NamedAgent(value);
      if (named == "*")
        groups.back().forAny = true;
      else if (!named.empty() && EqualsIgnoringCase(named, agent))
        groups.back().forAgent = true;
      continue;
    }
    if (EqualsIgnoringCase(key, "sitemap")) {
      if (!value.empty()) sitemaps_.emplace_back(value);
      continue;
    }
    const bool allow = EqualsIgnoringCase(key, "allow");
    if (!allow && !EqualsIgnoringCase(key, "disallow")) continue;
    lastWasAgent = false;
    // A rule before any group, or an empty one, says nothing.
    if (groups.empty() || value.empty()) continue;
    std::string pattern = Compared(value);
    // "**" is "*"; a "$" is an anchor only at the end.
    pattern.erase(std::unique(pattern.begin(), pattern.end(), [](char a, char b) { return a == '*' && b == '*'; }),
                  pattern.end());
    groups.back().rules.push_back({std::move(pattern), allow, std::string(TrimBlanks(line))});
  }
  const bool agentHasGroup =
      agent != "*" && std::any_of(groups.begin(), groups.end(), [](const Group& g) { return g.forAgent; });
  for (Group& group : groups)
    if (agentHasGroup ? group.forAgent : group.forAny)
      for (Rule& rule : group.rules) rules_.push_back(std::move(rule));
}

const std::string* RobotsTxt::Disallowing(std::string_view path) const {
  if (path == "/robots.txt") return nullptr;
  // A path of printable ASCII without escapes is in compared form already.
  const bool plain = std::all_of(path.begin(), path.end(), [](char c) { return c > 0x20 && c < 0x7F && c != '%'; });
  const std::string comparedPath = plain ? std::string() : Compared(path);
  const std::string_view compared = plain ? path : std::string_view(comparedPath);
  const Rule* deciding = nullptr;
  for (const Rule& rule : rules_) {
    if (!Matches(rule.pattern, compared)) continue;
    const std::size_t length = rule.pattern.size();
    const std::size_t longest = deciding ? deciding->pattern.size() : 0;
    if (!deciding || length > longest || (length == longest && rule.allow)) deciding = &rule;  // allow wins a tie
  }
  return deciding && !deciding->allow ? &deciding->line : nullptr;
}
