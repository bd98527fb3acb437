#include "scan/PageDigest.h"

#include "io/ContentHash.h"
#include "scan/PageHeadTokenizer.h"
#include "text/AsciiText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Appends text with every run of white space made one space; no space at
// the start of out. Pages are mostly words between single spaces, so the
// bytes are copied in one pass over a buffer sized for them all, not one
// push_back at a time.
void AppendCollapsed(std::string* out, std::string_view text) {
  const std::size_t start = out->size();
  out->resize(start + text.size());
  char* const first = out->data();
  char* to = first + start;
  bool afterSpace = start == 0 || to[-1] == ' ';
  for (const char c : text) {
    const bool space = AsciiText::IsHtmlSpace(c);
    if (space && afterSpace) continue;
    *to++ = space ? ' ' : c;
    afterSpace = space;
  }
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
  ContentHash hash;
  std::string whole;
  if (kind == Kind::kText) whole.reserve(static_cast<std::size_t>(status.st_size));
  static thread_local std::unique_ptr<char[]> buffer(new char[1 << 17]);
  for (;;) {
    const ssize_t got = read(fd, buffer.get(), 1 << 17);
    if (got < 0) {
      if (errno == EINTR) continue;
      *error = std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    if (kind == Kind::kText)
      whole.append(buffer.get(), static_cast<std::size_t>(got));
    else
      hash.Update(std::string_view(buffer.get(), static_cast<std::size_t>(got)));
  }
  *value = kind == Kind::kText ? Of(whole, kind) : hash.Digest();
  return true;
}
