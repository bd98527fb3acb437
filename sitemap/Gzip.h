#pragma once
#include <string>
#include <string_view>

// A whole text as one gzip member, compressed with libdeflate.
namespace Gzip {

std::string Compressed(std::string_view text);

}  // namespace Gzip
