// The scan and the writer on random trees served by a fake lister: random
// names of any bytes, files, folders, links to folders and folders that
// refuse to be listed, in random order and depth. The sitemap must parse,
// hold exactly the selected pages in scan order, and each URL must decode
// to the page's path; with an absolute base URL it must pass the schema.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <vector>

#include "FakeDirectoryLister.h"
#include "FuzzCheck.h"
#include "SitemapCheck.h"
#include "TestSupport.h"
#include "scan/clFindInFolders.h"
#include "sitemap/SitemapWriter.h"

namespace {

using Path = std::vector<std::string>;

// The base URL as typed and as it must open every URL.
struct Base {
  const char* typed;
  const char* written;
};
constexpr Base kBases[] = {
    {" https://example.jp ", "https://example.jp/"},
    {"https://example.jp/サイト/a b/", "https://example.jp/%E3%82%B5%E3%82%A4%E3%83%88/a%20b/"},
    {"http://example.jp/site", "http://example.jp/site/"},
    {"", ""},
    {"/docs", "/docs/"},
};

// Builds a random tree into a fake lister, then walks it the way a
// depth-first scan does to learn which pages the sitemap must hold.
class TreeMaker {
 public:
  explicit TreeMaker(FuzzedDataProvider& in) : in_(in) { root_ = MakeFolder("root", 0); }

  FakeDirectoryLister lister;

  std::vector<Path> ExpectedPages() const {
    std::vector<Path> pages;
    Walk(root_, {}, &pages);
    return pages;
  }

 private:
  struct Node {
    std::string name;
    bool listed = false;  // a real folder the scan enters
    std::vector<Node> children;
  };
  static constexpr const char* kSuffixes[] = {".html", ".htm", ".HTML", ".txt", "", ".html.bak"};

  Node MakeFolder(const std::string& path, int depth) {
    Node folder{"", true, {}};
    std::vector<ListedEntry> entries;
    std::set<std::string> names;
    for (int count = in_.ConsumeIntegralInRange(0, 7); count > 0 && budget_ > 0; --count, --budget_) {
      const int kind = in_.ConsumeIntegralInRange(0, 9);
      std::string name = NameFrom(in_.ConsumeRandomLengthString(10));
      if (kind <= 4) name += kSuffixes[in_.ConsumeIntegralInRange<std::size_t>(0, std::size(kSuffixes) - 1)];
      while (!names.insert(name).second) name += "~";
      const std::string childPath = path + "/" + name;
      if (kind <= 4) {
        entries.push_back({name, ListedEntry::Kind::kFile});
        folder.children.push_back({name, false, {}});
      } else if (kind <= 7 && depth < 6) {
        entries.push_back({name, ListedEntry::Kind::kFolder});
        folder.children.push_back(MakeFolder(childPath, depth + 1));
        folder.children.back().name = name;
      } else if (kind == 8) {
        entries.push_back({name, ListedEntry::Kind::kFolderLink});
      } else {
        entries.push_back({name, ListedEntry::Kind::kFolder});
        lister.Refuse(childPath, "Permission denied");
      }
    }
    lister.Add(path, entries);
    return folder;
  }

  static void Walk(const Node& folder, const Path& below, std::vector<Path>* pages) {
    for (const Node& child : folder.children) {
      Path path = below;
      path.push_back(child.name);
      if (child.listed)
        Walk(child, path, pages);
      else if (Selected(child.name))
        pages->push_back(path);
    }
  }

  static bool Selected(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string extension = name.substr(dot);
    return extension == ".html" || extension == ".htm";
  }

  std::string NameFrom(std::string raw) {
    std::erase_if(raw, [](char c) { return c == '/' || c == '\0'; });
    if (raw.empty() || raw == "." || raw == "..") raw = "n" + std::to_string(++unnamed_);
    return raw;
  }

  FuzzedDataProvider& in_;
  Node root_;
  int budget_ = 60;
  int unnamed_ = 0;
};

std::string Joined(const Path& path) {
  std::string text;
  for (const auto& name : path) text += (text.empty() ? "" : "/") + Printable(name);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const Base& base = kBases[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kBases) - 1)];
  GenerationInputs inputs;
  inputs.baseUrl = base.typed;
  inputs.priority = in.ConsumeBool();
  inputs.changeFreq = in.ConsumeBool();
  inputs.lastMod = in.ConsumeBool();
  inputs.mobile = in.ConsumeBool();
  inputs.extensions = {"html", "htm"};
  TreeMaker tree(in);
  const std::vector<Path> expected = tree.ExpectedPages();

  clFindInFolders scanner(&tree.lister);
  scanner.setLevel(1);
  FUZZ_CHECK(scanner.scanFolder("root"), "the scan must end");
  ScriptedControl control;
  SitemapWriter writer;
  const bool written = writer.WriteSitemap(FuzzFolder(), scanner.entries(), inputs, control);
  // A tree without pages gets no sitemap at all: an empty urlset fails the
  // schema.
  FUZZ_CHECK(written == !expected.empty(), writer.problem().detail);
  if (!written) return 0;

  const std::string xml = ReadFile(writer.outputPath());
  const auto parsed = SitemapCheck::Parse(xml);
  FUZZ_CHECK(parsed.wellFormed, parsed.error);
  FUZZ_CHECK(parsed.locs.size() == expected.size(),
             std::to_string(parsed.locs.size()) + " URLs for " + std::to_string(expected.size()) + " pages");
  for (std::size_t n = 0; n < parsed.locs.size(); ++n) {
    const auto segments = SitemapCheck::SegmentsBelow(parsed.locs[n], base.written);
    FUZZ_CHECK(segments && *segments == expected[n],
               Printable(parsed.locs[n]) + " for the page " + Joined(expected[n]));
  }
  const bool absolute = std::string_view(base.written).starts_with("http");
  if (absolute) {
    const std::string problem = SitemapCheck::Validate(xml, NUBIKA_SCHEMA_DIR);
    FUZZ_CHECK(problem.empty(), problem);
  }
  return 0;
}
