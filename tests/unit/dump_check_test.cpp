// The check that a written dump file holds everything its directory refers
// to, over dump images built in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/dumpwriter/dump_check.h"

namespace {

class DumpImage {
  public:
    DumpImage() {
        Put32(0x504D444D), Put32(0xA793), Put32(0), Put32(32), Put32(0), Put32(0);
        Put64(0);
    }

    void Put32(uint32_t v) { Append(&v, sizeof(v)); }
    void Put64(uint64_t v) { Append(&v, sizeof(v)); }
    void Append(const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        bytes_.insert(bytes_.end(), bytes, bytes + size);
    }
    void Set32(size_t offset, uint32_t v) { std::memcpy(&bytes_[offset], &v, sizeof(v)); }
    size_t size() const { return bytes_.size(); }
    std::vector<unsigned char>& bytes() { return bytes_; }

  private:
    std::vector<unsigned char> bytes_;
};

bool Check(const std::vector<unsigned char>& bytes, uint64_t fileSize) {
    auto read = [&bytes](uint64_t offset, void* buffer, uint32_t size) {
        if (offset > bytes.size() || size > bytes.size() - offset) {
            return false;
        }
        std::memcpy(buffer, bytes.data() + offset, size);
        return true;
    };
    return DumpExtentsLieInFile(read, fileSize);
}

// A dump with a comment stream and a Memory64 list of two ranges
// (0x100 and 0x80 bytes) whose bytes follow the list.
std::vector<unsigned char> FullDump() {
    DumpImage image;
    image.Set32(8, 2);  // two streams, directory right after the header
    const uint32_t directory = 32, comment = directory + 24, list = comment + 8;
    const uint32_t data = list + 16 + 2 * 16;
    image.Put32(11), image.Put32(8), image.Put32(comment);
    image.Put32(9), image.Put32(16 + 2 * 16), image.Put32(list);
    image.Put64(0x0041004100410041);  // "AAAA" as wide text
    image.Put64(2), image.Put64(data);
    image.Put64(0x10000), image.Put64(0x100);
    image.Put64(0x20000), image.Put64(0x80);
    std::vector<unsigned char> bytes = image.bytes();
    bytes.resize(data + 0x180, 0xCC);
    return bytes;
}

TEST(DumpCheck, CompleteDumpPasses) {
    std::vector<unsigned char> bytes = FullDump();
    EXPECT_TRUE(Check(bytes, bytes.size()));
}

TEST(DumpCheck, DumpCutShortIsIncomplete) {
    std::vector<unsigned char> bytes = FullDump();
    for (size_t cut : {bytes.size() - 1, bytes.size() - 0x80, size_t{100}, size_t{40}, size_t{0}}) {
        SCOPED_TRACE(cut);
        std::vector<unsigned char> shorter(bytes.begin(), bytes.begin() + cut);
        EXPECT_FALSE(Check(shorter, shorter.size()));
    }
}

TEST(DumpCheck, BadHeaderOrDirectoryOrMemoryListOutsideTheFileIsIncomplete) {
    std::vector<unsigned char> wrongSignature = FullDump();
    wrongSignature[0] = 0;
    EXPECT_FALSE(Check(wrongSignature, wrongSignature.size()));

    // The signature alone, with no version or streams behind it, is no dump.
    std::vector<unsigned char> noVersion = FullDump();
    std::memset(&noVersion[4], 0, 4);
    EXPECT_FALSE(Check(noVersion, noVersion.size()));
    std::vector<unsigned char> noStreams = FullDump();
    std::memset(&noStreams[8], 0, 4);
    EXPECT_FALSE(Check(noStreams, noStreams.size()));

    std::vector<unsigned char> manyStreams = FullDump();
    std::memset(&manyStreams[8], 0xFF, 4);  // 4 billion directory entries
    EXPECT_FALSE(Check(manyStreams, manyStreams.size()));

    std::vector<unsigned char> manyRanges = FullDump();
    std::memset(&manyRanges[32 + 24 + 8], 0xFF, 8);  // ranges counted in the billions
    EXPECT_FALSE(Check(manyRanges, manyRanges.size()));
}

TEST(DumpCheck, MemoryListRangesMustLieInTheFile) {
    DumpImage image;
    image.Set32(8, 1);
    image.Put32(5), image.Put32(4 + 16), image.Put32(44);
    image.Put32(1);
    image.Put64(0x10000), image.Put32(0x40), image.Put32(64);
    std::vector<unsigned char> bytes = image.bytes();
    bytes.resize(64 + 0x40, 0);
    EXPECT_TRUE(Check(bytes, bytes.size()));
    bytes.resize(64 + 0x3F);
    EXPECT_FALSE(Check(bytes, bytes.size()));
}

}  // namespace
