#include "text/AsciiText.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

TEST(AsciiTextTest, PathsSplitAtTheirLastSlash) {
  const struct {
    const char* path;
    const char* folder;
    const char* name;
  } cases[] = {
      {"Setting.ini", ".", "Setting.ini"}, {"/Setting.ini", "/", "Setting.ini"},
      {"a/b/c.html", "a/b", "c.html"},    {"/srv/site/", "/srv/site", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AsciiText::FolderOf(c.path), c.folder) << c.path;
    EXPECT_EQ(AsciiText::NameOf(c.path), c.name) << c.path;
  }
}

TEST(AsciiTextTest, LinesEndAtLfOrCrLfAndALastLineCounts) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(AsciiText::Lines(""), Lines{});
  EXPECT_EQ(AsciiText::Lines("a\r\nb\nc"), (Lines{"a", "b", "c"}));
  EXPECT_EQ(AsciiText::Lines("a\n\n"), (Lines{"a", ""}));
  EXPECT_EQ(AsciiText::Lines("\r\n"), Lines{""});
  EXPECT_EQ(AsciiText::WithoutUtf8Mark("\xEF\xBB\xBFx\xEF\xBB\xBF"), "x\xEF\xBB\xBF");
}

// A Turkish locale lower-cases "I" to a dotless i: the helpers must not
// follow it, or "NOINDEX" would not be "noindex".
TEST(AsciiTextTest, CaseAndDigitsIgnoreTheLocale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "tr_TR.UTF-8");
  EXPECT_TRUE(AsciiText::EqualsIgnoringCase("NOINDEX", "noindex"));
  EXPECT_FALSE(AsciiText::EqualsIgnoringCase("noindex", "noindez"));
  EXPECT_FALSE(AsciiText::EqualsIgnoringCase("\xC4\xB0", "i"));  // İ is no ASCII letter
  EXPECT_TRUE(AsciiText::StartsWithIgnoringCase("Index.html", "INDEX"));
  EXPECT_FALSE(AsciiText::StartsWithIgnoringCase("Ind", "INDEX"));
  std::setlocale(LC_ALL, before.c_str());
  EXPECT_EQ(AsciiText::HexValue('f'), 15);
  EXPECT_EQ(AsciiText::HexValue('A'), 10);
  EXPECT_EQ(AsciiText::HexValue('g'), -1);
  EXPECT_TRUE(AsciiText::AllDigits("0123"));
  EXPECT_FALSE(AsciiText::AllDigits(""));
  EXPECT_FALSE(AsciiText::AllDigits("12a"));
  EXPECT_EQ(AsciiText::TrimHtmlSpace("\t\f noindex \r\n"), "noindex");
}

}  // namespace
