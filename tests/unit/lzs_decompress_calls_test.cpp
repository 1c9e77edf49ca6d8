// What each call of the decompressor reports and keeps: result bits,
// handed-back positions, bytes waiting in the window or in carry. A host
// driver steers its loops by exactly these, so they are pinned call by call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "lzs/lzs_decompress.h"
#include "support/crc32.h"
#include "support/lzs_stream_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using huecl::lzs::decompress;
using huecl::lzs::probeDecompressionHistory;

constexpr std::uint32_t kSourceEmpty = 1;
constexpr std::uint32_t kDestinationFull = 2;
constexpr std::uint32_t kStreamEnd = 4;
constexpr std::uint32_t kWindowMode = 16;
constexpr std::uint32_t kCopyUnfinished = 32;

using Stream = testsupport::LzsStreamBuilder;

Stream randomStream(std::uint32_t seed, int tokens) {
    std::mt19937 random(seed);
    Stream stream;
    for (int token = 0; token < tokens; ++token) {
        if (stream.plain().empty() || random() % 3 == 0) {
            stream.literal(static_cast<std::uint8_t>('a' + random() % 5));
        } else {
            // One draw per statement: the order in which a call's arguments
            // are evaluated is left to the compiler.
            const auto reach = static_cast<std::uint32_t>(std::min<std::size_t>(stream.plain().size(), 2047));
            const std::uint32_t offset = 1 + random() % reach;
            const std::uint32_t longest = random() % 8 == 0 ? 300 : 12;
            const std::uint32_t length = 2 + random() % longest;
            stream.match(offset, length);
        }
    }
    return stream.end();
}

struct History {
    History() : area(huecl::lzs::decompressionHistorySize(), 0x5A) {
        huecl::lzs::initDecompressionHistory(area.data());
    }
    void* get() { return area.data(); }
    huecl::lzs::DecompressionProbe probe() const { return probeDecompressionHistory(area.data()); }
    Bytes area;
};

// A host loop: source in pieces of sourcePiece bytes, room in pieces of
// roomPiece bytes of one buffer; it moves on only what the results hand
// back, and checks that every result agrees with the pairs it hands back.
struct HostRun {
    Bytes output;
    std::vector<std::uint32_t> results;
    std::size_t sourceUsed = 0;
    std::uint32_t largestCarry = 0;
};

// With a trace, every call adds what a host sees of it: the result, both
// handed-back pairs (as offsets) and what the history keeps back.
HostRun runHost(const Bytes& stream, std::size_t sourcePiece, std::size_t roomPiece, History& history,
                Bytes* trace = nullptr) {
    HostRun run;
    Bytes source = stream;
    Bytes output(stream.size() * 400 + 64, 0);
    std::uint8_t* src = source.data();
    auto srcCount = static_cast<std::uint32_t>(std::min(sourcePiece, stream.size()));
    std::uint8_t* dst = output.data();
    auto dstCount = static_cast<std::uint32_t>(roomPiece);
    for (int call = 0; call < 1'000'000; ++call) {
        const std::uint32_t result = decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0);
        run.results.push_back(result);
        EXPECT_NE(result, 0u);
        if (result == 0) break;
        run.largestCarry = std::max(run.largestCarry, history.probe().carryCount);
        if (trace) {
            const huecl::lzs::DecompressionProbe probe = history.probe();
            for (const std::uint32_t word :
                 {result, static_cast<std::uint32_t>(src - source.data()), srcCount,
                  static_cast<std::uint32_t>(dst - output.data()), dstCount, probe.carryCount, probe.pendingCount}) {
                for (int shift = 0; shift < 32; shift += 8) trace->push_back(static_cast<std::uint8_t>(word >> shift));
            }
        }
        // Bit 1: the whole source is used; bit 2: the whole room is used.
        if (result & kSourceEmpty) {
            EXPECT_EQ(srcCount, 0u);
        }
        if (result & kDestinationFull) {
            EXPECT_EQ(dstCount, 0u);
        }
        // The end comes once, with both pairs at their true positions.
        if (result & kStreamEnd) {
            EXPECT_LE(dst, output.data() + output.size());
        }
        if (result & kStreamEnd) {
            run.sourceUsed = static_cast<std::size_t>(src - source.data());
            run.output.assign(output.data(), dst);
            return run;
        }
        if (result & kSourceEmpty) {
            const auto used = static_cast<std::size_t>(src - source.data());
            srcCount = static_cast<std::uint32_t>(std::min(sourcePiece, stream.size() - used));
        }
        if (result & kDestinationFull) dstCount = static_cast<std::uint32_t>(roomPiece);
    }
    ADD_FAILURE() << "the stream did not end";
    return run;
}

