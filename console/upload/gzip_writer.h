// gzip compression in pieces: bytes go in a piece at a time and come out
// compressed through a sink, so that a dump of any size is compressed in a
// few hundred kilobytes of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class GzipWriter {
  public:
    // Takes compressed bytes; false stops the compression (a failed write).
    using Sink = std::function<bool(const void* data, size_t size)>;

    explicit GzipWriter(Sink sink);
    ~GzipWriter();
    GzipWriter(const GzipWriter&) = delete;
    GzipWriter& operator=(const GzipWriter&) = delete;

    // False when zlib has no memory, or the sink failed. After a failure
    // every call fails.
    bool Write(const void* data, size_t size);
    // Ends the stream (the gzip trailer). Nothing may be written after it.
    bool Finish();

  private:
    bool Deflate(const void* data, size_t size, int flush);

    struct State;
    std::unique_ptr<State> state_;
    Sink sink_;
    bool failed_ = false;
};
