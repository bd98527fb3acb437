#include "sitemap/InternationalHost.h"

#include <idn2.h>

#include <algorithm>
#include <memory>

namespace InternationalHost {
namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Where the host lies in url: after "scheme://" and any user part, up to
// the port, the path, the query or the fragment. An IP literal in
// brackets is ASCII and never converted, so a ':' always starts the port.
std::pair<std::size_t, std::size_t> HostSpan(std::string_view url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {0, 0};
  const std::size_t start = scheme + 3;
  const std::size_t end = std::min(url.find_first_of("/?#", start), url.size());
  const std::string_view authority = url.substr(start, end - start);
  const std::size_t at = authority.rfind('@');
  const std::size_t hostStart = at == std::string_view::npos ? start : start + at + 1;
  const std::size_t colon = url.substr(hostStart, end - hostStart).rfind(':');
  const std::size_t hostEnd = colon == std::string_view::npos ? end : hostStart + colon;
  return {hostStart, hostEnd};
}

}  // namespace

Converted ToAscii(std::string_view url) {
  Converted result;
  result.url = url;
  const auto [start, end] = HostSpan(url);
  const std::string host(url.substr(start, end - start));
  if (IsAscii(host)) return result;
  char* ascii = nullptr;
  const int code = idn2_to_ascii_8z(host.c_str(), &ascii, IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT);
  const std::unique_ptr<char, decltype(&idn2_free)> owned(ascii, &idn2_free);
  if (code != IDN2_OK) {
    result.problem = code == IDN2_ENCODING_ERROR ? Problem::kNotUtf8 : Problem::kNotAllowed;
    result.detail = idn2_strerror(code);
    return result;
  }
  result.url.replace(start, end - start, owned.get());
  return result;
}

}  // namespace InternationalHost