TEST(LzsDecompressCallResults, EndMarkerAloneReturnsFiveWithBothPairsHandedBack) {
    History history;
    Bytes stream = {0xC0, 0x00};
    Bytes output(10, 0);
    std::uint8_t* src = stream.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = 2;
    std::uint32_t dstCount = 10;
    EXPECT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), kSourceEmpty | kStreamEnd);
    EXPECT_EQ(src, stream.data() + 2);
    EXPECT_EQ(srcCount, 0u);
    EXPECT_EQ(dst, output.data());
    EXPECT_EQ(dstCount, 10u);
    EXPECT_EQ(history.probe().control, 0u);
}

TEST(LzsDecompressCallResults, ZeroSourceBetweenStreamsChangesNothing) {
    History history;
    Bytes stream = {0xC0, 0x00};
    Bytes output(4, 0);
    std::uint8_t* src = stream.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = 2;
    std::uint32_t dstCount = 4;
    ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), 5u);
    const Bytes before = history.area;
    EXPECT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), kSourceEmpty);
    EXPECT_EQ(history.area, before);
    EXPECT_EQ(dst, output.data());
    EXPECT_EQ(dstCount, 4u);
}

TEST(LzsDecompressCallResults, TwoStreamsInOneSourceReturnFourThenFive) {
    const Stream first = randomStream(31, 60);
    const Stream second = randomStream(32, 60);
    Bytes both = first.stream();
    both.insert(both.end(), second.stream().begin(), second.stream().end());
    History history;
    Bytes output(1 << 16);
    std::uint8_t* src = both.data();
    auto srcCount = static_cast<std::uint32_t>(both.size());
    std::uint8_t* dst = output.data();
    auto dstCount = static_cast<std::uint32_t>(output.size());
    ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), kStreamEnd);
    EXPECT_EQ(src, both.data() + first.stream().size());
    EXPECT_EQ(srcCount, second.stream().size());
    EXPECT_EQ(Bytes(output.data(), dst), first.plain());
    std::uint8_t* const secondStart = dst;
    ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), kSourceEmpty | kStreamEnd);
    EXPECT_EQ(Bytes(secondStart, dst), second.plain());
}

TEST(LzsDecompressSourcePieces, OneByteAtATimeReturnsOneUntilTheEndAndCarriesAtMostThree) {
    for (std::uint32_t seed = 1; seed <= 5; ++seed) {
        const Stream stream = randomStream(seed, 300);
        History history;
        const HostRun run = runHost(stream.stream(), 1, 1 << 20, history);
        ASSERT_EQ(run.output, stream.plain()) << seed;
        EXPECT_EQ(run.sourceUsed, stream.stream().size());
        EXPECT_LE(run.largestCarry, 3u);
        EXPECT_GE(run.largestCarry, 1u);
        for (std::size_t call = 0; call + 1 < run.results.size(); ++call)
            ASSERT_EQ(run.results[call], kSourceEmpty) << call;
        EXPECT_EQ(run.results.back(), kSourceEmpty | kStreamEnd);
    }
}

