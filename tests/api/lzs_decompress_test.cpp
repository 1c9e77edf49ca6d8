// LZS_Decompress through the shipped library, on streams built here token
// by token, so that every expected byte is known without the compressor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "huecl32.h"
#include "support/lzs_stream_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

using StreamBuilder = testsupport::LzsStreamBuilder;

struct History {
    History() : area(LZS_SizeOfDecompressionHistory(), 0xA5) {
        EXPECT_EQ(LZS_InitDecompressionHistory(area.data()), 1u);
    }
    void* get() { return area.data(); }
    Bytes area;
};

struct Decoded {
    Bytes output;
    std::vector<std::uint32_t> results;
    std::size_t sourceUsed = 0;  // where the source was handed back after the end marker
    bool ended = false;
    bool refused = false;
};

// Feeds the stream in pieces of sourcePiece bytes and offers output room in
// pieces of destinationPiece bytes of one buffer, as a host loop would: it
// only moves on what the results hand back.
Decoded decodeInPieces(const Bytes& stream, std::size_t sourcePiece, std::size_t destinationPiece, void* history,
                       std::uint32_t flags = 0, std::size_t capacity = 1 << 20) {
    Decoded decoded;
    Bytes source = stream;
    source.push_back(0xEE);  // never part of a piece; catches reads past the count
    Bytes output(capacity + 1, 0xCC);
    std::uint8_t* src = source.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(std::min(sourcePiece, stream.size()));
    std::uint8_t* dst = output.data();
    std::uint32_t dstCount = static_cast<std::uint32_t>(std::min(destinationPiece, capacity));
    for (int guard = 0; guard < 10'000'000; ++guard) {
        const std::uint32_t result = LZS_Decompress(&src, &dst, &srcCount, &dstCount, history, flags);
        decoded.results.push_back(result);
        if (result == 0) {
            decoded.refused = true;
            break;
        }
        if (result & LZS_RESULT_STREAM_END) {
            decoded.ended = true;
            decoded.sourceUsed = static_cast<std::size_t>(src - source.data());
            decoded.output.assign(output.data(), dst);
            break;
        }
        if (result & LZS_RESULT_SOURCE_EMPTY) {
            const std::size_t used = static_cast<std::size_t>(src - source.data());
            EXPECT_EQ(srcCount, 0u);
            srcCount = static_cast<std::uint32_t>(std::min(sourcePiece, stream.size() - used));
        }
        if (result & LZS_RESULT_DEST_FULL) {
            EXPECT_EQ(dstCount, 0u);
            const std::size_t written = static_cast<std::size_t>(dst - output.data());
            if (written >= capacity) break;
            dstCount = static_cast<std::uint32_t>(std::min(destinationPiece, capacity - written));
        }
    }
    EXPECT_EQ(output[capacity], 0xCC) << "wrote past the output room";
    return decoded;
}

Decoded decodeWhole(const Bytes& stream, std::uint32_t flags = 0) {
    History history;
    return decodeInPieces(stream, stream.size(), 1 << 20, history.get(), flags);
}

// A stream of random tokens that a conforming encoder could have written.
StreamBuilder randomStream(std::uint32_t seed, std::size_t tokens, std::uint32_t maxLength = 40) {
    std::mt19937 random(seed);
    StreamBuilder builder;
    for (std::size_t index = 0; index < tokens; ++index) {
        const std::size_t held = builder.plainSize();
        if (held == 0 || random() % 3 == 0) {
            builder.literal(static_cast<std::uint8_t>(random() % 7 == 0 ? random() : 'a' + random() % 4));
        } else {
            const std::uint32_t reach = static_cast<std::uint32_t>(std::min<std::size_t>(held, 2047));
            const std::uint32_t offset =
                random() % 4 == 0 ? 1 + random() % std::min<std::uint32_t>(reach, 8) : 1 + random() % reach;
            const std::uint32_t longest = random() % 10 == 0 ? 400 : maxLength;
            builder.match(offset, 2 + random() % longest);
        }
    }
    return builder.end();
}

