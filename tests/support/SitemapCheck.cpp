#include "SitemapCheck.h"

#include <libdeflate.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlschemas.h>
#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

namespace SitemapCheck {
namespace {

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

// Silences libxml2's default printing to stderr; the first message is kept.
void KeepFirstError(void* context, const char* format, ...) {
  auto* error = static_cast<std::string*>(context);
  if (!error->empty()) return;
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  *error = text;
}

DocPtr ReadDocument(const std::string& xml, std::string* error) {
  xmlSetGenericErrorFunc(error, KeepFirstError);
  DocPtr doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "sitemap.xml", nullptr,
                           XML_PARSE_NONET));
  if (!doc && error->empty()) *error = "not well-formed";
  xmlSetGenericErrorFunc(nullptr, nullptr);
  return doc;
}

void CollectLocs(xmlNode* node, std::vector<std::string>* locs) {
  for (; node; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    if (xmlStrEqual(node->name, BAD_CAST "loc")) {
      xmlChar* text = xmlNodeGetContent(node);
      locs->emplace_back(text ? reinterpret_cast<const char*>(text) : "");
      xmlFree(text);
    }
    CollectLocs(node->children, locs);
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

Parsed Parse(const std::string& xml) {
  Parsed parsed;
  DocPtr doc = ReadDocument(xml, &parsed.error);
  if (!doc) return parsed;
  parsed.wellFormed = true;
  xmlNode* root = xmlDocGetRootElement(doc.get());
  parsed.isIndex = root && xmlStrEqual(root->name, BAD_CAST "sitemapindex");
  CollectLocs(root, &parsed.locs);
  return parsed;
}

std::string Gunzipped(const std::string& compressed) {
  if (compressed.size() < 18) return {};
  // The gzip trailer holds the size, modulo 2^32; parts are far smaller.
  const auto* end = reinterpret_cast<const unsigned char*>(compressed.data() + compressed.size());
  const std::size_t size = end[-4] | (end[-3] << 8) | (end[-2] << 16) | (static_cast<std::size_t>(end[-1]) << 24);
  std::string out(size, '\0');
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  std::size_t actual = 0;
  const auto result =
      libdeflate_gzip_decompress(decompressor, compressed.data(), compressed.size(), out.data(), out.size(), &actual);
  libdeflate_free_decompressor(decompressor);
  if (result != LIBDEFLATE_SUCCESS) return {};
  out.resize(actual);
  return out;
}

std::vector<std::string> UrlBlocks(const std::string& urlset) {
  std::vector<std::string> blocks;
  for (std::size_t at = urlset.find("\t<url>"); at != std::string::npos; at = urlset.find("\t<url>", at + 1)) {
    const std::size_t end = urlset.find("\t</url>\r\n", at);
    if (end == std::string::npos) break;
    blocks.push_back(urlset.substr(at, end + 9 - at));
  }
  return blocks;
}

Set ReadSet(const std::string& folder, const std::string& schemaFolder) {
  Set set;
  const auto read = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return in ? content.str() : std::string();
  };
  const std::string top = read(folder + "/nubika_sitemap.xml");
  const Parsed parsed = Parse(top);
  if (!parsed.wellFormed) {
    set.error = "nubika_sitemap.xml: " + parsed.error;
    return set;
  }
  if (std::string problem = Validate(top, schemaFolder); !problem.empty()) {
    set.error = "nubika_sitemap.xml: " + problem;
    return set;
  }
  if (!parsed.isIndex) {
    set.texts.push_back(top);
    set.locs = parsed.locs;
    return set;
  }
  for (const std::string& loc : parsed.locs) {
    const std::string name = *PercentDecoded(loc.substr(loc.rfind('/') + 1));
    set.parts.push_back(name);
    std::string text = read(folder + "/" + name);
    if (name.ends_with(".gz")) text = Gunzipped(text);
    const Parsed part = Parse(text);
    std::string problem = part.wellFormed ? Validate(text, schemaFolder) : part.error;
    if (problem.empty() && part.isIndex) problem = "an index inside an index";
    if (!problem.empty()) {
      set.error = name + ": " + problem;
      return set;
    }
    set.locs.insert(set.locs.end(), part.locs.begin(), part.locs.end());
    set.texts.push_back(std::move(text));
  }
  return set;
}

std::string Validate(const std::string& xml, const std::string& schemaFolder) {
  const bool mobile = xml.find("sitemap-mobile/1.0") != std::string::npos;
  const bool xhtml = xml.find("xmlns:xhtml=\"http://www.w3.org/1999/xhtml\"") != std::string::npos;
  const bool index = xml.find("<sitemapindex") != std::string::npos;
  const std::string schemaPath =
      schemaFolder + (index    ? "/siteindex.xsd"
                      : xhtml  ? "/sitemap-with-xhtml.xsd"
                      : mobile ? "/sitemap-with-mobile.xsd"
                               : "/sitemap.xsd");
  std::string error;
  DocPtr doc = ReadDocument(xml, &error);
  if (!doc) return "not well-formed: " + error;

  xmlSchemaParserCtxt* parserContext = xmlSchemaNewParserCtxt(schemaPath.c_str());
  xmlSchema* schema = parserContext ? xmlSchemaParse(parserContext) : nullptr;
  xmlSchemaFreeParserCtxt(parserContext);
  if (!schema) return "cannot read the schema " + schemaPath;
  xmlSchemaValidCtxt* validContext = xmlSchemaNewValidCtxt(schema);
  xmlSchemaSetValidErrors(validContext, nullptr, nullptr, nullptr);
  xmlSetGenericErrorFunc(&error, KeepFirstError);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  const int result = xmlSchemaValidateDoc(validContext, doc.get());
  xmlSetGenericErrorFunc(nullptr, nullptr);
  xmlSchemaFreeValidCtxt(validContext);
  xmlSchemaFree(schema);
  if (result == 0) return "";
  return "invalid against " + schemaPath + (error.empty() ? "" : ": " + error);
}

std::optional<std::string> PercentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

std::optional<std::vector<std::string>> SegmentsBelow(const std::string& url, const std::string& base) {
  if (url.compare(0, base.size(), base) != 0) return std::nullopt;
  std::vector<std::string> segments;
  std::size_t begin = base.size();
  while (true) {
    const std::size_t slash = url.find('/', begin);
    auto segment = PercentDecoded(url.substr(begin, slash == std::string::npos ? slash : slash - begin));
    if (!segment) return std::nullopt;
    segments.push_back(std::move(*segment));
    if (slash == std::string::npos) return segments;
    begin = slash + 1;
  }
}


}  // namespace SitemapCheck
