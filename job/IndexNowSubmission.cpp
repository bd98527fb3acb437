#include "job/IndexNowSubmission.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "text/AsciiText.h"

namespace {

// libcurl is set up once, for the program's life, before any thread of
// ours could use it.
void StartLibrary() {
  static const CURLcode started = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)started;
}

struct UrlFree {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct EasyFree {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// A part of a URL as libcurl reads it; "" when it has none or the URL is
// not one.
std::string UrlPart(const std::string& url, CURLUPart part) {
  StartLibrary();
  const std::unique_ptr<CURLU, UrlFree> parsed(curl_url());
  char* text = nullptr;
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
      curl_url_get(parsed.get(), part, &text, 0) != CURLUE_OK)
    return {};
  std::string value = text;
  curl_free(text);
  return value;
}

// A JSON string: quotes, backslashes and control bytes escaped.
void AppendJsonString(std::string* out, std::string_view text) {
  out->push_back('"');
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
      out->append(escaped);
    } else {
      out->push_back(c);
    }
  }
  out->push_back('"');
}

// What the endpoint answered, kept short and on one line.
std::size_t KeepAnswer(char* data, std::size_t size, std::size_t count, void* answer) {
  constexpr std::size_t kKept = 300;
  auto* kept = static_cast<std::string*>(answer);
  const std::size_t bytes = size * count;
  kept->append(data, std::min(bytes, kKept - std::min(kKept, kept->size())));
  return bytes;
}

// libcurl asks this while a request is under way: non-zero breaks it off.
int BreakOffWhenStopped(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::stop_token*>(stop)->stop_requested() ? 1 : 0;
}

std::string OneLine(std::string text) {
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
  return std::string(AsciiText::TrimHtmlSpace(text));
}

}  // namespace

bool IndexNowSubmission::IsValidKey(std::string_view key) {
  return key.size() >= 8 && key.size() <= 128 && std::all_of(key.begin(), key.end(), [](char c) {
           return AsciiText::IsAlnum(c) || c == '-';
         });
}

bool IndexNowSubmission::IsValidEndpoint(const std::string& endpoint) {
  const std::string scheme = UrlPart(endpoint, CURLUPART_SCHEME);
  return (scheme == "http" || scheme == "https") && !UrlPart(endpoint, CURLUPART_HOST).empty();
}

IndexNowSubmission::KeyFile IndexNowSubmission::CheckKeyFile(const std::string& folder, const std::string& key,
                                                             std::string* reason, FileLayer& files) {
  std::string content;
  if (!files.ReadWhole(folder + "/" + key + ".txt", &content, reason))
    return errno == ENOENT ? KeyFile::kMissing : KeyFile::kUnreadable;
  return AsciiText::TrimHtmlSpace(AsciiText::WithoutUtf8Mark(content)) == key ? KeyFile::kHoldsKey
                                                                                : KeyFile::kOtherText;
}

IndexNowSubmission::IndexNowSubmission(std::string endpoint, const std::string& baseUrl, std::string key)
    : endpoint_(std::move(endpoint)), key_(std::move(key)), host_(UrlPart(baseUrl, CURLUPART_HOST)),
      keyLocation_(baseUrl + key_ + ".txt") {}

std::string IndexNowSubmission::Body(std::span<const std::string> urls) const {
  std::string body = "{\"host\":";
  AppendJsonString(&body, host_);
  body += ",\"key\":";
  AppendJsonString(&body, key_);
  body += ",\"keyLocation\":";
  AppendJsonString(&body, keyLocation_);
  body += ",\"urlList\":[";
  for (std::size_t i = 0; i < urls.size(); ++i) {
    if (i > 0) body.push_back(',');
    AppendJsonString(&body, urls[i]);
  }
  body += "]}";
  return body;
}

IndexNowSubmission::Outcome IndexNowSubmission::Submit(const std::vector<std::string>& urls,
                                                       std::stop_token stop) const {
  Outcome outcome;
  if (urls.empty()) return outcome;
  StartLibrary();
  const std::unique_ptr<CURL, EasyFree> curl(curl_easy_init());
  // Without "Expect: 100-continue", for which libcurl would wait on
  // every large body.
  std::unique_ptr<curl_slist, ListFree> headers(curl_slist_append(nullptr, "Content-Type: application/json; charset=utf-8"));
  if (curl_slist* both = headers ? curl_slist_append(headers.get(), "Expect:") : nullptr) {
    headers.release();
    headers.reset(both);
  }
  if (!curl || !headers) {
    outcome.failed = true;
    outcome.requests = 1;
    outcome.answer = "libcurl could not be set up";
    return outcome;
  }
  char error[CURL_ERROR_SIZE] = "";
  std::string answer;
  curl_easy_setopt(curl.get(), CURLOPT_URL, endpoint_.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(curl.get(), CURLOPT_USERAGENT, "nubika-sitemap");
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, static_cast<long>(timeout_.count()));
  curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, KeepAnswer);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer);
  curl_easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, BreakOffWhenStopped);
  curl_easy_setopt(curl.get(), CURLOPT_XFERINFODATA, &stop);
  curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
  for (std::size_t first = 0; first < urls.size(); first += kUrlsPerRequest) {
    const std::size_t count = std::min(kUrlsPerRequest, urls.size() - first);
    const std::string body = Body(std::span(urls).subspan(first, count));
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    answer.clear();
    error[0] = '\0';
    ++outcome.requests;
    const CURLcode sent = curl_easy_perform(curl.get());
    long status = 0;
    if (sent == CURLE_OK) curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (sent == CURLE_OK && (status == 200 || status == 202)) {
      outcome.submitted += count;
      continue;
    }
    outcome.failed = true;
    outcome.stopped = sent == CURLE_ABORTED_BY_CALLBACK;
    outcome.status = status;
    outcome.answer = OneLine(sent == CURLE_OK ? answer : error[0] ? error : curl_easy_strerror(sent));
    break;
  }
  return outcome;
}
