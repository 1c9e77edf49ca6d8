// What the decompression history holds between calls: never more than three
// carried source bytes, at most 2047 bytes of reachable history, and a
// poisoned state after corrupt input.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "lzs/lzs_decompress.h"
#include "lzs/lzs_format.h"
#include "support/lzs_stream_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using huecl::lzs::decompress;
using huecl::lzs::probeDecompressionHistory;

using testsupport::LzsStreamBuilder;

// Long-offset matches with long lengths: the widest items the decoder waits for.
Bytes wideTokenStream(std::uint32_t seed, std::size_t* plainSize) {
    std::mt19937 random(seed);
    LzsStreamBuilder writer;
    std::size_t held = 0;
    for (int token = 0; token < 400; ++token) {
        if (held < 200 || random() % 4 == 0) {
            writer.literal(static_cast<std::uint8_t>(random() & 0xFF));
            ++held;
            continue;
        }
        const std::uint32_t offset = 128 + random() % (std::min<std::size_t>(held, 2047) - 127);
        const std::uint32_t length = 8 + random() % 100;
        writer.match(offset, length, /*forceLong=*/true);
        held += length;
    }
    writer.end();
    *plainSize = held;
    return writer.stream();
}

TEST(LzsDecompressState, CarryNeverExceedsThreeBytesBetweenCalls) {
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        std::size_t plainSize = 0;
        Bytes stream = wideTokenStream(seed, &plainSize);
        std::vector<std::uint8_t> history(huecl::lzs::decompressionHistorySize());
        huecl::lzs::initDecompressionHistory(history.data());
        Bytes output(plainSize + 1);
        std::mt19937 random(seed);
        std::uint8_t* src = stream.data();
        std::uint32_t srcCount = 1;
        std::uint8_t* dst = output.data();
        std::uint32_t dstCount = 1 + random() % 5;
        std::uint32_t maxCarry = 0;
        std::uint32_t result = 0;
        for (int call = 0; call < 1'000'000 && !(result & 4); ++call) {
            result = decompress(&src, &dst, &srcCount, &dstCount, history.data(), 0);
            ASSERT_NE(result, 0u);
            const auto probe = probeDecompressionHistory(history.data());
            ASSERT_LE(probe.carryCount, 3u) << "call " << call;
            maxCarry = std::max(maxCarry, probe.carryCount);
            if (result & 1)
                srcCount = std::min<std::uint32_t>(1 + random() % 2,
                                                   static_cast<std::uint32_t>(stream.data() + stream.size() - src));
            if ((result & 2) && !(result & 4)) {
                // One spare byte: a marker still in the source is read only
                // by a call with room.
                dstCount = std::min<std::uint32_t>(1 + random() % 5,
                                                   static_cast<std::uint32_t>(output.data() + output.size() - dst));
            }
        }
        EXPECT_TRUE(result & 4);
        EXPECT_EQ(dst, output.data() + plainSize);
        EXPECT_GE(maxCarry, 2u) << "the stream should make the decoder wait on wide items";
    }
}

TEST(LzsDecompressState, HistoryHeldGrowsToTheLargestOffset) {
    std::vector<std::uint8_t> history(huecl::lzs::decompressionHistorySize());
    huecl::lzs::initDecompressionHistory(history.data());
    EXPECT_EQ(probeDecompressionHistory(history.data()).historyHeld, 0u);
    Bytes block(1000, 7);
    Bytes output(1000);
    for (std::uint32_t expected : {1000u, 2000u, 2047u}) {
        std::uint8_t* src = block.data();
        std::uint8_t* dst = output.data();
        std::uint32_t srcCount = 1000;
        std::uint32_t dstCount = 1000;
        ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.data(), 2), 3u);
        EXPECT_EQ(probeDecompressionHistory(history.data()).historyHeld, expected);
    }
    // An end marker without flag 4 forgets it; Init keeps the magic only.
    Bytes endOnly = {0xC0, 0x00};
    std::uint8_t* src = endOnly.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = 2;
    std::uint32_t dstCount = 10;
    ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.data(), 4), 5u);
    EXPECT_EQ(probeDecompressionHistory(history.data()).historyHeld, 2047u);
    src = endOnly.data();
    srcCount = 2;
    ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.data(), 0), 5u);
    EXPECT_EQ(probeDecompressionHistory(history.data()).historyHeld, 0u);
}

TEST(LzsDecompressState, CorruptInputPoisonsTheHistory) {
    LzsStreamBuilder writer;
    writer.literal('a').match(2, 2);  // one byte before the first
    writer.end();
    std::vector<std::uint8_t> history(huecl::lzs::decompressionHistorySize());
    huecl::lzs::initDecompressionHistory(history.data());
    Bytes output(16);
    std::uint8_t* src = writer.stream().data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(writer.stream().size());
    std::uint32_t dstCount = 16;
    EXPECT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.data(), 0), 0u);
    EXPECT_TRUE(probeDecompressionHistory(history.data()).corrupt);
    huecl::lzs::initDecompressionHistory(history.data());
    EXPECT_FALSE(probeDecompressionHistory(history.data()).corrupt);
}

}  // namespace
