#include "SitemapCheck.h"

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
  CollectLocs(xmlDocGetRootElement(doc.get()), &parsed.locs);
  return parsed;
}

std::string Validate(const std::string& xml, const std::string& schemaFolder) {
  const bool mobile = xml.find("sitemap-mobile/1.0") != std::string::npos;
  const std::string schemaPath = schemaFolder + (mobile ? "/sitemap-with-mobile.xsd" : "/sitemap.xsd");
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
