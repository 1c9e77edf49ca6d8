// The optimal-parse encoder: every stream it writes decodes back to its
// block through the library's decompressor (whole, and with the stream cut
// at every byte for small blocks), costs exactly the fewest bits a plain
// search over every offset and length finds, and reaches the window's far
// end but not beyond.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "lzs/lzs_compress.h"
#include "lzs/lzs_decompress.h"
#include "lzs/lzs_format.h"
#include "lzs/lzs_optimal.h"
#include "support/lzs_compress_test_support.h"

namespace {

using huecl::lzs::compressOptimal;
using huecl::lzs::optimalBound;
using huecl::lzs::OptimalWorkspace;
using lzs_test::Bytes;
using lzs_test::concat;
using lzs_test::repeated;
using testsupport::ditheredPage;
using testsupport::randomBytes;
using testsupport::textBytes;

OptimalWorkspace& sharedWorkspace() {
    static const std::unique_ptr<OptimalWorkspace> work = std::make_unique<OptimalWorkspace>();
    return *work;
}

Bytes encode(const Bytes& block, OptimalWorkspace& work = sharedWorkspace()) {
    Bytes out(optimalBound(block.size()));
    const std::size_t size = compressOptimal(block, out, work);
    EXPECT_NE(size, 0u);
    out.resize(size);
    return out;
}

// Decodes stream through the library's decompressor, its bytes offered in
// the pieces given (sizes adding up to the stream), into room for
// `expected` bytes and a few more. The stream must end exactly at its end.
Bytes decodeInPieces(const Bytes& stream, const std::vector<std::size_t>& pieces, std::size_t expected) {
    std::vector<std::uint8_t> history(huecl::lzs::decompressionHistorySize());
    huecl::lzs::initDecompressionHistory(history.data());
    Bytes output(expected + 64);
    Bytes source = stream;
    std::uint8_t* dst = output.data();
    std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
    std::size_t given = 0;
    for (std::size_t piece = 0; piece < pieces.size(); ++piece) {
        std::uint8_t* src = source.data() + given;
        std::uint32_t srcCount = static_cast<std::uint32_t>(pieces[piece]);
        given += pieces[piece];
        const bool last = piece + 1 == pieces.size();
        const std::uint32_t result = huecl::lzs::decompress(&src, &dst, &srcCount, &dstCount, history.data(), 0);
        if (last) {
            EXPECT_NE(result & huecl::lzs::result::kStreamEnd, 0u) << "result " << result;
            EXPECT_EQ(srcCount, 0u) << "bytes left after the end marker";
        } else {
            EXPECT_EQ(result, huecl::lzs::result::kSourceEmpty) << "piece " << piece << " of " << pieces.size();
        }
        if (testing::Test::HasFailure()) break;
    }
    output.resize(output.size() - dstCount);
    return output;
}

Bytes decodeWhole(const Bytes& stream, std::size_t expected) {
    return decodeInPieces(stream, {stream.size()}, expected);
}

// The fewest bits of a stream for block, by trying every offset and every
// length at every position: shortest path over positions.
std::uint64_t fewestBits(const Bytes& block) {
    const std::size_t n = block.size();
    std::vector<std::uint64_t> best(n + 1, UINT64_MAX);
    best[0] = 0;
    for (std::size_t at = 0; at < n; ++at) {
        best[at + 1] = std::min(best[at + 1], best[at] + huecl::lzs::kLiteralBits);
        for (std::size_t offset = 1; offset <= std::min<std::size_t>(at, huecl::lzs::kMaxOffset); ++offset) {
            const std::uint64_t offsetBits = offset < huecl::lzs::kShortOffsetLimit ? 9 : 13;
            for (std::size_t length = 1; at + length <= n && block[at + length - 1] == block[at + length - 1 - offset];
                 ++length) {
                if (length < 2) continue;
                const std::uint64_t bits =
                    best[at] + offsetBits + huecl::lzs::lengthCodeBits(static_cast<std::uint32_t>(length));
                best[at + length] = std::min(best[at + length], bits);
            }
        }
    }
    return best[n] + huecl::lzs::kEndMarkerBits;
}

TEST(LzsOptimal, EmptyBlockIsTheEndMarkerAlone) {
    const Bytes stream = encode({});
    EXPECT_EQ(stream.size(), (huecl::lzs::kEndMarkerBits + 7) / 8);
    const lzs_test::Decoded decoded = lzs_test::decodeStream(stream);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_TRUE(decoded.tokens.empty());
    EXPECT_TRUE(decoded.paddingIsZero);
    EXPECT_TRUE(decodeWhole(stream, 0).empty());
}

TEST(LzsOptimal, OneByteIsALiteral) {
    for (const std::uint8_t byte : {0x00, 0x5A, 0xFF}) {
        const Bytes stream = encode({byte});
        const lzs_test::Decoded decoded = lzs_test::decodeStream(stream);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        ASSERT_EQ(decoded.tokens.size(), 1u);
        EXPECT_EQ(decoded.tokens[0], lzs_test::literal(byte));
        EXPECT_EQ(decodeWhole(stream, 1), Bytes{byte});
    }
}

TEST(LzsOptimal, RefusesRoomBelowTheBound) {
    const Bytes block = randomBytes(100, 3);
    Bytes out(optimalBound(block.size()) - 1);
    EXPECT_EQ(compressOptimal(block, out, sharedWorkspace()), 0u);
}

TEST(LzsOptimal, RandomBlocksStayWithinTheBound) {
    for (const std::size_t size : {2u, 17u, 1000u, 70000u}) {
        const Bytes block = randomBytes(size, static_cast<std::uint32_t>(size));
        const Bytes stream = encode(block);
        EXPECT_LE(stream.size(), optimalBound(size));
        EXPECT_EQ(decodeWhole(stream, size), block) << size;
    }
}

TEST(LzsOptimal, BlocksComeBackWhole) {
    const std::vector<Bytes> blocks = {
        textBytes(5000),
        ditheredPage(200000),
        repeated(0, 300000),
        concat({repeated(0xFF, 1), repeated(0, 70000), textBytes(3000, 9), repeated(0xAA, 100)}),
        concat({randomBytes(3000, 5), repeated('x', 5000), randomBytes(100, 6)}),
        // Longer than a piece of the parse, with matches across its seams.
        textBytes(200000, 11),
    };
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        const Bytes stream = encode(blocks[k]);
        const lzs_test::Decoded decoded = lzs_test::decodeStream(stream);
        ASSERT_TRUE(decoded.ok) << "block " << k << ": " << decoded.error;
        EXPECT_EQ(decoded.streamBytes, stream.size()) << "block " << k;
        EXPECT_TRUE(decoded.paddingIsZero) << "block " << k;
        EXPECT_EQ(decodeWhole(stream, blocks[k].size()), blocks[k]) << "block " << k;
    }
}

