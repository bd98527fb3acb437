#include "sitemap/UrlText.h"

#include <array>

namespace {

using ByteSet = std::array<bool, 256>;

constexpr bool IsAlnum(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

constexpr ByteSet SegmentSafe() {
  ByteSet safe{};
  for (int c = 0; c < 256; ++c) safe[c] = IsAlnum(c);
  for (char c : std::string_view("-._~!$&'()*+,;=:@")) safe[static_cast<unsigned char>(c)] = true;
  return safe;
}

constexpr ByteSet BaseUrlUnsafe() {
  ByteSet unsafe{};
  for (int c = 0; c < 256; ++c) unsafe[c] = c <= 0x20 || c >= 0x7F;
  for (char c : std::string_view("\"<>\\^`{|}")) unsafe[static_cast<unsigned char>(c)] = true;
  return unsafe;
}

constexpr ByteSet kSegmentSafe = SegmentSafe();
constexpr ByteSet kBaseUrlUnsafe = BaseUrlUnsafe();

void AppendPercent(std::string* out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const char encoded[3] = {'%', kHex[byte >> 4], kHex[byte & 0x0F]};
  out->append(encoded, 3);
}

}  // namespace

namespace UrlText {

void AppendPathSegment(std::string* out, std::string_view name) {
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (kSegmentSafe[byte])
      out->push_back(c);
    else
      AppendPercent(out, byte);
  }
}

void AppendBaseUrl(std::string* out, std::string_view url) {
  for (char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (kBaseUrlUnsafe[byte])
      AppendPercent(out, byte);
    else
      out->push_back(c);
  }
}

void AppendXmlEscaped(std::string* out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': out->append("&amp;"); break;
      case '<': out->append("&lt;"); break;
      case '>': out->append("&gt;"); break;
      case '"': out->append("&quot;"); break;
      case '\'': out->append("&apos;"); break;
      default: out->push_back(c);
    }
  }
}

}  // namespace UrlText
