#include <gtest/gtest.h>

#include <cerrno>
#include <initializer_list>
#include <string>
#include <vector>

#include "scan/ExclusionRules.h"
#include "TestSupport.h"

namespace {

ExclusionRules Rules(std::initializer_list<std::string_view> lines) {
  ExclusionRules rules;
  for (std::string_view line : lines) EXPECT_FALSE(rules.Add(line)) << line;
  return rules;
}

bool File(const ExclusionRules& rules, std::string_view path) { return rules.Excludes(path, false); }
bool Folder(const ExclusionRules& rules, std::string_view path) { return rules.Excludes(path, true); }

TEST(ExclusionRulesTest, PlainNameMatchesThatNameAtAnyDepth) {
  const ExclusionRules rules = Rules({"404.html"});
  EXPECT_TRUE(File(rules, "404.html"));
  EXPECT_TRUE(File(rules, "a/b/404.html"));
  EXPECT_TRUE(Folder(rules, "a/404.html"));
  EXPECT_FALSE(File(rules, "404.html/index.html"));  // the folder itself is the one left out
  EXPECT_FALSE(File(rules, "x404.html"));
  EXPECT_FALSE(File(rules, "404.html.bak"));
  EXPECT_FALSE(File(rules, "404.HTML"));
  EXPECT_FALSE(File(rules, "404xhtml"));  // "." is not special
}

TEST(ExclusionRulesTest, StarAndQuestionStayWithinOneName) {
  const ExclusionRules rules = Rules({"*.bak", "docs/*.pdf", "a?c", "pre*", "x*y*z"});
  EXPECT_TRUE(File(rules, "page.bak"));
  EXPECT_TRUE(File(rules, "deep/er/.bak"));
  EXPECT_FALSE(File(rules, "page.bak.html"));
  EXPECT_TRUE(File(rules, "docs/a.pdf"));
  EXPECT_FALSE(File(rules, "docs/sub/a.pdf"));
  EXPECT_FALSE(File(rules, "site/docs/a.pdf"));
  EXPECT_TRUE(File(rules, "abc"));
  EXPECT_FALSE(File(rules, "ac"));
  EXPECT_FALSE(File(rules, "abbc"));
  EXPECT_TRUE(File(rules, "d/prefix.html"));
  EXPECT_FALSE(File(rules, "d/apre"));
  EXPECT_TRUE(File(rules, "xayyzyz"));  // the last star has to take more than its first fit
  EXPECT_FALSE(File(rules, "xzy"));
  EXPECT_FALSE(File(Rules({"a*/b"}), "a/x/b"));
}

TEST(ExclusionRulesTest, QuestionIsOneUtf8CharacterOrOneStrayByte) {
  const ExclusionRules rules = Rules({"?.html", "*??.txt"});
  EXPECT_TRUE(File(rules, "\xE3\x81\x82.html"));  // あ
  EXPECT_TRUE(File(rules, "a.html"));
  EXPECT_FALSE(File(rules, "ab.html"));
  EXPECT_FALSE(File(rules, "\xE3\x81\x82\xE3\x81\x84.html"));
  EXPECT_TRUE(File(rules, "\xFF.html"));
  EXPECT_FALSE(File(rules, "\xE3\x81.html"));  // a cut-off sequence is two stray bytes
  EXPECT_FALSE(File(rules, "\xC0\xAE.html"));  // and so are overlong forms of "."
  EXPECT_FALSE(File(rules, "\xE0\x80\xAE.html"));
  // A star steps by whole characters too, or "??" would split あ.
  EXPECT_FALSE(File(rules, "\xE3\x81\x82.txt"));
  EXPECT_TRUE(File(rules, "\xE3\x81\x82\xE3\x81\x84.txt"));
  EXPECT_TRUE(File(rules, "\xE3\x81.txt"));
  // A stray byte in the pattern never matches the inside of a character.
  EXPECT_FALSE(File(Rules({"*\x82.txt"}), "\xE3\x81\x82.txt"));
  EXPECT_TRUE(File(Rules({"*\x82.txt"}), "a\x82.txt"));
}

TEST(ExclusionRulesTest, BracketExpressions) {
  const ExclusionRules rules = Rules({"[ab]1", "[c-e]2", "[!a]3", "[^a]4", "[]]5", "[!]]6", "[a-]7",
                                      "[[:digit:]]8", "[\\]x]9", "[\xE3\x81\x81-\xE3\x82\x93]0",
                                      "[a-c-e]+", "[[:upper:][:punct:]]="});
  EXPECT_TRUE(File(rules, "a1"));
  EXPECT_TRUE(File(rules, "b1"));
  EXPECT_FALSE(File(rules, "c1"));
  EXPECT_TRUE(File(rules, "d2"));
  EXPECT_FALSE(File(rules, "f2"));
  EXPECT_FALSE(File(rules, "-2"));
  EXPECT_TRUE(File(rules, "b3"));
  EXPECT_FALSE(File(rules, "a3"));
  EXPECT_TRUE(File(rules, "\xE3\x81\x82" "3"));  // a negated set still takes one whole character
  EXPECT_TRUE(File(rules, "b4"));
  EXPECT_FALSE(File(rules, "a4"));
  EXPECT_TRUE(File(rules, "]5"));
  EXPECT_TRUE(File(rules, "a6"));
  EXPECT_FALSE(File(rules, "]6"));
  EXPECT_TRUE(File(rules, "-7"));
  EXPECT_TRUE(File(rules, "78"));
  EXPECT_FALSE(File(rules, "x8"));
  EXPECT_TRUE(File(rules, "]9"));
  EXPECT_FALSE(File(rules, "\\9"));
  EXPECT_TRUE(File(rules, "\xE3\x81\x8B" "0"));   // か within ぁ-ん
  EXPECT_FALSE(File(rules, "\xE3\x82\xA2" "0"));  // ア is not
  EXPECT_FALSE(File(rules, "\xE3" "0"));
  EXPECT_TRUE(File(rules, "-+"));  // after a range, "-" is a member again
  EXPECT_FALSE(File(rules, "d+"));
  EXPECT_TRUE(File(rules, "A="));
  EXPECT_TRUE(File(rules, ".="));
  EXPECT_FALSE(File(rules, "a="));
  EXPECT_FALSE(File(rules, "1="));
}

TEST(ExclusionRulesTest, EscapesAndTrailingSpaces) {
  const ExclusionRules rules = Rules({"\\*", "\\#hash", "\\!bang", "\\?", "space\\ ", "trim   ", "both\\   "});
  EXPECT_TRUE(File(rules, "*"));
  EXPECT_FALSE(File(rules, "star"));
  EXPECT_TRUE(File(rules, "#hash"));
  EXPECT_TRUE(File(rules, "!bang"));
  EXPECT_TRUE(File(rules, "?"));
  EXPECT_FALSE(File(rules, "q"));
  EXPECT_TRUE(File(rules, "space "));
  EXPECT_FALSE(File(rules, "space"));
  EXPECT_TRUE(File(rules, "trim"));
  EXPECT_FALSE(File(rules, "trim "));
  EXPECT_TRUE(File(rules, "both "));
  EXPECT_FALSE(File(rules, "both  "));
}

TEST(ExclusionRulesTest, CommentsAndBlankLinesAddNothing) {
  const ExclusionRules rules = Rules({"# drafts", "", "   ", "!", "/", "!/"});
  EXPECT_TRUE(rules.empty());
  EXPECT_EQ(rules.patterns(), (std::vector<std::string>{"!", "/", "!/"}));
  EXPECT_FALSE(Rules({" # not a comment"}).empty());
  EXPECT_TRUE(File(Rules({" # not a comment"}), " # not a comment"));
}

// Lines git would never let match are refused with the reason and the
// byte where it lies in the line as given; what git takes stays taken.
TEST(ExclusionRulesTest, MalformedPatternsAreRefusedWithTheirPlace) {
  using Reason = NameGlob::Fault::Reason;
  const struct {
    std::string_view line;
    Reason reason;
    std::size_t at;
  } kBad[] = {
      {"[abc", Reason::kUnclosedBracket, 0},       {"!/docs/a[b", Reason::kUnclosedBracket, 8},
      {"x[]", Reason::kUnclosedBracket, 1},        {"[a-\\", Reason::kUnclosedBracket, 0},
      {"[[:alpha:", Reason::kUnclosedBracket, 0},  {"x[[:nope:]]", Reason::kUnknownClass, 2},
      {"a/[[:Digit:]]/b", Reason::kUnknownClass, 3}, {"tail\\", Reason::kTrailingBackslash, 4},
      {"dir/tail\\", Reason::kTrailingBackslash, 8},
  };
  for (const auto& bad : kBad) {
    ExclusionRules rules;
    const auto refused = rules.Add(bad.line);
    ASSERT_TRUE(refused) << bad.line;
    EXPECT_EQ(refused->fault.reason, bad.reason) << bad.line;
    EXPECT_EQ(refused->fault.at, bad.at) << bad.line;
    EXPECT_EQ(refused->line, bad.line);
    EXPECT_TRUE(rules.empty() && rules.patterns().empty()) << bad.line;
  }
  // Taken by git too, and matched the same way.
  EXPECT_TRUE(File(Rules({"[]]x"}), "]x"));
  EXPECT_TRUE(File(Rules({"[z-a]", "b"}), "b"));
  EXPECT_TRUE(File(Rules({"a\\\\"}), "a\\"));
  EXPECT_TRUE(File(Rules({"tail\\ "}), "tail "));
  EXPECT_TRUE(File(Rules({"[[:alpha:]]"}), "q"));
}

TEST(ExclusionRulesTest, AddAllNumbersTheRefusedLineAndAddsNothing) {
  ExclusionRules rules;
  ASSERT_FALSE(rules.AddAll({"*.bak"}));
  const auto bad = rules.AddAll({"# note", "*.tmp", "[x"});
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->number, 3u);
  EXPECT_EQ(rules.patterns(), std::vector<std::string>{"*.bak"});
  EXPECT_FALSE(File(rules, "a.tmp"));
  EXPECT_TRUE(File(rules, "a.bak"));
}

