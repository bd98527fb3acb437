#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/NameGlob.h"

// The paths a scan leaves out, given as lines in the form of an ignore file
// (.gitignore), relative to the site's root folder:
//
//   404.html      that name at any depth; a pattern without "/" (a trailing
//                 one not counted) looks only at the last name of a path
//   /drafts/      a leading "/" anchors at the root, as does any "/" before
//   docs/*.pdf    the end; a trailing "/" means folders only
//   **/tmp        "**" crosses folders: tmp at any depth, everything inside
//   logs/**       logs (but not logs itself), a/**/b with zero or more
//                 folders between
//   !keep.html    brings back what an earlier line left out: the last line
//                 that matches a path decides
//   # note        a comment; blank lines add nothing, and trailing spaces
//                 are dropped unless escaped ("\ ")
//
// Names are bytes, matched exactly and case-sensitively; NameGlob tells how
// one name matches. A line git would never let match anything (an unclosed
// "[", an unknown "[:class:]", a backslash at the end) is refused with the
// reason rather than left to do nothing. As in ignore files, nothing inside an excluded folder can
// be brought back, because the scan never lists that folder: each answer is
// about one path alone, and the caller must not look inside a folder it was
// told to leave out.
class ExclusionRules {
 public:
  // A refused line: what is wrong, where in the line (fault.at, a byte
  // offset), and which line of those given it was.
  struct BadLine {
    NameGlob::Fault fault;
    std::string line;
    std::size_t number = 0;  // from 1; 0 from Add
  };
  // Why AddFile added nothing: the file could not be read whole (an errno
  // value), or a line of it is refused.
  struct FileProblem {
    int readError = 0;
    std::optional<BadLine> badLine;
  };

  // One line of an ignore file, or one --exclude value. A malformed pattern
  // adds nothing and is returned.
  std::optional<BadLine> Add(std::string_view line);
  // The lines in order, numbered from 1. Adds nothing when one is refused.
  std::optional<BadLine> AddAll(const std::vector<std::string>& lines);
  // Every line of a file (CR LF line ends and a UTF-8 byte order mark are
  // allowed). Returns false, adding nothing, when the file cannot be read
  // whole or a line is refused.
  bool AddFile(const std::string& path, FileProblem* problem);

  // True when no line added so far can match anything.
  bool empty() const { return rules_.empty(); }
  // The lines added so far that are no comment nor blank, as given: adding
  // them to other rules makes the same rules.
  const std::vector<std::string>& patterns() const { return patterns_; }

  // path: relative to the root, names joined by "/", no leading or trailing
  // "/". isFolder tells whether it names a folder.
  bool Excludes(std::string_view path, bool isFolder) const;

 private:
  // One name of a rule anchored at the root, or "**": any number of folders.
  struct Step {
    NameGlob name;
    bool anyFolders = false;
  };
  struct Rule {
    std::vector<Step> steps;  // a single step, for the last name, unless anchored
    bool anchored = false;
    bool folderOnly = false;
    bool negated = false;
  };

  static std::optional<NameGlob::Fault> ParseSteps(std::string_view pattern, std::vector<Step>* steps);
  static bool Matches(const Rule& rule, std::string_view path, std::string_view name, bool isFolder);
  static bool MatchesSteps(const std::vector<Step>& steps, std::string_view path);

  std::vector<Rule> rules_;
  std::vector<std::string> patterns_;
};
