#pragma once
#include <chrono>
#include <cstddef>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "io/FileLayer.h"

// Tells the search engines that take IndexNow which URLs of a site were
// added, changed or removed: a JSON POST of the site's host, the key, where
// the key file lies and the URLs, at most kUrlsPerRequest of them a
// request, to an endpoint (by libcurl, which honours the proxy variables).
// A search engine believes the key when the site serves it as KEY.txt, so
// the file must lie in the site's folder, at the base URL.
class IndexNowSubmission {
 public:
  static constexpr const char* kDefaultEndpoint = "https://api.indexnow.org/indexnow";
  static constexpr std::size_t kUrlsPerRequest = 10000;

  // 8 to 128 characters, each of a-z, A-Z, 0-9 and '-'.
  static bool IsValidKey(std::string_view key);
  // An http:// or https:// URL with a host.
  static bool IsValidEndpoint(const std::string& endpoint);

  // Whether folder/KEY.txt holds the key (white space around it, and a
  // UTF-8 byte order mark before it, allowed).
  enum class KeyFile { kHoldsKey, kMissing, kUnreadable, kOtherText };
  static KeyFile CheckKeyFile(const std::string& folder, const std::string& key, std::string* reason,
                              FileLayer& files = PosixFileLayer::Instance());

  // baseUrl: the site's base URL as normalised for its sitemap (ending in
  // "/"); the host and the key file's URL are taken from it.
  IndexNowSubmission(std::string endpoint, const std::string& baseUrl, std::string key);

  const std::string& host() const { return host_; }
  const std::string& keyLocation() const { return keyLocation_; }
  // The body of a request for urls.
  std::string Body(std::span<const std::string> urls) const;

  // How a submission went. The URLs are sent in order, a request at a
  // time; the first that fails ends it, and the URLs from its first on are
  // not submitted.
  struct Outcome {
    std::size_t submitted = 0;  // the first submitted of the URLs went through
    std::size_t requests = 0;   // requests made, the failed one included
    bool failed = false;
    bool stopped = false;       // failed as stop was asked
    long status = 0;            // the failed request's HTTP status; 0: no answer came
    std::string answer;         // the start of its answer, or why none came
  };
  // Sends nothing for no URLs. Accepted: 200 and 202. A stop asked breaks
  // off the request under way.
  Outcome Submit(const std::vector<std::string>& urls, std::stop_token stop = {}) const;

  // How long a request may take, connection included.
  void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

 private:
  std::string endpoint_;
  std::string key_;
  std::string host_;
  std::string keyLocation_;
  std::chrono::milliseconds timeout_{60000};
};