// ---- The stream format --------------------------------------------------------

TEST(LzsDecompressFormat, EndMarkerAloneDecodesToNothing) {
    History history;
    Bytes stream = {0xC0, 0x00};
    Bytes output(8, 0x55);
    std::uint8_t* src = stream.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = 2;
    std::uint32_t dstCount = 8;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 5u);
    EXPECT_EQ(src, stream.data() + 2);
    EXPECT_EQ(srcCount, 0u);
    EXPECT_EQ(dst, output.data());
    EXPECT_EQ(dstCount, 8u);
    EXPECT_EQ(output, Bytes(8, 0x55));
}

TEST(LzsDecompressFormat, EveryLengthCodeDecodes) {
    for (std::uint32_t length : {2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 21u, 22u, 23u, 24u, 37u, 38u, 300u, 4000u}) {
        StreamBuilder builder;
        builder.literal(0x41).match(1, length).end();
        const Decoded decoded = decodeWhole(builder.stream());
        ASSERT_TRUE(decoded.ended) << length;
        EXPECT_EQ(decoded.output, Bytes(length + 1, 0x41)) << length;
    }
}

TEST(LzsDecompressFormat, LengthCodesHaveTheirDocumentedBits) {
    // literal 'A' (0 01000001), match offset 1 (11 0000001) of length 10:
    // 1111 0010, then the end marker 110000000 and padding.
    const Bytes stream = {0x20, 0xE0, 0x7C, 0xB0, 0x00};
    const Decoded decoded = decodeWhole(stream);
    ASSERT_TRUE(decoded.ended);
    EXPECT_EQ(decoded.output, Bytes(11, 0x41));
    EXPECT_EQ(decoded.sourceUsed, stream.size());
}

TEST(LzsDecompressFormat, ShortAndLongOffsetFormsReachTheSameBytes) {
    for (std::uint32_t offset : {1u, 2u, 3u, 4u, 7u, 8u, 9u, 127u, 128u, 1000u, 2047u}) {
        for (bool forceLong : {false, true}) {
            StreamBuilder builder;
            for (std::uint32_t index = 0; index < offset; ++index)
                builder.literal(static_cast<std::uint8_t>(index * 37 + 11));
            builder.match(offset, 50, forceLong).end();
            const Decoded decoded = decodeWhole(builder.stream());
            ASSERT_TRUE(decoded.ended) << offset;
            EXPECT_EQ(decoded.output, builder.output()) << offset << (forceLong ? " long" : " short");
        }
    }
}

TEST(LzsDecompressFormat, MarkerEndingOnAByteBoundaryHasNoPadding) {
    // Seven literals (63 bits) and the marker (9 bits) fill nine bytes; the
    // second stream starts in the tenth.
    StreamBuilder first;
    for (int index = 0; index < 7; ++index) first.literal(static_cast<std::uint8_t>('a' + index));
    first.end();
    ASSERT_EQ(first.stream().size(), 9u);
    StreamBuilder second;
    second.literal('z').end();
    Bytes both = first.stream();
    const Bytes tail = second.stream();
    both.insert(both.end(), tail.begin(), tail.end());

    History history;
    Bytes output(64);
    std::uint8_t* src = both.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(both.size());
    std::uint32_t dstCount = 64;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 4u);
    EXPECT_EQ(src, both.data() + 9);
    EXPECT_EQ(srcCount, both.size() - 9);
    EXPECT_EQ(Bytes(output.data(), dst), first.plain());
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 5u);
    EXPECT_EQ(dst, output.data() + 8);
    EXPECT_EQ(output[7], 'z');
}

// ---- Resuming across calls ----------------------------------------------------

