#include "scan/PageDigest.h"

#include "io/ContentHash.h"
#include "scan/PageHeadTokenizer.h"
#include "text/AsciiText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint64_t kEveryByte = 0x0101010101010101u;
constexpr std::uint64_t kTopBits = 0x8080808080808080u;

// The top bit set in each byte of word below limit (at most 0x80), and in
// no other: no carry crosses from one byte into the next.
constexpr std::uint64_t BytesBelow(std::uint64_t word, std::uint8_t limit) {
  return ~(((word & ~kTopBits) + (0x80u - limit) * kEveryByte) | word) & kTopBits;
}

// Eight bytes of text as one word, the first byte lowest.
std::uint64_t WordAt(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// Appends text with every run of white space made one space; no space at
// the start of out. Pages are mostly words between single spaces: eight
// bytes at a time that hold no other white space and no two spaces in a
// row are copied as they are, and only the rest byte by byte.
void AppendCollapsed(std::string* out, std::string_view text) {
  const std::size_t start = out->size();
  out->resize(start + text.size());
  char* const first = out->data();
  char* to = first + start;
  bool afterSpace = start == 0 || to[-1] == ' ';
  const char* from = text.data();
  const char* const end = from + text.size();
  const auto oneByOne = [&](const char* until) {
    for (; from < until; ++from) {
      const bool space = AsciiText::IsHtmlSpace(*from);
      if (space && afterSpace) continue;
      *to++ = space ? ' ' : *from;
      afterSpace = space;
    }
  };
  while (end - from >= 8) {
    const std::uint64_t word = WordAt(from);
    const std::uint64_t low = BytesBelow(word, 0x21);  // white space and control bytes
    const std::uint64_t spaces = BytesBelow(word ^ (0x20 * kEveryByte), 1);
    // Only single spaces, none of them first after a space.
    if (low == spaces && (spaces & (spaces << 8)) == 0 && !(afterSpace && (spaces & 0x80))) {
      std::memcpy(to, from, 8);
      to += 8;
      from += 8;
      afterSpace = (spaces >> 63) != 0;
    } else {
      oneByOne(from + 8);
    }
  }
  oneByOne(end);
  out->resize(static_cast<std::size_t>(to - first));
}

bool IsDescription(const PageHeadTokenizer& tokens) {
  const PageHeadTokenizer::Attribute* name = tokens.Find("name");
  return name && AsciiText::EqualsIgnoringCase(AsciiText::TrimHtmlSpace(name->value), "description");
}

// What a reader sees, gathered in one pass over the page's tokens.
class ReaderView {
 public:
  void Take(PageHeadTokenizer::Step step, const PageHeadTokenizer& tokens) {
    if (step == PageHeadTokenizer::Step::kText)
      TakeText(tokens);
    else
      TakeTag(step == PageHeadTokenizer::Step::kStartTag, tokens);
  }

  std::string Text() const {
    return Collapsed(title_) + '\n' + Collapsed(description_) + '\n' + Collapsed(mains_ == 1 ? main_ : body_) + '\n';
  }

 private:
  static std::string Collapsed(std::string text) {
    if (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
  }

  void TakeText(const PageHeadTokenizer& tokens) {
    const std::string_view element = tokens.textElement();
    if (templates_ > 0 || element == "script" || element == "style") return;
    if (element == "title") {
      if (!titleTaken_) AppendCollapsed(&title_, tokens.text());
      titleTaken_ = true;
      return;
    }
    Append(tokens.text());
  }

  void TakeTag(bool start, const PageHeadTokenizer& tokens) {
    const std::string_view name = tokens.lowerTagName();
    if (name == "template") {
      if (start)
        ++templates_;
      else if (templates_ > 0)
        --templates_;
      return;
    }
    if (templates_ > 0) return;
    // Elements part words as a reader sees them: "a<p>b" reads "a b".
    Append(" ");
    if (name == "main") {
      if (start && ++mains_ == 1)
        mainDepth_ = 1;
      else if (mainDepth_ > 0)
        mainDepth_ += start ? 1 : -1;
    } else if (start && name == "meta" && !descriptionTaken_ && IsDescription(tokens)) {
      descriptionTaken_ = true;
      if (const PageHeadTokenizer::Attribute* content = tokens.Find("content"))
        AppendCollapsed(&description_, content->value);
    }
  }

  // The text inside the one <main> is collapsed once, for the body, and
  // copied from there: the two differ only in a space at main's start.
  void Append(std::string_view text) {
    const std::size_t from = body_.size();
    AppendCollapsed(&body_, text);
    if (mainDepth_ == 0) return;
    std::string_view added = std::string_view(body_).substr(from);
    if (main_.empty() && added.starts_with(' ')) added.remove_prefix(1);
    main_.append(added);
  }

  std::string title_, description_, body_, main_;
  bool titleTaken_ = false;
  bool descriptionTaken_ = false;
  int templates_ = 0;
  int mains_ = 0;
  int mainDepth_ = 0;  // elements named main open inside the first one, itself included
};

}  // namespace

std::string PageDigest::ReaderText(std::string_view html) {
  PageHeadTokenizer tokens(PageHeadTokenizer::Tokens::kAll);
  ReaderView view;
  for (PageHeadTokenizer::Step step; (step = tokens.Next(html, true)) != PageHeadTokenizer::Step::kEnd;)
    view.Take(step, tokens);
  return view.Text();
}

PageDigest::Value PageDigest::Of(std::string_view content, Kind kind) {
  if (kind == Kind::kText) {
    const std::string text = ReaderText(content);
    return ContentHash::Of(text);
  }
  return ContentHash::Of(content);
}

bool PageDigest::OfFile(int folder, const std::string& path, Kind kind, Value* value, std::string* error) {
  const int fd = openat(folder, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  struct stat status;
  if (fstat(fd, &status) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = "not a regular file";
    return false;
  }
  // The bytes are hashed as they come; the text digest reads the whole
  // page into one buffer, kept for the thread's next page.
  constexpr std::size_t kPiece = 1 << 17;
  static thread_local std::vector<char> buffer(kPiece);
  ContentHash hash;
  std::size_t size = 0;
  for (;;) {
    if (kind == Kind::kText && buffer.size() - size < kPiece / 2) buffer.resize(buffer.size() * 2);
    char* const into = buffer.data() + (kind == Kind::kText ? size : 0);
    const ssize_t got = read(fd, into, kind == Kind::kText ? buffer.size() - size : kPiece);
    if (got < 0) {
      if (errno == EINTR) continue;
      *error = std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    if (kind == Kind::kText)
      size += static_cast<std::size_t>(got);
    else
      hash.Update(std::string_view(into, static_cast<std::size_t>(got)));
  }
  *value = kind == Kind::kText ? Of(std::string_view(buffer.data(), size), kind) : hash.Digest();
  // One huge page does not hold its memory for the rest of the run.
  if (buffer.size() > 64 * kPiece) std::vector<char>(kPiece).swap(buffer);
  return true;
}