TEST(LzsDecompressOutputRoom, OneByteOfRoomFillsEveryCallBeforeTheEnd) {
    const Stream stream = randomStream(77, 200);
    for (std::size_t sourcePiece : {std::size_t{1}, std::size_t{5}, stream.stream().size()}) {
        History history;
        const HostRun run = runHost(stream.stream(), sourcePiece, 1, history);
        ASSERT_EQ(run.output, stream.plain());
        // A call before the end either fills its byte or takes all its source.
        for (std::size_t call = 0; call + 1 < run.results.size(); ++call) {
            ASSERT_NE(run.results[call] & (kDestinationFull | kSourceEmpty), 0u) << call;
            if (sourcePiece == stream.stream().size()) {
                ASSERT_TRUE(run.results[call] & kDestinationFull) << call;
            }
        }
        EXPECT_TRUE(run.results.back() & kStreamEnd);
    }
}

TEST(LzsDecompressOutputRoom, LongMatchStopsFullAndTheWindowDeliversTheRest) {
    Stream stream;
    stream.literal('q').match(1, 300).end();
    History history;
    Bytes output(302, 0);
    std::uint8_t* src = stream.stream().data();
    auto srcCount = static_cast<std::uint32_t>(stream.stream().size());
    std::uint8_t* dst = output.data();
    std::uint32_t dstCount = 100;
    ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), kDestinationFull);
    // The copy goes on inside the window on the next call.
    EXPECT_EQ(history.probe().control & (kWindowMode | kCopyUnfinished), kWindowMode | kCopyUnfinished);
    EXPECT_EQ(dst, output.data() + 100);
    dstCount = 50;
    ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), kDestinationFull);
    EXPECT_EQ(history.probe().pendingCount, 151u);
    EXPECT_EQ(history.probe().control & kCopyUnfinished, 0u);
    dstCount = 151;
    ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), kDestinationFull);
    dstCount = 1;
    ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), kSourceEmpty | kStreamEnd);
    EXPECT_EQ(src, stream.stream().data() + stream.stream().size());
    EXPECT_EQ(dst, output.data() + 301);
    EXPECT_EQ(Bytes(output.begin(), output.begin() + 301), Bytes(301, 'q'));
    EXPECT_EQ(output[301], 0);
}

TEST(LzsDecompressOutputRoom, TailModeKeepsBytesPendingWhenTheSourceRunsOut) {
    Stream stream;
    for (int index = 0; index < 24; ++index) stream.literal(static_cast<std::uint8_t>('A' + index));
    stream.end();
    History history;
    Bytes output(30, 0);
    std::uint8_t* src = stream.stream().data();
    std::uint32_t srcCount = 12;  // ten literals and a part of the eleventh
    std::uint8_t* dst = output.data();
    std::uint32_t dstCount = 8;  // too little room to decode into directly
    ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), kSourceEmpty);
    // Decoded into the window, not yet delivered: the room is untouched.
    EXPECT_EQ(dst, output.data());
    EXPECT_EQ(dstCount, 8u);
    EXPECT_EQ(output, Bytes(30, 0));
    EXPECT_EQ(history.probe().control & kWindowMode, kWindowMode);
    EXPECT_EQ(history.probe().pendingCount, 10u);
    EXPECT_GE(history.probe().carryCount, 1u);

    // The next call delivers eight of them without touching the source.
    srcCount = static_cast<std::uint32_t>(stream.stream().size() - 12);
    ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), kDestinationFull);
    EXPECT_EQ(Bytes(output.data(), dst), Bytes(stream.plain().begin(), stream.plain().begin() + 8));
    EXPECT_EQ(history.probe().pendingCount, 2u);

    dstCount = 22;
    ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0), kSourceEmpty | kStreamEnd);
    EXPECT_EQ(Bytes(output.data(), dst), stream.plain());
    EXPECT_EQ(src, stream.stream().data() + stream.stream().size());
}