TEST(LzsOptimal, LongRunIsOneMatch) {
    const Bytes block = repeated('a', 100000);
    const lzs_test::Decoded decoded = lzs_test::decodeStream(encode(block));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_EQ(decoded.tokens.size(), 2u);
    EXPECT_EQ(decoded.tokens[0], lzs_test::literal('a'));
    EXPECT_EQ(decoded.tokens[1], lzs_test::match(1, 99999));
}

TEST(LzsOptimal, StreamsCutAtEveryByteDecode) {
    const std::vector<Bytes> blocks = {textBytes(400, 3), ditheredPage(700), randomBytes(150, 8),
                                       concat({repeated(7, 40), textBytes(60, 4), repeated(7, 40)})};
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        const Bytes stream = encode(blocks[k]);
        for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
            // The end marker is in the last byte: a cut there leaves no second piece.
            const std::vector<std::size_t> pieces = cut == stream.size()
                                                        ? std::vector<std::size_t>{cut}
                                                        : std::vector<std::size_t>{cut, stream.size() - cut};
            EXPECT_EQ(decodeInPieces(stream, pieces, blocks[k].size()), blocks[k])
                << "block " << k << " cut at " << cut;
            if (testing::Test::HasFailure()) return;
        }
    }
}

TEST(LzsOptimal, CostsTheFewestBits) {
    // Small alphabets make many overlapping matches of every length.
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        Bytes block = randomBytes(120 + 20 * seed, seed);
        const std::uint8_t symbols = static_cast<std::uint8_t>(2 + seed % 3);
        for (std::uint8_t& byte : block) byte = static_cast<std::uint8_t>(byte % symbols);
        const Bytes stream = encode(block);
        EXPECT_EQ(stream.size(), (fewestBits(block) + 7) / 8) << "seed " << seed;
        EXPECT_EQ(decodeWhole(stream, block.size()), block) << "seed " << seed;
    }
    // Short and long offsets both: text over more than a window.
    const Bytes text = textBytes(2600, 21);
    EXPECT_EQ(encode(text).size(), (fewestBits(text) + 7) / 8);
}

