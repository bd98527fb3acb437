// The noindex answer on any bytes given piece by piece, as a file is read:
// the first byte sets the size of the pieces, the rest is the page. The
// answer must come by the time the page is complete and must be the one
// for the whole page at once, wherever the pieces end.

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "scan/PageHead.h"
#include "scan/RobotsMeta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = data[0] + 1u;
  const std::string_view page(reinterpret_cast<const char*>(data) + 1, size - 1);

  PageHead head;
  std::optional<bool> answer;
  for (std::size_t read = std::min(piece, page.size()); !answer; read = std::min(read + piece, page.size())) {
    answer = head.SaysNoindex(page.substr(0, read), read == page.size());
    if (read == page.size()) break;
  }
  FUZZ_CHECK(answer.has_value(), Printable(std::string(page)));
  FUZZ_CHECK(*answer == RobotsMeta::SaysNoindex(page),
             "pieces of " + std::to_string(piece) + ": " + Printable(std::string(page)));
  return 0;
}
