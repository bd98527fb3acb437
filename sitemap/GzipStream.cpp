#include "sitemap/GzipStream.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

namespace {

// Sitemaps are so repetitive that the fastest level already shrinks them
// to about 3 %, at a fraction of the time of the default level.
constexpr int kLevel = 1;
// 16 added to the window bits asks deflate for a gzip header and trailer.
constexpr int kGzipWindowBits = 15 + 16;
constexpr int kMemoryLevel = 8;
constexpr std::size_t kOutputSize = 1 << 16;

}  // namespace

GzipStream::GzipStream(Sink sink) : sink_(std::move(sink)), stream_(std::make_unique<z_stream_s>()) {
  if (deflateInit2(stream_.get(), kLevel, Z_DEFLATED, kGzipWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::bad_alloc();
  out_.resize(kOutputSize);
}

GzipStream::~GzipStream() { deflateEnd(stream_.get()); }

bool GzipStream::Deflate(std::string_view text, int flush) {
  if (failed_) return false;
  z_stream& z = *stream_;
  // zlib counts in unsigned int: a longer text goes in slices.
  do {
    const std::size_t slice = std::min<std::size_t>(text.size(), UINT_MAX);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(slice);
    text.remove_prefix(slice);
    const int sliceFlush = text.empty() ? flush : Z_NO_FLUSH;
    int result;
    do {
      z.next_out = reinterpret_cast<Bytef*>(out_.data());
      z.avail_out = static_cast<uInt>(out_.size());
      result = deflate(&z, sliceFlush);
      if (result == Z_STREAM_ERROR) return !(failed_ = true);
      const std::size_t produced = out_.size() - z.avail_out;
      if (produced > 0 && !sink_(std::string_view(out_.data(), produced))) return !(failed_ = true);
    } while (z.avail_out == 0 || (sliceFlush == Z_FINISH && result != Z_STREAM_END));
  } while (!text.empty());
  return true;
}

bool GzipStream::Write(std::string_view text) { return text.empty() ? !failed_ : Deflate(text, Z_NO_FLUSH); }

bool GzipStream::Finish() { return Deflate({}, Z_FINISH); }
