#include "scan/RobotsMeta.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

std::string Page(const std::string& head, const std::string& body = "<p>Welcome</p>") {
  return "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n" + head +
         "\n</head>\n<body>\n" + body + "\n</body>\n</html>\n";
}

TEST(RobotsMetaTest, CommonSpellingsSayNoindex) {
  const std::vector<std::string> pages = {
      Page(R"(<meta name="robots" content="noindex">)"),
      Page(R"(<META NAME="ROBOTS" CONTENT="NOINDEX">)"),
      Page(R"(<meta name="Googlebot" content="noindex">)"),
      Page(R"(<meta name="robots" content="noindex,nofollow">)"),
      Page(R"(<meta name="robots" content="nofollow , NoIndex">)"),
      Page(R"(<meta name="robots" content=" none ">)"),
      Page(R"(<meta name="robots" content="max-snippet:0,	none">)"),
      Page("<meta name='robots' content='noindex'>"),
      Page("<meta name=robots content=noindex>"),
      Page(R"(<meta content="noindex" name="robots">)"),
      Page(R"(<meta name="robots" content="index"><meta name="googlebot" content="noindex">)"),
      Page(R"(<meta name="robots" content="noindex" />)"),
      // Only the head's end tag is missing: the text may stop inside the head.
      "<html><head><meta name=robots content=noindex><title>Unfinished",
      // No <head> tag: the parser implies one until body content begins.
      "<!DOCTYPE html><title>Shop</title><meta name=robots content=noindex><p>Text</p>",
      "\xEF\xBB\xBF" + Page(R"(<meta name="robots" content="noindex">)"),
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
      "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n"
      "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>t</title>"
      "<meta name=\"robots\" content=\"noindex\" /></head><body></body></html>",
      // A Shift_JIS title (not UTF-8) before the meta.
      Page("<title>\x93\xfa\x96\x7b\x8c\xea</title><meta name=robots content=noindex>"),
      Page("<noscript><meta name=robots content=noindex></noscript>"),
      Page("<meta name=\"&#114;obots\" content=\"&#x4E;oindex\">"),
      // The parser moves a meta between the head and the body into the head.
      "<html><head><title>t</title></head><meta name=robots content=noindex><body></body></html>",
  };
  for (const std::string& page : pages) EXPECT_TRUE(RobotsMeta::SaysNoindex(page)) << page;
}

TEST(RobotsMetaTest, OtherPagesDoNotSayNoindex) {
  const std::vector<std::string> pages = {
      "",
      Page("<title>About noindex</title>", "<p>We never use noindex here.</p>"),
      "<p>A page without a head: noindex, none</p>",
      Page("<title>t</title>", R"(<meta name="robots" content="noindex">)"),
      "<title>t</title><p>Text</p><meta name=robots content=noindex>",
      Page(R"(<meta name="robots" content="index, follow">)"),
      Page(R"(<meta name="robots-x" content="noindex">)"),
      Page(R"(<meta name="bingbot" content="noindex">)"),
      Page(R"(<meta name="robots" content="noindexing, no index, nofollow">)"),
      Page(R"(<meta name="robots">)"),
      Page(R"(<meta content="noindex">)"),
      Page(R"(<meta http-equiv="robots" content="noindex">)"),
      Page("<!-- <meta name=robots content=noindex> -->"),
      Page("<script>document.write('<meta name=robots content=noindex>')</script>"),
      Page("<template><meta name=robots content=noindex></template>"),
      // A byte order mark anywhere but first is text, which starts the body.
      "\n\xEF\xBB\xBF<meta name=robots content=noindex>",
  };
  for (const std::string& page : pages) EXPECT_FALSE(RobotsMeta::SaysNoindex(page)) << page;
}

