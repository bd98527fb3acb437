#include <gtest/gtest.h>

#include "text/clrelatedansistring.h"

namespace {

TEST(TrimTest, RemovesOnlySpacesAtBothEnds) {
  const cls_Trim trim;
  EXPECT_EQ(trim.trimSpaces(""), "");
  EXPECT_EQ(trim.trimSpaces("    "), "");
  EXPECT_EQ(trim.trimSpaces("  abc  "), "abc");
  EXPECT_EQ(trim.trimSpaces("a b"), "a b");
  EXPECT_EQ(trim.trimSpaces("  a b  "), "a b");
  EXPECT_EQ(trim.trimLeadingSpaces("  a  "), "a  ");
  EXPECT_EQ(trim.trimTrailingSpaces("  a  "), "  a");
}

TEST(TrimTest, KeepsTabsLineBreaksAndFullWidthSpaces) {
  const cls_Trim trim;
  EXPECT_EQ(trim.trimSpaces("\tabc"), "\tabc");
  EXPECT_EQ(trim.trimSpaces("abc\r\n"), "abc\r\n");
  EXPECT_EQ(trim.trimSpaces("abc\x81\x40"), "abc\x81\x40");          // Shift-JIS full-width space
  EXPECT_EQ(trim.trimSpaces("\xe3\x80\x80" "abc"), "\xe3\x80\x80" "abc");  // UTF-8 full-width space
  EXPECT_EQ(trim.trimSpaces("\x82\xa0 "), "\x82\xa0");              // a double-byte character loses only the space
}

TEST(TrimTest, LeavesTheInputAlone) {
  const std::string input = "  x  ";
  EXPECT_EQ(cls_Trim().trimSpaces(input), "x");
  EXPECT_EQ(input, "  x  ");
}

}  // namespace
