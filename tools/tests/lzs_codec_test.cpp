#include "lzs_codec.h"
#include "temporary_folder.h"
#include "tool_error.h"

#include <gtest/gtest.h>

#include <random>

namespace huecl::tool {
namespace {

std::vector<uint8_t> sampleBlock(size_t size, unsigned seed) {
    // Runs, repeats and noise: what plane bands hold.
    std::mt19937 random(seed);
    std::vector<uint8_t> block(size);
    for (size_t i = 0; i < size; ++i)
        block[i] = (i / 97) % 3 == 0 ? 0 : (i / 97) % 3 == 1 ? static_cast<uint8_t>(i % 7 * 31)
                                                              : static_cast<uint8_t>(random());
    return block;
}

std::string errorDecoding(std::span<const uint8_t> stream, size_t expected) {
    DecompressionHistory history;
    std::vector<uint8_t> out(expected);
    try {
        decompressBlock(stream, out, history, "band 3");
    } catch (const ToolError &error) {
        return error.what();
    }
    return "no error";
}

TEST(LzsBlocks, RoundTripAtEveryBudget) {
    CompressionHistory compression;
    DecompressionHistory decompression;
    for (const size_t size : {size_t{0}, size_t{1}, size_t{5}, size_t{4096}, size_t{100000}})
        for (const uint32_t budget : {0u, 8u, 255u}) {
            const auto block = sampleBlock(size, static_cast<unsigned>(size + budget));
            std::vector<uint8_t> stream, back(size);
            compressBlock(block, budget, compression, stream);
            decompressBlock(stream, back, decompression, "block");
            EXPECT_EQ(back, block) << size << " bytes, budget " << budget;
        }
}

TEST(LzsBlocks, RepeatedCallsGiveTheSameStream) {
    // A reused history must not carry anything from one band to the next.
    CompressionHistory history;
    const auto first = sampleBlock(5000, 1), second = sampleBlock(5000, 2);
    std::vector<uint8_t> alone, afterOther, ignored;
    compressBlock(first, 8, history, alone);
    compressBlock(second, 8, history, ignored);
    compressBlock(first, 8, history, afterOther);
    EXPECT_EQ(alone, afterOther);
}

TEST(LzsBlocks, IncompressibleInputStillFits) {
    CompressionHistory history;
    std::mt19937 random(7);
    std::vector<uint8_t> noise(10000), stream;
    for (auto &byte : noise)
        byte = static_cast<uint8_t>(random());
    compressBlock(noise, 255, history, stream);
    EXPECT_LE(stream.size(), noise.size() * 9 / 8 + 3);
}

TEST(LzsBlocks, StreamsOfTheWrongLengthAreRefused) {
    CompressionHistory history;
    const auto block = sampleBlock(1000, 3);
    std::vector<uint8_t> stream;
    compressBlock(block, 8, history, stream);
    EXPECT_EQ(errorDecoding(stream, 1001), "band 3: LZS stream decodes to 1000 bytes, not 1001");
    EXPECT_EQ(errorDecoding(stream, 999).rfind("band 3: LZS stream", 0), 0u);
    EXPECT_EQ(errorDecoding(std::span(stream).first(stream.size() / 2), 1000),
              "band 3: LZS stream does not end with its band");
}

class LzsFiles : public ::testing::TestWithParam<uint32_t> {};

TEST_P(LzsFiles, StreamThroughSmallBuffers) {
    testing::TemporaryFolder folder;
    const auto data = sampleBlock(20000, 5);
    const auto input = folder.writeFile("input", std::string(data.begin(), data.end()));
    std::vector<uint8_t> packed, unpacked;
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE *)> in(std::fopen(input.c_str(), "rb"), &std::fclose);
        compressFile(in.get(), "input", GetParam(), 8, [&](std::span<const uint8_t> piece) {
            EXPECT_LE(piece.size(), GetParam());
            packed.insert(packed.end(), piece.begin(), piece.end());
        });
    }
    const auto packedPath = folder.writeFile("packed", std::string(packed.begin(), packed.end()));
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> in(std::fopen(packedPath.c_str(), "rb"), &std::fclose);
    const StreamTotals totals = decompressFile(in.get(), "packed", GetParam(), [&](std::span<const uint8_t> piece) {
        unpacked.insert(unpacked.end(), piece.begin(), piece.end());
    });
    EXPECT_EQ(unpacked, data);
    EXPECT_EQ(totals.bytesIn, packed.size());
    EXPECT_EQ(totals.bytesOut, data.size());
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, LzsFiles, ::testing::Values(16u, 17u, 1000u, 65536u));

TEST(LzsFilesEnd, TwoStreamsBackToBackDecodeToBoth) {
    testing::TemporaryFolder folder;
    CompressionHistory history;
    const auto first = sampleBlock(3000, 8), second = sampleBlock(2000, 9);
    std::vector<uint8_t> streamA, streamB;
    compressBlock(first, 8, history, streamA);
    compressBlock(second, 8, history, streamB);
    std::string joined(streamA.begin(), streamA.end());
    joined.append(streamB.begin(), streamB.end());
    const auto path = folder.writeFile("two", joined);
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> in(std::fopen(path.c_str(), "rb"), &std::fclose);
    std::vector<uint8_t> out;
    decompressFile(in.get(), "two", 64, [&](std::span<const uint8_t> piece) { out.insert(out.end(), piece.begin(), piece.end()); });
    std::vector<uint8_t> expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(out, expected);
}

} // namespace
} // namespace huecl::tool
