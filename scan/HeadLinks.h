#pragma once
#include <optional>
#include <string>
#include <vector>

// The links in a page's head that tell which URL the page stands for:
// its canonical URL, its language versions and the base they resolve
// against. Values as the page gives them, character references decoded,
// not yet resolved.
struct HeadLinks {
  struct Alternate {
    std::string hreflang;
    std::string href;
    bool operator==(const Alternate&) const = default;
  };

  // The href of the first <link rel="canonical"> that has one.
  std::optional<std::string> canonical;
  // Every <link rel="alternate" hreflang="..." href="...">, in the page's order.
  std::vector<Alternate> alternates;
  // The href of the first <base> that has one, while there is a link above.
  std::optional<std::string> base;

  bool empty() const { return !canonical && alternates.empty(); }
  bool operator==(const HeadLinks&) const = default;
};
