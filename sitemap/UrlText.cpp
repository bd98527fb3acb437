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

const char* XmlEntityOf(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\'': return "&apos;";
    default: return nullptr;
  }
}

}  // namespace

namespace UrlText {

// Both loops copy the runs of bytes that stay as they are in one append:
// a sitemap of a million files passes every URL through here, and most
// bytes need nothing.
void AppendPathSegment(std::string* out, std::string_view name) {
  std::size_t copied = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (kSegmentSafe[byte]) continue;
    out->append(name.data() + copied, i - copied);
    AppendPercent(out, byte);
    copied = i + 1;
  }
  out->append(name.data() + copied, name.size() - copied);
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
  std::size_t copied = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* entity = XmlEntityOf(text[i]);
    if (!entity) continue;
    out->append(text.data() + copied, i - copied);
    out->append(entity);
    copied = i + 1;
  }
  out->append(text.data() + copied, text.size() - copied);
}

}  // namespace UrlText