// Size of the exact compressor's stream for block: one call, flag 1, the
// largest search budget.
std::size_t greedyStreamSize(Bytes block) {
    const auto history = std::make_unique<huecl::lzs::CompressionHistory>();
    huecl::lzs::initCompressionHistory(history.get());
    Bytes output(block.size() * 2 + 64);
    std::uint8_t* src = block.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(block.size());
    std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
    const huecl::lzs::CallerVariables caller{&src, &dst, &srcCount, &dstCount};
    EXPECT_EQ(huecl::lzs::compress(caller, history.get(), huecl::lzs::compress_flag::kCloseAtEnd, 255), 5u);
    return output.size() - dstCount;
}

TEST(LzsOptimal, NeverLongerThanTheGreedyStreams) {
    for (const Bytes& block : {textBytes(60000, 2), randomBytes(20000, 4), ditheredPage(30000)}) {
        EXPECT_LE(encode(block).size(), greedyStreamSize(block));
    }
}

// A group of distinct bytes, seen again exactly `distance` bytes later,
// with bytes between that match nothing of it.
Bytes groupAgainAt(std::size_t distance) {
    const Bytes group = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Bytes block = group;
    std::uint32_t state = 77;
    while (block.size() < distance) block.push_back(static_cast<std::uint8_t>(0x80 | testsupport::nextRandom(state)));
    block.insert(block.end(), group.begin(), group.end());
    return block;
}

TEST(LzsOptimal, ReachesTheFarEndOfTheWindow) {
    const Bytes block = groupAgainAt(2047);
    const Bytes stream = encode(block);
    const lzs_test::Decoded decoded = lzs_test::decodeStream(stream);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.tokens.back(), lzs_test::match(2047, 12));
    EXPECT_EQ(decodeWhole(stream, block.size()), block);
}

TEST(LzsOptimal, DoesNotReachBeyondTheWindow) {
    const Bytes block = groupAgainAt(2048);
    const Bytes stream = encode(block);
    const lzs_test::Decoded decoded = lzs_test::decodeStream(stream);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    for (std::size_t k = decoded.tokens.size() - 12; k < decoded.tokens.size(); ++k) {
        EXPECT_EQ(decoded.tokens[k], lzs_test::literal(static_cast<std::uint8_t>(k + 13 - decoded.tokens.size())));
    }
    EXPECT_EQ(decodeWhole(stream, block.size()), block);
}

TEST(LzsOptimal, APairSeenLongAgoIsNoMatch) {
    // The finder keeps the low 16 bits of a pair's newest position: a pair
    // last seen 65536 + 100 bytes back reads as 100 bytes back, where the
    // bytes are others. Taken as a match, it would decode to zeros.
    Bytes block(66000, 0);
    const std::size_t first = 10, again = first + 65536 + 100;
    block[first] = block[again] = 'A';
    block[first + 1] = block[again + 1] = 'B';
    const Bytes stream = encode(block);
    EXPECT_EQ(decodeWhole(stream, block.size()), block);
    // Nor is a pair never seen before, whose empty entry reads as near for
    // positions 63488 (65536 less the 2048 the positions count from) and on.
    Bytes unseen(70000, 7);
    unseen[63488 + 100] = 'x';
    unseen[63488 + 101] = 'y';
    EXPECT_EQ(decodeWhole(encode(unseen), unseen.size()), unseen);
}

TEST(LzsOptimal, AWorkspaceKeepsNothingBetweenBlocks) {
    // The second block would find matches in the first one if the finder
    // remembered it.
    const Bytes first = textBytes(50000, 31);
    const Bytes second = Bytes(first.begin() + 40000, first.end());
    OptimalWorkspace& used = sharedWorkspace();
    encode(first, used);
    const auto fresh = std::make_unique<OptimalWorkspace>();
    EXPECT_EQ(encode(second, used), encode(second, *fresh));
}

}  // namespace