TEST(LzsResumeAcrossCalls, AnySplitOfSourceAndRoomGivesTheSameBytes) {
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        const StreamBuilder builder = randomStream(seed, 700);
        const Bytes stream = builder.stream();
        for (std::size_t sourcePiece :
             {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}, std::size_t{64}, stream.size()}) {
            for (std::size_t destinationPiece : {1u, 2u, 3u, 15u, 16u, 17u, 100u, 1u << 20}) {
                History history;
                const Decoded decoded = decodeInPieces(stream, sourcePiece, destinationPiece, history.get());
                ASSERT_TRUE(decoded.ended) << seed << " " << sourcePiece << " " << destinationPiece;
                EXPECT_EQ(decoded.sourceUsed, stream.size());
                ASSERT_EQ(decoded.output, builder.plain()) << seed << " " << sourcePiece << " " << destinationPiece;
            }
        }
    }
}

TEST(LzsResumeAcrossCalls, OneByteOfRoomReportsFullUntilTheEnd) {
    const StreamBuilder builder = randomStream(42, 300);
    History history;
    const Decoded decoded = decodeInPieces(builder.stream(), builder.stream().size(), 1, history.get());
    ASSERT_TRUE(decoded.ended);
    EXPECT_EQ(decoded.output, builder.plain());
    for (std::size_t call = 0; call + 1 < decoded.results.size(); ++call) {
        ASSERT_EQ(decoded.results[call] & LZS_RESULT_DEST_FULL, LZS_RESULT_DEST_FULL) << call;
    }
    // The call that writes the last byte also reads the marker behind it.
    EXPECT_EQ(decoded.results.back(), 7u);
}

TEST(LzsResumeAcrossCalls, LongMatchIntoSmallBufferContinuesInLaterCalls) {
    StreamBuilder builder;
    builder.literal('q').match(1, 300).end();
    History history;
    Bytes stream = builder.stream();
    Bytes output(302, 0);
    std::uint8_t* src = stream.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(stream.size());
    std::uint8_t* dst = output.data();
    std::uint32_t dstCount = 100;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 2u);
    EXPECT_EQ(src, stream.data()) << "the source pair stays saved inside the history";
    EXPECT_EQ(dst, output.data() + 100);
    dstCount = 100;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 2u);
    // The last 101 bytes of the match fill the room exactly; the end marker
    // still lies in the source, so the call reports only the full output.
    dstCount = 101;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 2u);
    dstCount = 1;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 5u);
    EXPECT_EQ(src, stream.data() + stream.size());
    EXPECT_EQ(dst, output.data() + 301);
    EXPECT_EQ(Bytes(output.begin(), output.begin() + 301), Bytes(301, 'q'));
    EXPECT_EQ(output[301], 0);
}

TEST(LzsResumeAcrossCalls, OutputBuffersNeedNotBeNeighbours) {
    const StreamBuilder builder = randomStream(7, 2000, 60);
    Bytes stream = builder.stream();
    History history;
    Bytes joined;
    std::uint8_t* src = stream.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(stream.size());
    std::mt19937 random(3);
    for (int guard = 0; guard < 100000; ++guard) {
        Bytes piece(1 + random() % 700, 0);
        std::uint8_t* dst = piece.data();
        std::uint32_t dstCount = static_cast<std::uint32_t>(piece.size());
        const std::uint32_t result = LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0);
        ASSERT_NE(result, 0u);
        joined.insert(joined.end(), piece.data(), dst);
        if (result & LZS_RESULT_STREAM_END) break;
        ASSERT_EQ(result & LZS_RESULT_DEST_FULL, LZS_RESULT_DEST_FULL);
    }
    EXPECT_EQ(joined, builder.plain());
}

