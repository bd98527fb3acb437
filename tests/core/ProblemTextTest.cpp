#include "cli/ProblemText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The command line words the core's codes as it always has: scripts read
// these lines.
TEST(ProblemTextTest, WarningLinesKeepTheirWordsOrderAndBound) {
  using Reason = Warning::Reason;
  WarningList scan;
  scan.Add({.reason = Reason::kFewerReaders, .detail = "Resource temporarily unavailable", .count = 2, .of = 8});
  scan.Add({.reason = Reason::kFolderNotListed, .path = "/site/a", .detail = "Permission denied"});
  scan.Add({.reason = Reason::kFolderPartlyListed, .path = "/site/b", .detail = "Input/output error"});
  WarningList writer;
  writer.Add({.reason = Reason::kUrlTooLong, .path = "x.html", .detail = "https://example.jp/" + std::string(90, 'x'),
              .count = 2100});
  for (int i = 0; i < 25; ++i) writer.Add({.reason = i % 2 ? Reason::kBrokenLink : Reason::kNotRegularFile,
                                           .path = "p" + std::to_string(i) + ".html"});
  writer.Add({.reason = Reason::kUrlTooLong, .path = "y.html", .detail = "https://example.jp/y", .count = 2200});
  writer.Add({.reason = Reason::kNoindex, .path = "n.html"});
  scan.Append(writer);

  EXPECT_EQ(scan.total(), 31u);
  std::size_t more = 0;
  const std::vector<std::string> lines = ProblemText::WarningLines(scan, &more);
  ASSERT_EQ(lines.size(), WarningList::kShown);
  EXPECT_EQ(lines[0],
            "could start only 2 of 8 threads that read folders ahead (Resource temporarily unavailable); the folders "
            "were read with fewer");
  EXPECT_EQ(lines[1], "could not list /site/a: Permission denied");
  EXPECT_EQ(lines[2], "could not list all of /site/b: Input/output error");
  EXPECT_EQ(lines[3], "not a regular file, left out: p0.html");
  EXPECT_EQ(lines[19], "not a regular file, left out: p16.html");
  // 28 itemised lines and two summaries.
  EXPECT_EQ(more, 28u + 2u - WarningList::kShown);

  WarningList few;
  few.Add(scan.kept()[4]);  // p0.html, after the first long URL
  few.Add({.reason = Reason::kUrlTooLong, .detail = "https://example.jp/" + std::string(90, 'x')});
  few.Add({.reason = Reason::kUrlTooLong, .detail = "https://example.jp/z"});
  few.Add({.reason = Reason::kNoindex, .path = "n.html"});
  EXPECT_EQ(ProblemText::WarningLines(few, &more),
            (std::vector<std::string>{"not a regular file, left out: p0.html",
                                      "2 URLs longer than 2048 characters left out, e.g. https://example.jp/" +
                                          std::string(61, 'x') + "...",
                                      "1 page marked noindex left out"}));
  EXPECT_EQ(more, 0u);
}

TEST(ProblemTextTest, RunProblemsReadAsBefore) {
  using Code = RunProblem::Code;
  const struct {
    RunProblem problem;
    const char* text;
  } cases[] = {
      {{.code = Code::kNoSuchFolder, .path = "/x"}, "/x: no such folder or file"},
      {{.code = Code::kFolderLocked, .path = "/x"}, "another run is writing the sitemap of /x"},
      {{.code = Code::kEverythingExcluded, .path = "/x", .count = 2, .of = 1},
       "/x: every page is excluded: the exclusion patterns left out 2 pages and 1 folder"},
      {{.code = Code::kEverythingExcluded, .count = 0, .of = 0, .others = 3},
       "everything is excluded: the exclusion patterns left out 3 other entries"},
      {{.code = Code::kOutOfDescriptors, .path = "/x/a", .detail = "Too many open files"},
       "could not open /x/a: Too many open files (the scan had let go of every descriptor it could)"},
      {{.code = Code::kNoExtensions}, "no file matched the extension list"},
      {{.code = Code::kBadExclusion, .detail = "[a", .count = 2}, "exclusion pattern 2 is malformed: [a"},
  };
  for (const auto& one : cases) EXPECT_EQ(ProblemText::OfRunProblem(one.problem), one.text);
}
