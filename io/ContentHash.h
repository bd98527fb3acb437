#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A running XXH3-128 of bytes given in pieces: the same bytes give the same
// value however they are cut.
class ContentHash {
 public:
  using Value = std::array<std::uint8_t, 16>;

  ContentHash();
  ~ContentHash();
  ContentHash(const ContentHash&) = delete;
  ContentHash& operator=(const ContentHash&) = delete;

  void Update(std::string_view bytes);
  // The value of everything so far; more may follow.
  Value Digest() const;

  static Value Of(std::string_view bytes);
  // The first count bytes of a value as lowercase hex digits.
  static std::string Hex(const Value& value, std::size_t count = 16);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
