#include "sitemap/Gzip.h"

#include <libdeflate.h>

#include <memory>
#include <new>

namespace Gzip {

std::string Compressed(std::string_view text) {
  // Level 6 is gzip's own default: parts are written once and read often.
  constexpr int kLevel = 6;
  const std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
      libdeflate_alloc_compressor(kLevel), &libdeflate_free_compressor);
  if (!compressor) throw std::bad_alloc();
  std::string out(libdeflate_gzip_compress_bound(compressor.get(), text.size()), '\0');
  const std::size_t size = libdeflate_gzip_compress(compressor.get(), text.data(), text.size(), out.data(), out.size());
  out.resize(size);
  return out;
}

}  // namespace Gzip
