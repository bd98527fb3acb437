#include "io/ContentHash.h"

#include <xxhash.h>

#include <cstring>
#include <new>

#include "text/AsciiText.h"

namespace {

ContentHash::Value ValueOf(const XXH128_hash_t& hash) {
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, hash);
  ContentHash::Value value;
  std::memcpy(value.data(), canonical.digest, value.size());
  return value;
}

}  // namespace

struct ContentHash::State {
  XXH3_state_t* xxh = XXH3_createState();
  ~State() { XXH3_freeState(xxh); }
};

ContentHash::ContentHash() : state_(std::make_unique<State>()) {
  if (!state_->xxh) throw std::bad_alloc();
  XXH3_128bits_reset(state_->xxh);
}

ContentHash::~ContentHash() = default;

void ContentHash::Update(std::string_view bytes) { XXH3_128bits_update(state_->xxh, bytes.data(), bytes.size()); }

ContentHash::Value ContentHash::Digest() const { return ValueOf(XXH3_128bits_digest(state_->xxh)); }

ContentHash::Value ContentHash::Of(std::string_view bytes) { return ValueOf(XXH3_128bits(bytes.data(), bytes.size())); }

std::string ContentHash::Hex(const Value& value, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count && i < value.size(); ++i) {
    text.push_back(AsciiText::kLowerHexDigits[value[i] >> 4]);
    text.push_back(AsciiText::kLowerHexDigits[value[i] & 15]);
  }
  return text;
}
