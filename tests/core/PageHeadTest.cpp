#include "scan/PageHead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Fed {
  std::optional<bool> noindex;
  std::size_t taken = 0;  // bytes of the page given when the answer came
};

// Gives the page in pieces of one size, each call with all the text so far.
Fed FeedInPieces(const std::string& page, std::size_t piece) {
  PageHead head;
  for (std::size_t size = std::min(piece, page.size());; size = std::min(size + piece, page.size())) {
    const bool complete = size == page.size();
    if (const std::optional<bool> answer = head.SaysNoindex(std::string_view(page).substr(0, size), complete))
      return {answer, size};
    if (complete) return {};
  }
}

// Neither where the pieces end nor how many there are may change the
// answer, and once the head has ended and the words the answer turns on
// have come, it must not wait for the rest.
TEST(PageHeadTest, AnswersAlikeWhereverThePiecesEnd) {
  const std::string meta = "<meta name=robots content=noindex>";
  const std::string body = "<p>" + std::string(3000, 'x') + "</p></body></html>";
  std::string falseSigns;
  for (int i = 0; i < 10; ++i) falseSigns += "<script>document.write('<body>');</script>";
  struct Case {
    std::string page;
    bool noindex;
    std::string answeredBy;  // no text after its last occurrence is needed; empty: all may be
  };
  const std::vector<Case> cases = {
      {"<html><head><script>var s = '</head><body>';</script><!-- <body> -->" + meta + "</head>" + body, true,
       "</head>"},
      {"<title>t</title>" + meta + "<body>" + body, true, "<body>"},
      {"<html><HEAD><title>t</title></HEAD>" + meta + "<body>" + body, false, meta},
      {"<html><head><title>t</title></head><BODY class=a>" + meta + body, false, meta},
      // The words outside any meta tag: no parse, the page is read whole.
      {"<head><title>About robots</title></head><body>Our pages say noindex to none." + body, false, ""},
      // Words and a character reference cut anywhere.
      {"<html><head><meta name=\"googl&#x0000065;bot\" content=\"nofollow, NONE\"></head>" + body, true, "</head>"},
      // More false signs than the parser is asked about: the whole text decides.
      {"<html><head>" + falseSigns + meta + "</head>" + body, true, ""},
      {"<html><head>" + falseSigns + "</head>" + meta + body, false, ""},
  };
  for (const Case& c : cases) {
    const std::size_t needed =
        c.answeredBy.empty() ? c.page.size() : c.page.rfind(c.answeredBy) + c.answeredBy.size();
    for (std::size_t piece = 1; piece <= 64; ++piece) {
      const Fed fed = FeedInPieces(c.page, piece);
      EXPECT_EQ(fed.noindex, c.noindex) << "pieces of " << piece << ": " << c.page.substr(0, 80);
      EXPECT_LT(fed.taken, needed + piece) << "pieces of " << piece << ": " << c.page.substr(0, 80);
    }
  }
}

}  // namespace
