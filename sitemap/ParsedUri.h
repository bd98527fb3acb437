#pragma once
#include <uriparser/Uri.h>

#include <new>
#include <string>
#include <string_view>

// One URI as uriparser parses it, freed whatever becomes of the parse. The
// parse points into the text it was given, which must outlive it.
class ParsedUri {
 public:
  ParsedUri() = default;
  ~ParsedUri() { uriFreeUriMembersA(&uri_); }
  ParsedUri(const ParsedUri&) = delete;
  ParsedUri& operator=(const ParsedUri&) = delete;

  // A URI reference (RFC 3986), as a whole.
  bool Parse(const std::string& text) {
    const char* error = nullptr;
    return uriParseSingleUriExA(&uri_, text.data(), text.data() + text.size(), &error) == URI_SUCCESS;
  }
  UriUriA& uri() { return uri_; }

  // The URI written out again.
  std::string Text() const {
    int length = 0;
    if (uriToStringCharsRequiredA(&uri_, &length) != URI_SUCCESS) throw std::bad_alloc();
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    if (uriToStringA(text.data(), &uri_, length + 1, nullptr) != URI_SUCCESS) throw std::bad_alloc();
    text.resize(static_cast<std::size_t>(length));
    return text;
  }

  // The text of one of the parse's ranges; empty when it is absent.
  static std::string_view TextOf(const UriTextRangeA& range) {
    return range.first ? std::string_view(range.first, static_cast<std::size_t>(range.afterLast - range.first))
                       : std::string_view();
  }

 private:
  UriUriA uri_{};
};
