#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct z_stream_s;

// Compresses a text given in pieces into one gzip member with zlib's
// deflate, handing the compressed bytes on to a sink as they come, so that
// neither the text nor its compressed form is ever held whole.
class GzipStream {
 public:
  // Takes compressed bytes; false stops the stream.
  using Sink = std::function<bool(std::string_view)>;

  // Throws std::bad_alloc when zlib cannot set up its state.
  explicit GzipStream(Sink sink);
  ~GzipStream();
  GzipStream(const GzipStream&) = delete;
  GzipStream& operator=(const GzipStream&) = delete;

  // False once the sink refused bytes or deflate failed.
  bool Write(std::string_view text);
  // Ends the member; nothing may be written after.
  bool Finish();

 private:
  bool Deflate(std::string_view text, int flush);

  Sink sink_;
  std::unique_ptr<z_stream_s> stream_;
  std::string out_;
  bool failed_ = false;
};
