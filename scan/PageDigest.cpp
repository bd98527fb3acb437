#include "scan/PageDigest.h"

#include "io/ContentHash.h"
#include "text/AsciiText.h"

#include <fcntl.h>
#include <gumbo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Appends text with every run of white space made one space; no space at
// the start of out.
void AppendCollapsed(std::string* out, std::string_view text) {
  for (char c : text) {
    if (AsciiText::IsHtmlSpace(c)) {
      if (!out->empty() && out->back() != ' ') out->push_back(' ');
    } else {
      out->push_back(c);
    }
  }
}

void AppendText(std::string* out, const GumboNode& node) {
  switch (node.type) {
    case GUMBO_NODE_TEXT:
    case GUMBO_NODE_CDATA:
    case GUMBO_NODE_WHITESPACE:
      AppendCollapsed(out, node.v.text.text);
      return;
    case GUMBO_NODE_ELEMENT: {
      const GumboTag tag = node.v.element.tag;
      if (tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE || tag == GUMBO_TAG_TEMPLATE) return;
      // Elements part words as a reader sees them: "a<p>b" reads "a b".
      AppendCollapsed(out, " ");
      for (unsigned i = 0; i < node.v.element.children.length; ++i)
        AppendText(out, *static_cast<const GumboNode*>(node.v.element.children.data[i]));
      AppendCollapsed(out, " ");
      return;
    }
    default:  // comments, the document node, a <template>'s content
      return;
  }
}

struct Found {
  const GumboNode* title = nullptr;
  const GumboNode* description = nullptr;
  const GumboNode* body = nullptr;
  const GumboNode* main = nullptr;
  int mains = 0;
};

bool NamedDescription(const GumboElement& meta) {
  const GumboAttribute* name = gumbo_get_attribute(&meta.attributes, "name");
  return name && AsciiText::EqualsIgnoringCase(AsciiText::TrimHtmlSpace(name->value), "description");
}

void Find(const GumboNode& node, Found* found) {
  if (node.type != GUMBO_NODE_ELEMENT && node.type != GUMBO_NODE_DOCUMENT) return;
  const GumboVector& children = node.type == GUMBO_NODE_DOCUMENT ? node.v.document.children : node.v.element.children;
  if (node.type == GUMBO_NODE_ELEMENT) {
    const GumboElement& element = node.v.element;
    switch (element.tag) {
      case GUMBO_TAG_TITLE:
        if (!found->title) found->title = &node;
        return;
      case GUMBO_TAG_META:
        if (!found->description && NamedDescription(element)) found->description = &node;
        return;
      case GUMBO_TAG_BODY:
        if (!found->body) found->body = &node;
        break;
      case GUMBO_TAG_MAIN:
        if (++found->mains == 1) found->main = &node;
        break;
      case GUMBO_TAG_SCRIPT:
      case GUMBO_TAG_STYLE:
      case GUMBO_TAG_TEMPLATE:
        return;
      default:
        break;
    }
  }
  for (unsigned i = 0; i < children.length; ++i) Find(*static_cast<const GumboNode*>(children.data[i]), found);
}

std::string Collapsed(std::string text) {
  if (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::string PageDigest::ReaderText(std::string_view html) {
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;
  std::unique_ptr<GumboOutput, void (*)(GumboOutput*)> output(
      gumbo_parse_with_options(&options, html.data(), html.size()),
      [](GumboOutput* parsed) { gumbo_destroy_output(&kGumboDefaultOptions, parsed); });
  Found found;
  Find(*output->document, &found);
  std::string title, description, text;
  if (found.title) AppendText(&title, *found.title);
  if (found.description)
    if (const GumboAttribute* content = gumbo_get_attribute(&found.description->v.element.attributes, "content"))
      AppendCollapsed(&description, content->value);
  if (const GumboNode* root = found.mains == 1 ? found.main : found.body) AppendText(&text, *root);
  return Collapsed(title) + '\n' + Collapsed(description) + '\n' + Collapsed(text) + '\n';
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
