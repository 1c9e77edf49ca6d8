// What the decompression history holds between calls: never more than three
// carried source bytes, at most 2047 bytes of reachable history, and a
// poisoned state after corrupt input.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "lzs/lzs_decompress.h"
#include "lzs/lzs_format.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using huecl::lzs::decompress;
using huecl::lzs::probeDecompressionHistory;

class BitWriter {
public:
    void put(std::uint32_t value, std::uint32_t count) {
        for (std::uint32_t bit = count; bit-- > 0;) {
            if (bitCount_ % 8 == 0) bytes.push_back(0);
            if ((value >> bit) & 1) bytes.back() |= static_cast<std::uint8_t>(0x80 >> (bitCount_ % 8));
            ++bitCount_;
        }
    }
    void end() {
        put(0b110000000, 9);
        while (bitCount_ % 8 != 0) put(0, 1);
    }
    Bytes bytes;

private:
    std::size_t bitCount_ = 0;
};

// Long-offset matches with long lengths: the widest items the decoder waits for.
Bytes wideTokenStream(std::uint32_t seed, std::size_t* plainSize) {
    std::mt19937 random(seed);
    BitWriter writer;
    std::size_t held = 0;
    for (int token = 0; token < 400; ++token) {
        if (held < 200 || random() % 4 == 0) {
            writer.put(0, 1);
            writer.put(random() & 0xFF, 8);
            ++held;
            continue;
        }
        const std::uint32_t offset = 128 + random() % (std::min<std::size_t>(held, 2047) - 127);
        writer.put(0b10, 2);
        writer.put(offset, 11);
        const std::uint32_t length = 8 + random() % 100;
        writer.put(0b1111, 4);
        std::uint32_t rest = length - 8;
        for (; rest >= 15; rest -= 15) writer.put(0b1111, 4);
        writer.put(rest, 4);
        held += length;
    }
    writer.end();
    *plainSize = held;
    return writer.bytes;
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
            if (result & 1) srcCount = std::min<std::uint32_t>(1 + random() % 2, static_cast<std::uint32_t>(stream.data() + stream.size() - src));
            if ((result & 2) && !(result & 4)) {
                // One spare byte: a marker still in the source is read only
                // by a call with room.
                dstCount = std::min<std::uint32_t>(1 + random() % 5, static_cast<std::uint32_t>(output.data() + output.size() - dst));
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
    BitWriter writer;
    writer.put(0, 1);
    writer.put('a', 8);
    writer.put(0b11, 2);
    writer.put(2, 7);  // one byte before the first
    writer.put(0, 2);
    writer.end();
    std::vector<std::uint8_t> history(huecl::lzs::decompressionHistorySize());
    huecl::lzs::initDecompressionHistory(history.data());
    Bytes output(16);
    std::uint8_t* src = writer.bytes.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(writer.bytes.size());
    std::uint32_t dstCount = 16;
    EXPECT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.data(), 0), 0u);
    EXPECT_TRUE(probeDecompressionHistory(history.data()).corrupt);
    huecl::lzs::initDecompressionHistory(history.data());
    EXPECT_FALSE(probeDecompressionHistory(history.data()).corrupt);
}

}  // namespace