TEST(ExclusionRulesTest, TrailingSlashMeansFoldersOnly) {
  const ExclusionRules rules = Rules({".git/", "/drafts/", "a/b/"});
  EXPECT_TRUE(Folder(rules, ".git"));
  EXPECT_TRUE(Folder(rules, "x/y/.git"));
  EXPECT_FALSE(File(rules, ".git"));
  EXPECT_TRUE(Folder(rules, "drafts"));
  EXPECT_FALSE(File(rules, "drafts"));
  EXPECT_FALSE(Folder(rules, "x/drafts"));
  EXPECT_TRUE(Folder(rules, "a/b"));
  EXPECT_FALSE(File(rules, "a/b"));
}

TEST(ExclusionRulesTest, SlashBeforeTheEndAnchorsAtTheRoot) {
  const ExclusionRules rules = Rules({"/top.html", "a/b", "c\\/d", "docs/"});
  EXPECT_TRUE(File(rules, "top.html"));
  EXPECT_FALSE(File(rules, "x/top.html"));
  EXPECT_TRUE(File(rules, "a/b"));
  EXPECT_FALSE(File(rules, "x/a/b"));
  EXPECT_FALSE(File(rules, "a/b/c"));
  EXPECT_FALSE(File(rules, "a"));
  EXPECT_TRUE(File(rules, "c/d"));      // an escaped "/" still separates names
  EXPECT_TRUE(Folder(rules, "x/docs"));  // the trailing "/" does not anchor
}