TEST(LzsDecompressOutputRoom, TailModeFillsSmallRoomFromTheWindow) {
    const Stream stream = randomStream(5, 40);
    for (std::uint32_t room = 1; room < 16; ++room) {
        History history;
        Bytes output(stream.plain().size() + 1, 0);
        Bytes source = stream.stream();
        std::uint8_t* src = source.data();
        auto srcCount = static_cast<std::uint32_t>(source.size());
        std::uint8_t* dst = output.data();
        std::uint32_t dstCount = room;
        ASSERT_EQ(decompress(&src, &dst, &srcCount, &dstCount, history.get(), 0) & kDestinationFull, kDestinationFull);
        EXPECT_EQ(dst, output.data() + room);
        EXPECT_EQ(Bytes(output.data(), dst), Bytes(stream.plain().begin(), stream.plain().begin() + room));
        EXPECT_EQ(history.probe().pendingCount, stream.plain().size() - room) << "the rest waits in the window";
    }
}

// Every room size from 1 to 40 against every source piece from 1 to 8.
TEST(LzsDecompressSplitSweep, EveryRoomAndSourcePieceGivesTheSameBytesAndConsistentResults) {
    for (std::uint32_t seed : {3u, 4u, 9u}) {
        const Stream stream = randomStream(seed, 120);
        for (std::size_t room = 1; room <= 40; ++room) {
            for (std::size_t piece = 1; piece <= 8; ++piece) {
                History history;
                const HostRun run = runHost(stream.stream(), piece, room, history);
                ASSERT_EQ(run.output, stream.plain()) << seed << " " << room << " " << piece;
                ASSERT_EQ(run.sourceUsed, stream.stream().size());
                ASSERT_LE(run.largestCarry, 3u);
                for (std::size_t call = 0; call + 1 < run.results.size(); ++call) {
                    ASSERT_EQ(run.results[call] & kStreamEnd, 0u);
                    ASSERT_NE(run.results[call], 0u);
                }
            }
        }
    }
}

// Where each call stops depends on how the decoder groups tokens into
// 32-bit reads of the source and on the margin it keeps before the end of
// the room; the bytes come out right either way, so only the calls show a
// change. The checksums pin every call of the sweep above, for streams of
// mixed tokens and for one made mostly of matches of 5 to 7 bytes, whose
// length field may end a read.
Stream mediumMatchStream(std::uint32_t seed, int tokens) {
    std::mt19937 random(seed);
    Stream stream;
    for (int token = 0; token < tokens; ++token) {
        if (stream.plain().size() < 8 || random() % 4 == 0) {
            stream.literal(static_cast<std::uint8_t>(random()));
        } else {
            const auto reach = static_cast<std::uint32_t>(std::min<std::size_t>(stream.plain().size(), 2047));
            const std::uint32_t offset =
                random() % 2 == 0 ? 1 + random() % std::min(reach, 127u) : 1 + random() % reach;
            const std::uint32_t length = random() % 5 == 0 ? 2 + random() % 3 : 5 + random() % 3;
            stream.match(offset, length);
        }
    }
    return stream.end();
}

TEST(LzsDecompressSplitSweep, EveryCallOfTheSweepIsPinned) {
    const struct {
        Stream stream;
        std::uint32_t checksum;
    } cases[] = {
        {randomStream(3, 120), 0xe6175adeu},
        {randomStream(9, 120), 0xa8d7908bu},
        {mediumMatchStream(5, 160), 0x9bf7f985u},
        {mediumMatchStream(6, 160), 0x0a382f47u},
    };
    for (const auto& sweep : cases) {
        Bytes trace;
        for (std::size_t room = 1; room <= 40; ++room) {
            for (std::size_t piece = 1; piece <= 8; ++piece) {
                History history;
                const HostRun run = runHost(sweep.stream.stream(), piece, room, history, &trace);
                ASSERT_EQ(run.output, sweep.stream.plain()) << room << " " << piece;
            }
        }
        EXPECT_EQ(testsupport::crc32(trace), sweep.checksum) << std::hex << testsupport::crc32(trace);
    }
}

}  // namespace