TEST(LzsResumeAcrossCalls, OutputFullExactlyAtTheMarkerHandsBackTheByteAfterPadding) {
    StreamBuilder first;
    first.literal('a').literal('b').match(2, 6).end();
    StreamBuilder second;
    second.literal('c').end();
    Bytes both = first.stream();
    both.insert(both.end(), second.stream().begin(), second.stream().end());
    const std::size_t firstSize = first.stream().size();
    for (std::size_t split = 1; split <= both.size(); ++split) {
        History history;
        Bytes output(16, 0);
        std::uint8_t* src = both.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(split);
        std::uint8_t* dst = output.data();
        std::uint32_t dstCount = 8;
        std::uint32_t result = 0;
        for (int call = 0; call < 20 && !(result & LZS_RESULT_STREAM_END); ++call) {
            result = LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0);
            ASSERT_NE(result, 0u);
            if ((result & LZS_RESULT_SOURCE_EMPTY) && !(result & LZS_RESULT_STREAM_END)) {
                srcCount = static_cast<std::uint32_t>(both.size() - static_cast<std::size_t>(src - both.data()));
            }
            // A marker still in the source is read only by a call with room.
            if ((result & LZS_RESULT_DEST_FULL) && !(result & LZS_RESULT_STREAM_END)) dstCount = 8;
        }
        ASSERT_TRUE(result & LZS_RESULT_STREAM_END) << split;
        EXPECT_EQ(src, both.data() + firstSize) << split;
        EXPECT_EQ(dst, output.data() + 8) << split;
        EXPECT_EQ(Bytes(output.begin(), output.begin() + 8), first.plain());
        EXPECT_EQ(Bytes(output.begin() + 8, output.end()), Bytes(8, 0)) << split;
    }
}

TEST(LzsResumeAcrossCalls, ZeroSourceOnAFreshHistoryReturnsOneAndChangesNothing) {
    History history;
    const Bytes before = history.area;
    std::uint8_t byte = 0;
    std::uint8_t* src = &byte;
    std::uint8_t* dst = &byte;
    std::uint32_t srcCount = 0;
    std::uint32_t dstCount = 1;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 1u);
    EXPECT_EQ(history.area, before);
    EXPECT_EQ(dstCount, 1u);
}

TEST(LzsResumeAcrossCalls, CarriedBytesDecodeInACallWithoutNewSource) {
    StreamBuilder builder;
    builder.literal('x').literal('y').end();  // 27 bits: four bytes
    Bytes stream = builder.stream();
    History history;
    Bytes output(2);
    std::uint8_t* src = stream.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(stream.size());
    std::uint8_t* dst = output.data();
    std::uint32_t dstCount = 1;
    // One byte of room: 'x' goes out, 'y' waits in the window with the end
    // marker read behind it, so the source is used up already.
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 3u);
    EXPECT_EQ(srcCount, 0u);
    dstCount = 1;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 7u);
    EXPECT_EQ(output, (Bytes{'x', 'y'}));
}

// ---- Streams back to back and stored blocks -------------------------------------

TEST(LzsStreamsBackToBack, EachCallEndsAtItsStreamsPadding) {
    const StreamBuilder first = randomStream(11, 50);
    const StreamBuilder second = randomStream(12, 50);
    Bytes both = first.stream();
    both.insert(both.end(), second.stream().begin(), second.stream().end());
    History history;
    Bytes output(1 << 16);
    std::uint8_t* src = both.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(both.size());
    std::uint8_t* dst = output.data();
    std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 4u);
    EXPECT_EQ(src, both.data() + first.stream().size());
    EXPECT_EQ(Bytes(output.data(), dst), first.plain());
    std::uint8_t* const secondStart = dst;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 5u);
    EXPECT_EQ(Bytes(secondStart, dst), second.plain());
}

