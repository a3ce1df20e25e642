#include "console/upload/gzip_writer.h"

#include <zlib.h>

#include <vector>

namespace {

constexpr int kGzipWindowBits = 15 + 16;  // the largest window, with a gzip header
constexpr int kMemoryLevel = 8;
constexpr size_t kOutputPiece = 256 * 1024;
// deflate takes at most this much input per call (its counters are 32-bit).
constexpr size_t kInputPiece = 1u << 30;

}  // namespace

struct GzipWriter::State {
    z_stream stream = {};
    bool initialised = false;
    std::vector<unsigned char> output;
};

GzipWriter::GzipWriter(Sink sink) : state_(new State), sink_(std::move(sink)) {
    state_->initialised = deflateInit2(&state_->stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED,
                                       kGzipWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY) == Z_OK;
    failed_ = !state_->initialised;
    if (!failed_) {
        state_->output.resize(kOutputPiece);
    }
}

GzipWriter::~GzipWriter() {
    if (state_->initialised) {
        deflateEnd(&state_->stream);
    }
}

bool GzipWriter::Write(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (!failed_ && size > 0) {
        const size_t piece = size < kInputPiece ? size : kInputPiece;
        failed_ = !Deflate(bytes, piece, Z_NO_FLUSH);
        bytes += piece;
        size -= piece;
    }
    return !failed_;
}

bool GzipWriter::Finish() {
    if (!failed_) {
        failed_ = !Deflate(nullptr, 0, Z_FINISH);
    }
    return !failed_;
}

bool GzipWriter::Deflate(const void* data, size_t size, int flush) {
    z_stream& stream = state_->stream;
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    stream.avail_in = static_cast<uInt>(size);
    while (true) {
        stream.next_out = state_->output.data();
        stream.avail_out = static_cast<uInt>(state_->output.size());
        const int result = deflate(&stream, flush);
        if (result == Z_STREAM_ERROR) {
            return false;
        }
        const size_t produced = state_->output.size() - stream.avail_out;
        if (produced > 0 && !sink_(state_->output.data(), produced)) {
            return false;
        }
        // Done when the input is used up and the output had room to spare;
        // at the end, when the trailer is out.
        if (flush == Z_FINISH ? result == Z_STREAM_END
                              : stream.avail_in == 0 && stream.avail_out != 0) {
            return true;
        }
    }
}
