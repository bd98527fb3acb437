#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "job/ProgressText.h"

namespace {

TEST(ProgressTextTest, FormatsTwoDecimals) {
  EXPECT_EQ(ProgressText::Format(0, 3), "0.00");
  EXPECT_EQ(ProgressText::Format(1, 3), "33.33");
  EXPECT_EQ(ProgressText::Format(2, 3), "66.67");
  EXPECT_EQ(ProgressText::Format(3, 3), "100.00");
  EXPECT_EQ(ProgressText::Format(5, 8), "62.50");
  EXPECT_EQ(ProgressText::Format(1, 0), "");
}

TEST(ProgressTextTest, NoLocaleChangesTheText) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale on this machine";
  const std::string text = ProgressText::Format(1, 3);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(text, "33.33");
}

// Reporting only changes must give the same sequence of texts as one
// report per entry with repeats removed, for any total.
TEST(ProgressTextTest, ReportsEveryDistinctTextExactlyOnce) {
  for (std::int64_t total : {1, 2, 3, 7, 100, 9999, 10001, 12345, 200000}) {
    std::vector<std::string> expected;
    for (std::uint32_t processed = 0; processed <= total; ++processed) {
      const std::string text = ProgressText::Format(processed, total);
      if (expected.empty() || expected.back() != text) expected.push_back(text);
    }
    std::vector<std::string> reported;
    ProgressText progress;
    for (std::uint32_t processed = 0; processed <= total; ++processed)
      if (progress.Update(processed, total)) reported.push_back(progress.text());
    EXPECT_EQ(reported, expected) << "total " << total;
  }
}

TEST(ProgressTextTest, ResetStartsAFreshRun) {
  ProgressText progress;
  EXPECT_TRUE(progress.Update(0, 3));
  EXPECT_FALSE(progress.Update(0, 3));
  progress.Reset();
  EXPECT_TRUE(progress.Update(0, 3));
  EXPECT_EQ(progress.text(), "0.00");
}

}  // namespace