TEST(LzsStreamsBackToBack, FlagFourLetsTheNextStreamReferToThePrevious) {
    StreamBuilder first;
    for (int index = 0; index < 40; ++index) first.literal(static_cast<std::uint8_t>(index * 5));
    first.end();
    StreamBuilder second;
    second.assumeHistory(first.plain()).match(40, 40).literal('!').end();
    Bytes both = first.stream();
    both.insert(both.end(), second.stream().begin(), second.stream().end());

    History history;
    const Decoded kept = decodeInPieces(both, both.size(), 1 << 20, history.get(), 4);
    ASSERT_TRUE(kept.ended);
    const Decoded next = decodeInPieces(second.stream(), 3, 7, history.get(), 4);
    ASSERT_TRUE(next.ended);
    EXPECT_EQ(next.output, second.output());

    // Without flag 4 the reference reaches before everything held: refused.
    History fresh;
    ASSERT_TRUE(decodeInPieces(first.stream(), 100, 100, fresh.get(), 0).ended);
    EXPECT_TRUE(decodeInPieces(second.stream(), 100, 100, fresh.get(), 0).refused);
}

TEST(LzsStoredBlock, BlockIsCopiedAndItsTailBecomesHistory) {
    Bytes block(3000);
    for (std::size_t index = 0; index < block.size(); ++index)
        block[index] = static_cast<std::uint8_t>(index * 7 + index / 13);
    History history;
    Bytes output(3000, 0);
    std::uint8_t* src = block.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = 3000;
    std::uint32_t dstCount = 3000;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), LZS_FLAG_STORED_BLOCK), 3u);
    EXPECT_EQ(src, block.data() + 3000);
    EXPECT_EQ(dst, output.data() + 3000);
    EXPECT_EQ(srcCount, 0u);
    EXPECT_EQ(dstCount, 0u);
    EXPECT_EQ(output, block);

    StreamBuilder stream;
    stream.assumeHistory(block).match(2047, 30).match(1, 5).match(2000, 9).end();
    const Decoded decoded = decodeInPieces(stream.stream(), 2, 5, history.get());
    ASSERT_TRUE(decoded.ended);
    EXPECT_EQ(decoded.output, stream.output());

    // One byte further back than the block's last 2047 is refused.
    History again;
    std::uint8_t* src2 = block.data();
    std::uint8_t* dst2 = output.data();
    std::uint32_t count2 = 3000;
    std::uint32_t room2 = 3000;
    ASSERT_EQ(LZS_Decompress(&src2, &dst2, &count2, &room2, again.get(), LZS_FLAG_STORED_BLOCK), 3u);
    const Bytes tooFar = StreamBuilder().bits(0b10, 2).bits(0, 11).bits(0, 2).end().stream();
    EXPECT_TRUE(decodeInPieces(tooFar, 10, 10, again.get()).refused);
}

TEST(LzsStoredBlock, RefusedWhenCountsDifferOrAMatchIsUnfinished) {
    History history;
    Bytes block(10, 1);
    Bytes output(20);
    std::uint8_t* src = block.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = 10;
    std::uint32_t dstCount = 20;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), LZS_FLAG_STORED_BLOCK), 0u);
    EXPECT_EQ(srcCount, 10u);

    StreamBuilder builder;
    builder.literal('m').match(1, 50).end();
    Bytes stream = builder.stream();
    std::uint8_t* streamPos = stream.data();
    std::uint32_t streamCount = static_cast<std::uint32_t>(stream.size());
    dstCount = 5;
    // The whole stream is decoded into the window, end marker included.
    ASSERT_EQ(LZS_Decompress(&streamPos, &dst, &streamCount, &dstCount, history.get(), 0), 3u);
    srcCount = 4;
    dstCount = 4;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), LZS_FLAG_STORED_BLOCK), 0u);
}

// ---- Refusals and corrupt input ---------------------------------------------------

TEST(LzsRejectsCorruptInput, FlagsOutsideTwoAndFourAreRefused) {
    for (std::uint32_t flags : {1u, 3u, 8u, 16u, 32u, 0x80000000u}) {
        History history;
        Bytes stream = {0xC0, 0x00};
        Bytes output(4);
        std::uint8_t* src = stream.data();
        std::uint8_t* dst = output.data();
        std::uint32_t srcCount = 2;
        std::uint32_t dstCount = 4;
        EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), flags), 0u) << flags;
        EXPECT_EQ(src, stream.data());
        EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 5u) << flags;
    }
}