TEST(ExclusionRulesTest, DoubleStarCrossesFolders) {
  const ExclusionRules rules = Rules({"**/tmp", "logs/**", "a/**/b", "/x/**/y/**/z", "m**n"});
  EXPECT_TRUE(File(rules, "tmp"));
  EXPECT_TRUE(Folder(rules, "p/q/tmp"));
  EXPECT_TRUE(File(rules, "logs/1.txt"));
  EXPECT_TRUE(Folder(rules, "logs/old/2"));
  EXPECT_FALSE(Folder(rules, "logs"));
  EXPECT_FALSE(File(rules, "site/logs/1.txt"));
  EXPECT_TRUE(File(rules, "a/b"));
  EXPECT_TRUE(File(rules, "a/p/q/b"));
  EXPECT_FALSE(File(rules, "a/p/q/c"));
  EXPECT_FALSE(File(rules, "a/b/c"));
  EXPECT_TRUE(File(rules, "x/y/z"));
  EXPECT_TRUE(File(rules, "x/y/1/y/2/z"));  // the first "**" has to take more than its first fit
  EXPECT_FALSE(File(rules, "x/y/z/w"));
  EXPECT_TRUE(File(rules, "d/mxxn"));     // not beside a "/", "**" is one star
  EXPECT_FALSE(File(Rules({"/m**n"}), "m/n"));
  EXPECT_TRUE(File(Rules({"**"}), "any/thing"));
  EXPECT_TRUE(File(Rules({"/**"}), "top"));
  EXPECT_TRUE(Folder(Rules({"**/"}), "a/b"));
  EXPECT_FALSE(File(Rules({"**/"}), "a/b"));
}

