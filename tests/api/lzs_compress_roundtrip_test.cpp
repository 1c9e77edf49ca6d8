// Streams of LZS_Compress read back by the library's own LZS_Decompress:
// the two halves agree on every flag combination and across stream ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "api/lzs_compress_test_support.h"
#include "huecl32.h"

namespace {

using namespace lzs_test;

struct Decompressor {
    Decompressor() : history(LZS_SizeOfDecompressionHistory()) { LZS_InitDecompressionHistory(history.data()); }
    // Decodes one whole stream from the start of input into a fresh buffer.
    std::uint32_t run(Bytes input, std::size_t expectedSize, Bytes& output, std::uint32_t flags = 0) {
        output.assign(expectedSize + 64, 0);
        std::uint8_t* src = input.data();
        std::uint8_t* dst = output.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(input.size());
        std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
        const std::uint32_t result = LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.data(), flags);
        output.resize(output.size() - dstCount);
        return result;
    }
    std::vector<std::uint8_t> history;
};

Bytes sampleInput() {
    Bytes input = textBytes(3000, 21);
    const Bytes planes = ditheredPlanes(4000);
    input.insert(input.end(), planes.begin(), planes.end());
    const Bytes noise = randomBytes(500, 8);
    input.insert(input.end(), noise.begin(), noise.end());
    input.insert(input.end(), 3000, 0);
    return input;
}

TEST(LzsRoundTripThroughDecompress, EveryFlagCombinationAndSomeBudgets) {
    const Bytes input = sampleInput();
    for (std::uint32_t budget : {0u, 1u, 8u, 255u}) {
        for (std::uint32_t flags = 1; flags < 32; flags += 2) {
            const CallOutcome compressed = compressOnce(input, flags, budget);
            ASSERT_EQ(compressed.result, 5u);
            Decompressor decompressor;
            Bytes output;
            const std::uint32_t result = decompressor.run(compressed.output, input.size(), output);
            EXPECT_EQ(result & 4u, 4u) << "flags " << flags << " budget " << budget;
            ASSERT_EQ(output, input) << "flags " << flags << " budget " << budget;
        }
    }
}

TEST(LzsRoundTripThroughDecompress, KeptHistoryCarriesIntoTheNextStream) {
    const Bytes first = textBytes(2500, 30);
    const Bytes second(first.begin() + 700, first.begin() + 2200);
    History history;
    const CallOutcome one = compressOnce(first, LZS_FLAG_CLOSE_AT_END | LZS_FLAG_KEEP_HISTORY, 8, &history);
    const CallOutcome two = compressOnce(second, LZS_FLAG_CLOSE_AT_END | LZS_FLAG_KEEP_HISTORY, 8, &history);
    Decompressor decompressor;
    Bytes output;
    EXPECT_EQ(decompressor.run(one.output, first.size(), output, LZS_FLAG_KEEP_HISTORY_ACROSS_END) & 4u, 4u);
    ASSERT_EQ(output, first);
    EXPECT_EQ(decompressor.run(two.output, second.size(), output, LZS_FLAG_KEEP_HISTORY_ACROSS_END) & 4u, 4u);
    EXPECT_EQ(output, second);
}

TEST(LzsRoundTripThroughDecompress, OutputSizedStreamsDecodeOneByOne) {
    const Bytes input = sampleInput();
    History history;
    Bytes source = input;
    std::uint8_t* src = source.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(source.size());
    Bytes joined;
    for (int calls = 0; calls < 100000; ++calls) {
        Bytes piece(48);
        std::uint8_t* dst = piece.data();
        std::uint32_t dstCount = 48;
        const std::uint32_t result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 3, 8);
        ASSERT_TRUE(result == 5u || result == 6u);
        piece.resize(48 - dstCount);
        Decompressor decompressor;
        Bytes output;
        ASSERT_EQ(decompressor.run(piece, 48 * 300, output) & 4u, 4u);
        joined.insert(joined.end(), output.begin(), output.end());
        if (result == 5u) break;
    }
    EXPECT_EQ(joined, input);
}

}  // namespace