TEST(LzsRejectsCorruptInput, UninitialisedHistoryIsRefused) {
    Bytes area(LZS_SizeOfDecompressionHistory(), 0);
    Bytes stream = {0xC0, 0x00};
    std::uint8_t* src = stream.data();
    std::uint8_t* dst = stream.data();
    std::uint32_t srcCount = 2;
    std::uint32_t dstCount = 0;
    EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, area.data(), 0), 0u);
    EXPECT_EQ(srcCount, 2u);
}

TEST(LzsRejectsCorruptInput, OffsetBeforeTheHistoryPoisonsUntilInit) {
    StreamBuilder reachesFirstByte;
    reachesFirstByte.literal('a').literal('b').literal('c').match(3, 10).end();
    EXPECT_EQ(decodeWhole(reachesFirstByte.stream()).output, reachesFirstByte.plain());

    const Bytes oneTooFar =
        StreamBuilder().literal('a').literal('b').literal('c').bits(0b11, 2).bits(4, 7).bits(0, 2).end().stream();
    History history;
    for (std::size_t piece : {std::size_t{1}, oneTooFar.size()}) {
        ASSERT_EQ(LZS_InitDecompressionHistory(history.get()), 1u);
        const Decoded decoded = decodeInPieces(oneTooFar, piece, 1 << 20, history.get());
        EXPECT_TRUE(decoded.refused) << piece;
        // Even a valid stream is refused now, with nothing handed back.
        Bytes valid = {0xC0, 0x00};
        std::uint8_t* src = valid.data();
        std::uint8_t* dst = valid.data();
        std::uint32_t srcCount = 2;
        std::uint32_t dstCount = 2;
        EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 0u);
        EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), LZS_FLAG_STORED_BLOCK), 0u);
        EXPECT_EQ(src, valid.data());
        EXPECT_EQ(srcCount, 2u);
        ASSERT_EQ(LZS_InitDecompressionHistory(history.get()), 1u);
        EXPECT_EQ(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 5u);
    }
}

TEST(LzsRejectsCorruptInput, LongFormOffsetZeroIsRefused) {
    const Bytes stream = StreamBuilder().literal('a').bits(0b10, 2).bits(0, 11).bits(0b01, 2).end().stream();
    EXPECT_TRUE(decodeWhole(stream).refused);
}

// Every file in tests/data/lzs-errors must be refused, whatever the split.
TEST(LzsRejectsCorruptInput, ErrorVectorsAreRefused) {
    const std::filesystem::path folder = std::filesystem::path(HUECL_TEST_DATA) / "lzs-errors";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const Bytes stream((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        for (std::size_t piece : {std::size_t{1}, std::size_t{3}, stream.size()}) {
            History history;
            Decoded decoded = decodeInPieces(stream, piece, 64, history.get(), 4);
            // Streams back to back: decode on until the input is used up.
            std::size_t used = decoded.sourceUsed;
            while (decoded.ended && used < stream.size()) {
                const Bytes rest(stream.begin() + static_cast<std::ptrdiff_t>(used), stream.end());
                decoded = decodeInPieces(rest, piece, 64, history.get(), 4);
                used += decoded.sourceUsed;
            }
            EXPECT_TRUE(decoded.refused) << entry.path().filename() << " piece " << piece;
        }
        ++files;
    }
    EXPECT_GE(files, 3);
}

TEST(LzsDecompressExports, HistorySizeAndInit) {
    EXPECT_EQ(LZS_SizeOfDecompressionHistory(), HUECL_LZS_DECOMPRESSION_HISTORY_SIZE);
    Bytes area(LZS_SizeOfDecompressionHistory(), 0);
    EXPECT_EQ(LZS_InitDecompressionHistory(area.data()), 1u);
}

}  // namespace