TEST(ExclusionRulesTest, LastMatchingLineWins) {
  ExclusionRules rules = Rules({"*.html", "!keep*.html", "!extra.txt"});
  EXPECT_TRUE(File(rules, "a/page.html"));
  EXPECT_FALSE(File(rules, "a/keep1.html"));
  EXPECT_FALSE(File(rules, "extra.txt"));
  rules.Add("keep2.html");
  EXPECT_TRUE(File(rules, "keep2.html"));
  EXPECT_FALSE(File(rules, "keep1.html"));
  // A re-included file in an excluded folder: the folder's own answer is
  // what keeps it out, since the scan never asks for what is inside.
  const ExclusionRules folders = Rules({"build/", "!build/"});
  EXPECT_FALSE(Folder(folders, "build"));
  EXPECT_TRUE(Folder(Rules({"!build/", "build/"}), "build"));
}

TEST(ExclusionRulesTest, AddFileReadsEveryLine) {
  const TempFolder folder;
  WriteFile(folder / "ignore", "\xEF\xBB\xBF*.bak\r\n# comment\r\n\r\n/drafts/\n!keep.bak\nlast  ");
  ExclusionRules rules;
  ExclusionRules::FileProblem problem;
  ASSERT_TRUE(rules.AddFile(folder / "ignore", &problem));
  EXPECT_TRUE(File(rules, "x/a.bak"));
  EXPECT_FALSE(File(rules, "keep.bak"));
  EXPECT_TRUE(Folder(rules, "drafts"));
  EXPECT_TRUE(File(rules, "last"));
  EXPECT_FALSE(File(rules, "# comment"));
  EXPECT_EQ(rules.patterns(), (std::vector<std::string>{"*.bak", "/drafts/", "!keep.bak", "last  "}));
}

TEST(ExclusionRulesTest, AddFileReportsWhyItCannotRead) {
  const TempFolder folder;
  ExclusionRules rules;
  ExclusionRules::FileProblem problem;
  EXPECT_FALSE(rules.AddFile(folder / "missing", &problem));
  EXPECT_EQ(problem.readError, ENOENT);
  EXPECT_FALSE(rules.AddFile(folder.path(), &problem));
  EXPECT_EQ(problem.readError, EISDIR);
  // A read that fails part way is a failure, not a shorter list.
  EXPECT_FALSE(rules.AddFile("/proc/self/mem", &problem));
  EXPECT_EQ(problem.readError, EIO);
  EXPECT_FALSE(problem.badLine);
  // A refused line, counted past the byte order mark and CR LF ends.
  WriteFile(folder / "ignore", "\xEF\xBB\xBF*.bak\r\n\r\n  [x\r\n*.tmp\r\n");
  EXPECT_FALSE(rules.AddFile(folder / "ignore", &problem));
  EXPECT_EQ(problem.readError, 0);
  ASSERT_TRUE(problem.badLine);
  EXPECT_EQ(problem.badLine->number, 3u);
  EXPECT_EQ(problem.badLine->line, "  [x");
  EXPECT_EQ(problem.badLine->fault.at, 2u);
  EXPECT_TRUE(rules.empty());
}

}  // namespace