// Tags read as an HTML5 tokenizer reads them. Most pages hold a quote or
// the text "<meta" where a reader that took any quote for the start of a
// value, or "<meta" anywhere for a tag, would lose the real meta after it.
TEST(RobotsMetaTest, ReadsTagsAsTheParserDoes) {
  const std::string meta = "<meta name=robots content=noindex>";
  struct Case {
    std::string head;
    bool noindex;
  };
  const std::vector<Case> cases = {
      // Attribute values: a quote starts a value only right after "=".
      {R"(<meta name=robots content=noindex x=a"b>)", true},
      {"<meta name=author content=O'Brien>" + meta, true},
      {"<link title=\"<meta x='\" rel=help>" + meta, true},
      {R"(<meta name="robots"content="noindex">)", true},
      {R"(<meta name = robots content = "noindex">)", true},
      {R"(<meta/name="robots"/content="noindex"/>)", true},
      {R"(<meta =x name=robots content=noindex>)", true},
      // Gumbo drops a NUL before an attribute's name.
      {std::string("<meta name=robots \0content=noindex>", 35), true},
      // An unquoted value ends only at whitespace or ">".
      {R"(<meta name=robots/ content=noindex>)", false},
      {R"(<meta name=robots content=noindex/>)", false},
      // The first of two attributes of one name counts, in any case.
      {R"(<meta name=robots content=noindex CONTENT=index>)", true},
      {R"(<meta name=robots content=index Content=noindex>)", false},
      {R"(<meta name=robots NAME content=noindex>)", true},
      // Character references, numeric and named.
      {R"(<meta name=robots content="&#110;oindex">)", true},
      {R"(<meta name=robots content="nofollow&comma;noindex">)", true},
      {R"(<meta name="robots&Tab;" content="no&#X69;ndex">)", true},
      {R"(<meta name=robots content="noindex&amp;">)", false},
      // Comments end at "-->" or "--!>" whatever they hold, and at once as
      // "<!-->" or "<!--->".
      {"<!-- <meta x=y'z -->" + meta, true},
      {"<!-->" + meta, true},
      {"<!--->" + meta, true},
      {"<!-- <meta x=' --->" + meta, true},
      {"<!-- <meta x=' --!>" + meta, true},
      {"<!-- --!x " + meta + " -->", false},
      {"<!-- -- > " + meta + " -->", false},
      // Bogus comments and doctypes end at the first ">".
      {"<!x <meta x='>" + meta, true},
      {"<?php echo '<meta x=' ?>" + meta, true},
      {"</title x=\"<meta x='\">" + meta, true},
      {"</ <meta x='>" + meta, true},
      // Elements whose content is text, up to their own end tag only.
      {"<title>O'Brien <meta x='</title>" + meta, true},
      {"<style>a::after { content: \"<meta x='\" }</style>" + meta, true},
      {"<script>s = \"</scripts><meta x='\";</script>" + meta, true},
      {"<SCRIPT>s = \"<meta x='\";</Script >" + meta, true},
      {"<title>" + meta + "</title>", false},
      {"<style>" + meta, false},
  };
  for (const Case& c : cases) EXPECT_EQ(RobotsMeta::SaysNoindex(Page(c.head)), c.noindex) << c.head;
}

class RobotsMetaFileTest : public testing::Test {
 protected:
  void SetUp() override { dirFd_ = open(folder_.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }
  void TearDown() override { close(dirFd_); }

  bool FileSaysNoindex(const std::string& content) {
    WriteFile(folder_ / "page.html", content);
    std::string error;
    const bool noindex = RobotsMeta::FileSaysNoindex(dirFd_, "page.html", &error);
    EXPECT_EQ(error, "");
    return noindex;
  }

  TempFolder folder_;
  int dirFd_ = -1;
};

TEST_F(RobotsMetaFileTest, ReadsPastTheFirstChunkButNotPastTheLimit) {
  const std::string meta = "<meta name=robots content=noindex>";
  const std::string style = "<style>" + std::string(RobotsMeta::kMaxHeadBytes, ' ') + "</style>";
  const std::string late = Page(style + meta);
  ASSERT_TRUE(RobotsMeta::SaysNoindex(late));
  EXPECT_FALSE(FileSaysNoindex(late));

  EXPECT_TRUE(FileSaysNoindex(Page(meta + style)));
  EXPECT_TRUE(FileSaysNoindex(Page("<style>" + std::string(6000, ' ') + "</style>" + meta)));
  EXPECT_FALSE(FileSaysNoindex(Page("<style>" + std::string(6000, ' ') + "</style>", meta)));
}

TEST_F(RobotsMetaFileTest, UnreadableFileIsNotNoindex) {
  std::string error;
  EXPECT_FALSE(RobotsMeta::FileSaysNoindex(dirFd_, "missing.html", &error));
  EXPECT_EQ(error, "No such file or directory");
  EXPECT_FALSE(RobotsMeta::FileSaysNoindex(dirFd_, "missing.html"));

  // Opens, but the first read fails.
  ASSERT_EQ(mkdir((folder_ / "folder.html").c_str(), 0755), 0);
  EXPECT_FALSE(RobotsMeta::FileSaysNoindex(dirFd_, "folder.html", &error));
  EXPECT_EQ(error, "Is a directory");

  // A named pipe with no writer must not hold the run: it reads as empty.
  ASSERT_EQ(mkfifo((folder_ / "pipe.html").c_str(), 0644), 0);
  error.clear();
  EXPECT_FALSE(RobotsMeta::FileSaysNoindex(dirFd_, "pipe.html", &error));
  EXPECT_EQ(error, "");
}

}  // namespace
