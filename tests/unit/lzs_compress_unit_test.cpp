// Compressor internals: the history layout and the restart of positions
// before they wrap around.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "huecl32.h"
#include "lzs/lzs_compress.h"

namespace {

using huecl::lzs::CompressionHistory;

std::vector<std::uint8_t> sampleText(std::size_t size) {
    static const char words[] = "the cyan plane of the band and the magenta plane of the page ";
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = 1;
    for (std::size_t k = 0; k < size; ++k) {
        state = state * 1103515245u + 12345u;
        bytes[k] = static_cast<std::uint8_t>(words[(k + (state >> 28)) % (sizeof words - 1)]);
    }
    return bytes;
}

std::vector<std::uint8_t> compressWith(CompressionHistory& history, std::vector<std::uint8_t> input,
                                       std::uint32_t flags) {
    std::vector<std::uint8_t> output(input.size() * 2 + 64);
    std::uint8_t* src = input.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(input.size());
    std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
    const huecl::lzs::CallerVariables caller{&src, &dst, &srcCount, &dstCount};
    EXPECT_EQ(huecl::lzs::compress(caller, &history, flags, 8), 5u);
    output.resize(output.size() - dstCount);
    return output;
}

// On 32-bit targets the layout is the one the DLL has always had; a 64-bit
// host keeps the two saved addresses whole, a word more each, and still
// fits the same 20380 bytes.
TEST(LzsCompressionHistoryLayout, ExactOn32BitTargetsAndWithinTheAreaEverywhere) {
    constexpr bool wide = sizeof(void*) > 4;
    EXPECT_EQ(sizeof(CompressionHistory), wide ? 20372u : 20364u);
    EXPECT_EQ(sizeof(huecl::lzs::SavedPairs), wide ? 28u : 20u);
    EXPECT_EQ(offsetof(CompressionHistory, chain), wide ? 68u : 60u);
    EXPECT_LE(sizeof(CompressionHistory), HUECL_LZS_COMPRESSION_HISTORY_SIZE);
    EXPECT_EQ(alignof(CompressionHistory), 4u);
}

TEST(LzsCompressionHistoryLayout, InitTouchesOnlyTheStateFields) {
    std::vector<std::uint8_t> area(HUECL_LZS_COMPRESSION_HISTORY_SIZE, 0xCD);
    EXPECT_EQ(huecl::lzs::initCompressionHistory(area.data()), 1u);
    const auto& history = *reinterpret_cast<const CompressionHistory*>(area.data());
    EXPECT_EQ(history.magic, 0x4321);
    EXPECT_EQ(history.control, 2);
    EXPECT_EQ(history.position, 0xFFFFFFFFu);
    EXPECT_EQ(history.historyFill, 0);
    EXPECT_EQ(history.saved.valid, 0);
    // The tables are left for the first stream to set up.
    for (std::size_t k = offsetof(CompressionHistory, chain); k < area.size(); ++k) ASSERT_EQ(area[k], 0xCD) << k;
}

// Positions near the top of 32 bits restart at the next new stream, with
// the heads cleared, so that stale entries never pass the distance test
// after the wrap: the stream is then exactly that of a fresh history.
TEST(LzsPositionRestart, NewStreamNearTheWrapIsLikeAFreshHistory) {
    const std::vector<std::uint8_t> first = sampleText(3000);
    const std::vector<std::uint8_t> second = sampleText(6000);
    CompressionHistory fresh;
    huecl::lzs::initCompressionHistory(&fresh);
    const std::vector<std::uint8_t> expected = compressWith(fresh, second, 1);

    for (std::uint32_t position : {0xFFFFF800u - 6000u, 0xFFFFF000u, 0xFFFFFFF0u}) {
        CompressionHistory history;
        huecl::lzs::initCompressionHistory(&history);
        compressWith(history, first, 1);
        history.position = position;
        EXPECT_EQ(compressWith(history, second, 1), expected) << std::hex << position;
        EXPECT_EQ(history.position, 2048u + 6000u) << std::hex << position;
    }
    // Just below the guard, positions simply continue (2048 further on).
    CompressionHistory history;
    huecl::lzs::initCompressionHistory(&history);
    compressWith(history, first, 1);
    history.position = 0xFFFFF800u - 6001u;
    compressWith(history, second, 1);
    EXPECT_EQ(history.position, 0xFFFFF800u - 6001u + 2048u + 6000u);
}

}  // namespace
