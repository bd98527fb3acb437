#pragma once
#include <string>
#include <string_view>

// A base URL whose host is written in Unicode (https://例え.jp/) in the
// form a URL carries it: each label of the host in its IDNA (xn--) form,
// as UTS #46 maps it (full-width letters and the ideographic full stop
// fold to their ASCII forms, upper case to lower case). Runs before the
// base URL is checked, so a host in ASCII is left byte for byte as typed
// and the check still sees what the user wrote.
namespace InternationalHost {

enum class Problem {
  kNone,
  kNotUtf8,      // the host's bytes are no UTF-8 text
  kNotAllowed,   // a code point, a hyphen or a label IDNA does not allow
};

struct Converted {
  std::string url;
  Problem problem = Problem::kNone;
  std::string detail;  // the IDNA library's reason, for the command line
};

// url with its host converted; for a host of ASCII only, or a text with
// no host to find, url unchanged.
Converted ToAscii(std::string_view url);

}  // namespace InternationalHost
