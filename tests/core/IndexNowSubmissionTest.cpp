// What IndexNow is sent and which keys and key files are taken. The
// requests themselves are tested against a real endpoint in tests/web.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "FaultyFileLayer.h"
#include "TestSupport.h"
#include "job/IndexNowSubmission.h"

namespace {

TEST(IndexNowSubmissionTest, KeysAndEndpointsAreChecked) {
  const std::string longest(128, 'a');
  for (const std::string& key : {std::string("abcd1234"), std::string("A-b-C-9-0"), longest})
    EXPECT_TRUE(IndexNowSubmission::IsValidKey(key)) << key;
  for (const std::string& key : {std::string(), std::string("abc1234"), longest + "a", std::string("abcd 1234"),
                                 std::string("abcd_1234"), std::string("abcd1234\n"), std::string("キーキーキー")})
    EXPECT_FALSE(IndexNowSubmission::IsValidKey(key)) << key;
  for (const char* endpoint : {"https://api.indexnow.org/indexnow", "http://127.0.0.1:8080/x", "HTTPS://Example.jp"})
    EXPECT_TRUE(IndexNowSubmission::IsValidEndpoint(endpoint)) << endpoint;
  for (const char* endpoint : {"", "api.indexnow.org/indexnow", "ftp://example.jp/", "file:///etc/passwd", "https://"})
    EXPECT_FALSE(IndexNowSubmission::IsValidEndpoint(endpoint)) << endpoint;
}

TEST(IndexNowSubmissionTest, TheBodyIsTheProtocolsJson) {
  struct Case {
    std::string base;
    std::string host;
  };
  for (const Case& c : std::vector<Case>{{"https://example.jp/", "example.jp"},
                                         {"http://example.jp:8080/docs/", "example.jp"},
                                         {"https://xn--r8jz45g.jp/", "xn--r8jz45g.jp"}}) {
    const IndexNowSubmission submission("http://127.0.0.1:1/", c.base, "abcd-1234");
    EXPECT_EQ(submission.host(), c.host) << c.base;
    EXPECT_EQ(submission.keyLocation(), c.base + "abcd-1234.txt");
  }
  const IndexNowSubmission submission("http://127.0.0.1:1/", "https://example.jp/", "abcd-1234");
  const std::vector<std::string> urls = {"https://example.jp/a.html", "https://example.jp/q\"\\\x01.html"};
  EXPECT_EQ(submission.Body(urls),
            "{\"host\":\"example.jp\",\"key\":\"abcd-1234\",\"keyLocation\":\"https://example.jp/abcd-1234.txt\","
            "\"urlList\":[\"https://example.jp/a.html\",\"https://example.jp/q\\\"\\\\\\u0001.html\"]}");
  EXPECT_TRUE(submission.Body({}).ends_with(",\"urlList\":[]}")) << submission.Body({});
}

TEST(IndexNowSubmissionTest, TheKeyFileMustHoldTheKey) {
  TempFolder site;
  using KeyFile = IndexNowSubmission::KeyFile;
  std::string reason;
  EXPECT_EQ(IndexNowSubmission::CheckKeyFile(site.path(), "abcd1234", &reason), KeyFile::kMissing);
  for (const auto& [text, found] : std::vector<std::pair<std::string, KeyFile>>{
           {"abcd1234", KeyFile::kHoldsKey},
           {"\xEF\xBB\xBF" "abcd1234\r\n", KeyFile::kHoldsKey},
           {"abcd12345", KeyFile::kOtherText},
           {"", KeyFile::kOtherText},
           {"abcd1234\nmore", KeyFile::kOtherText}}) {
    WriteFile(site / "abcd1234.txt", text);
    EXPECT_EQ(IndexNowSubmission::CheckKeyFile(site.path(), "abcd1234", &reason), found) << text;
  }
  FaultyFileLayer failing(FaultyFileLayer::Step::kReadWhole, 1, EIO);
  EXPECT_EQ(IndexNowSubmission::CheckKeyFile(site.path(), "abcd1234", &reason, failing), KeyFile::kUnreadable);
  EXPECT_NE(reason.find(std::strerror(EIO)), std::string::npos) << reason;
}

TEST(IndexNowSubmissionTest, NothingIsSentForNothingAndAnEndpointThatIsNotThereFails) {
  // Port 1 on the loopback: nothing listens there, the refusal is at once.
  IndexNowSubmission submission("http://127.0.0.1:1/indexnow", "https://example.jp/", "abcd1234");
  submission.SetTimeout(std::chrono::seconds(10));
  const IndexNowSubmission::Outcome none = submission.Submit({});
  EXPECT_EQ(none.requests, 0u);
  EXPECT_FALSE(none.failed);
  const IndexNowSubmission::Outcome refused = submission.Submit({"https://example.jp/a.html"});
  EXPECT_TRUE(refused.failed);
  EXPECT_EQ(refused.requests, 1u);
  EXPECT_EQ(refused.submitted, 0u);
  EXPECT_EQ(refused.status, 0);
  EXPECT_FALSE(refused.answer.empty());
}

}  // namespace
