// LZS_Compress through the shipped library: worked streams, the match
// finder's choices, resumption at any output split, the three kinds of
// close, the hand-back of the caller's variables and refusals. Round trips
// are in lzs_round_trip_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/lzs_compress_test_support.h"
#include "huecl32.h"

#if !defined(_WIN32)
#  include <sys/mman.h>
#  include <unistd.h>
#endif

namespace {

using namespace lzs_test;

Bytes ascii(const char* text) { return Bytes(text, text + std::strlen(text)); }

// Filler that can never match: bytes 0x80-0xFF in a sequence in which no
// pair of neighbours occurs twice (a, b, a, b', ... for every a < b).
// Each call takes the next stretch, so two fillers never share a pair.
class Filler {
public:
    explicit Filler(std::size_t start = 0) : next_(start) {
        for (int a = 0; a < 128; ++a) {
            for (int b = a + 1; b < 128; ++b) {
                sequence_.push_back(static_cast<std::uint8_t>(0x80 + a));
                sequence_.push_back(static_cast<std::uint8_t>(0x80 + b));
            }
        }
    }
    Bytes operator()(std::size_t count) {
        Bytes bytes(sequence_.begin() + static_cast<std::ptrdiff_t>(next_),
                    sequence_.begin() + static_cast<std::ptrdiff_t>(next_ + count));
        next_ += count + 1;  // skip one so that stretches do not join up
        return bytes;
    }

private:
    std::size_t next_;
    Bytes sequence_;
};

std::uint32_t hashAt(const Bytes& bytes, std::size_t at) { return ((bytes[at] << 8) | bytes[at + 1]) % 2003u; }

std::vector<Token> matchesOf(const Decoded& decoded) {
    std::vector<Token> matches;
    for (const Token& token : decoded.tokens) {
        if (!token.literal) matches.push_back(token);
    }
    return matches;
}

// ---------------------------------------------------------------------------

TEST(LzsCompressWorkedStreams, EmptySourceIsTheEndMarkerAlone) {
    const CallOutcome outcome = compressOnce({}, LZS_FLAG_CLOSE_AT_END, 8);
    EXPECT_EQ(outcome.result, 5u);
    EXPECT_EQ(outcome.output, (Bytes{0xC0, 0x00}));
}

TEST(LzsCompressWorkedStreams, OneByteIsALiteralAndTheEndMarker) {
    const CallOutcome outcome = compressOnce({0x41}, LZS_FLAG_CLOSE_AT_END, 8);
    EXPECT_EQ(outcome.result, 5u);
    EXPECT_EQ(outcome.output, (Bytes{0x20, 0xE0, 0x00}));
}

TEST(LzsCompressWorkedStreams, HundredEqualBytesAreOneLiteralAndOneMatch) {
    const CallOutcome outcome = compressOnce(repeated(0x41, 100), LZS_FLAG_CLOSE_AT_END, 8);
    EXPECT_EQ(outcome.result, 5u);
    // literal 0x41, match offset 1 length 99 (1111 x7, 0001), end marker.
    EXPECT_EQ(outcome.output, (Bytes{0x20, 0xE0, 0x7F, 0xFF, 0xFF, 0xFC, 0x70, 0x00}));
}

TEST(LzsCompressWorkedStreams, LengthAndOffsetCodesAtTheirBoundaries) {
    // A run of n+1 equal bytes followed by five unmatchable ones codes
    // one literal and one offset-1 match of length n (the tail is literal).
    Filler filler;
    for (std::uint32_t length : {2u, 3u, 4u, 5u, 7u, 8u, 22u, 23u, 37u, 38u}) {
        const Bytes input = concat({repeated(0x55, length + 1), filler(5)});
        const CallOutcome outcome = compressOnce(input, LZS_FLAG_CLOSE_AT_END, 8);
        const Decoded decoded = decodeStream(outcome.output);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        EXPECT_EQ(decoded.output, input);
        EXPECT_EQ(matchesOf(decoded), std::vector<Token>{match(1, length)}) << "length " << length;
        EXPECT_EQ(decoded.streamBytes, outcome.output.size());
    }
    // Length 8 is 1111 0000, 22 is 1111 1110, 23 is 1111 1111 0000: the
    // stream of a 9-byte run is literal, 11 0000001 1111 0000, end marker.
    const Bytes nine = compressOnce(concat({repeated(0x00, 9), filler(5)}), 1, 0).output;
    // 0 00000000 | 11 0000001 | 1111 0000 | five literals | end marker
    ASSERT_GE(nine.size(), 4u);
    EXPECT_EQ(nine[0], 0x00);
    EXPECT_EQ(nine[1], 0x60);
    EXPECT_EQ(nine[2], 0x7C);
    EXPECT_EQ(nine[3] & 0xC0, 0x00);

    // Offset 127 takes the short form, 128 the long one.
    for (std::uint32_t offset : {127u, 128u, 2047u}) {
        const Bytes input = concat({ascii("WXYZ1"), filler(offset - 5), ascii("WXYZ2"), filler(6)});
        const Decoded decoded = decodeStream(compressOnce(input, LZS_FLAG_CLOSE_AT_END, 8).output);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        EXPECT_EQ(decoded.output, input);
        EXPECT_EQ(matchesOf(decoded), std::vector<Token>{match(offset, 4)});
        EXPECT_EQ(match(offset, 4).shortForm, offset < 128);
    }
}

TEST(LzsCompressWorkedStreams, NoMatchReachesBackMoreThan2047Bytes) {
    Filler filler;
    const Bytes input = concat({ascii("WXYZ1"), filler(2043), ascii("WXYZ2"), filler(6)});
    const Decoded decoded = decodeStream(compressOnce(input, LZS_FLAG_CLOSE_AT_END, 255).output);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.output, input);
    EXPECT_TRUE(matchesOf(decoded).empty());
}

// ---------------------------------------------------------------------------
// Match finder choices

// "ABCDEFGH" far back and "ABCD" near: at the last "ABCDEFGH" the head
// candidate is the near one (4 bytes), the older one matches all 8.
// The filler stretch is chosen so that no filler pair shares the hash of
// "AB" (which would become the head and hide both candidates).
Bytes nearShortFarLong() {
    for (std::size_t start = 0;; start += 2) {
        Filler filler(start);
        const Bytes input =
            concat({ascii("ABCDEFGH1"), filler(20), ascii("ABCD3"), filler(20), ascii("ABCDEFGH2"), filler(6)});
        std::size_t sharing = 0;
        for (std::size_t at = 0; at + 1 < input.size(); ++at) sharing += hashAt(input, at) == hashAt(input, 0);
        if (sharing == 3) return input;
    }
}
constexpr std::uint32_t kNearDistance = 25;
constexpr std::uint32_t kFarDistance = 54;

TEST(LzsMatchFinder, BudgetZeroExtendsOnlyTheHeadCandidate) {
    const Bytes input = nearShortFarLong();
    const Decoded zero = decodeStream(compressOnce(input, LZS_FLAG_CLOSE_AT_END, 0).output);
    ASSERT_TRUE(zero.ok);
    EXPECT_EQ(zero.output, input);
    const std::vector<Token> zeroMatches = matchesOf(zero);
    ASSERT_GE(zeroMatches.size(), 2u);
    EXPECT_EQ(zeroMatches[0], match(29, 4));
    EXPECT_EQ(zeroMatches[1], match(kNearDistance, 4)) << "budget 0 extends the head candidate only";
    for (std::uint32_t budget : {3u, 8u, 255u}) {
        const Decoded searched = decodeStream(compressOnce(input, LZS_FLAG_CLOSE_AT_END, budget).output);
        ASSERT_TRUE(searched.ok);
        EXPECT_EQ(searched.output, input);
        const std::vector<Token> matches = matchesOf(searched);
        ASSERT_GE(matches.size(), 2u);
        EXPECT_EQ(matches[1], match(kFarDistance, 8)) << "budget " << budget;
    }
}

TEST(LzsMatchFinder, HeadThatMatchesFourBytesUsesUpABudgetOfTwo) {
    // Four matching bytes cost two units: budget 2 ends the stage at the
    // head, budget 3 looks one candidate further.
    const Bytes input = nearShortFarLong();
    const std::vector<Token> two = matchesOf(decodeStream(compressOnce(input, 1, 2).output));
    const std::vector<Token> three = matchesOf(decodeStream(compressOnce(input, 1, 3).output));
    ASSERT_GE(two.size(), 2u);
    ASSERT_GE(three.size(), 2u);
    EXPECT_EQ(two[1], match(kNearDistance, 4));
    EXPECT_EQ(three[1], match(kFarDistance, 8));
}

TEST(LzsMatchFinder, FirstByteOfAMismatchedPairCounts) {
    // The candidate agrees on six bytes, then differs: after five bytes the
    // pair (F, x) against (F, y) still adds its equal first byte.
    Filler filler;
    const Bytes input = concat({ascii("ABCDEFx"), filler(10), ascii("ABCDEFy"), filler(6)});
    const std::vector<Token> matches = matchesOf(decodeStream(compressOnce(input, 1, 8).output));
    EXPECT_EQ(matches, std::vector<Token>{match(17, 6)});
}

TEST(LzsMatchFinder, OddByteLeftAtTheSourceEndIsNotCompared) {
    // 101 equal bytes: the match from the second byte compares 5 bytes and
    // then 47 pairs, leaving the last byte as a literal.
    const Decoded decoded = decodeStream(compressOnce(repeated(0x41, 101), 1, 8).output);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.tokens, (std::vector<Token>{literal(0x41), match(1, 99), literal(0x41)}));
}

TEST(LzsMatchFinder, EqualLengthsPreferTheNearestCandidate) {
    Filler filler;
    const Bytes input =
        concat({ascii("QRSTUV1"), filler(10), ascii("QRSTUV2"), filler(10), ascii("QRSTUV3"), filler(6)});
    const std::vector<Token> matches = matchesOf(decodeStream(compressOnce(input, 1, 255).output));
    EXPECT_EQ(matches, (std::vector<Token>{match(17, 6), match(17, 6)}));
}

TEST(LzsMatchFinder, LastFourBytesOfASourceAreLiterals) {
    // "ABCDE" again at the very end: no match starts in the last four bytes.
    Filler filler;
    const Bytes input = concat({ascii("ABCDE"), filler(10), ascii("XABCD")});
    const Decoded decoded = decodeStream(compressOnce(input, 1, 8).output);
    ASSERT_TRUE(decoded.ok);
    EXPECT_TRUE(matchesOf(decoded).empty());
    EXPECT_EQ(decoded.output, input);
}

// Positions inside a match enter the hash chains only with flag 8 or 16,
// which decides whether a later repeat finds the nearer copy.
TEST(LzsMatchFinder, FlagsDecideWhichPositionsInsideAMatchAreEntered) {
    const Bytes phrase = ascii("KLMNOPQRST");
    Filler filler;
    // phrase, gap, phrase again (one match of 10 at distance 40), gap, then
    // "OPQRST", found inside the first copy (77 back) or the second (37).
    const Bytes input = concat({phrase, filler(30), phrase, ascii("1"), filler(30), ascii("OPQRST2"), filler(6)});
    for (std::uint32_t flags : {1u, 1u | 8u}) {
        const std::vector<Token> matches = matchesOf(decodeStream(compressOnce(input, flags, 8).output));
        EXPECT_EQ(matches, (std::vector<Token>{match(40, 10), match(77, 6)})) << "flags " << flags;
    }
    for (std::uint32_t flags : {1u | 16u, 1u | 8u | 16u}) {
        const std::vector<Token> matches = matchesOf(decodeStream(compressOnce(input, flags, 8).output));
        EXPECT_EQ(matches, (std::vector<Token>{match(40, 10), match(37, 6)})) << "flags " << flags;
    }
    // Flag 8 enters only the match's last position, keyed "T#": a later
    // "T#" finds it 32 bytes back.
    const Bytes lastKey = concat({phrase, filler(30), phrase, ascii("#"), filler(30), ascii("T#@!"), filler(6)});
    EXPECT_EQ(matchesOf(decodeStream(compressOnce(lastKey, 1 | 8, 8).output)),
              (std::vector<Token>{match(40, 10), match(32, 2)}));
    EXPECT_EQ(matchesOf(decodeStream(compressOnce(lastKey, 1, 8).output)), std::vector<Token>{match(40, 10)});
    // At distance 1 flag 16 enters the last position only, like flag 8, so
    // "RR" is found at the match start (32 back), not inside the run.
    const Bytes runKey = concat({repeated('R', 12), ascii("#"), filler(20), ascii("RR$"), filler(6)});
    EXPECT_EQ(matchesOf(decodeStream(compressOnce(runKey, 1 | 16, 8).output)),
              (std::vector<Token>{match(1, 11), match(32, 2)}));
}

// ---------------------------------------------------------------------------
// Resumption

TEST(LzsResumeAcrossCalls, AnyOutputSplitGivesTheBytesOfOneCall) {
    const Bytes input = concat({textBytes(1500), ditheredPlanes(1500), repeated(0, 400), randomBytes(300, 3)});
    for (std::uint32_t flags : {1u, 1u | 4u, 1u | 8u, 1u | 16u}) {
        for (std::uint32_t budget : {0u, 8u}) {
            const Bytes whole = compressOnce(input, flags, budget).output;
            for (std::uint32_t room = 16; room <= 64; ++room) {
                std::vector<std::uint32_t> results;
                const Bytes pieces = compressInPieces(input, flags, budget, room, &results);
                ASSERT_EQ(pieces, whole) << "room " << room << " flags " << flags << " budget " << budget;
                for (std::size_t k = 0; k + 1 < results.size(); ++k) ASSERT_EQ(results[k], 2u);
                ASSERT_EQ(results.back(), 5u);
            }
        }
    }
    // A long match whose length nibbles are cut by the output end.
    Filler filler;
    const Bytes run = concat({repeated(0x33, 5000), filler(9)});
    const Bytes whole = compressOnce(run, 1, 8).output;
    for (std::uint32_t room = 16; room <= 40; ++room) ASSERT_EQ(compressInPieces(run, 1, 8, room), whole) << room;
}

TEST(LzsResumeAcrossCalls, SourceInPiecesIsOneStream) {
    // 750 bytes from three separate buffers with flags 0, 0 and 1.
    const Bytes input = concat({textBytes(400), repeated(9, 100), textBytes(250, 5)});
    const std::size_t cuts[][2] = {{250, 500}, {1, 2}, {0, 0}, {4, 745}, {747, 749}, {300, 301}};
    for (const auto& cut : cuts) {
        History history;
        Bytes output(2000);
        std::uint8_t* dst = output.data();
        std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
        const std::size_t bounds[] = {0, cut[0], cut[1], input.size()};
        std::uint32_t last = 0;
        for (int part = 0; part < 3; ++part) {
            Bytes piece(input.begin() + static_cast<std::ptrdiff_t>(bounds[part]),
                        input.begin() + static_cast<std::ptrdiff_t>(bounds[part + 1]));
            std::uint8_t* src = piece.data();
            std::uint32_t srcCount = static_cast<std::uint32_t>(piece.size());
            const std::uint32_t flags = part == 2 ? LZS_FLAG_CLOSE_AT_END : 0;
            last = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), flags, 8);
            EXPECT_EQ(srcCount, 0u);
            EXPECT_EQ(src, piece.data() + piece.size());
            if (part < 2) {
                EXPECT_EQ(last, 1u);
            }
            // The destination pair is kept in the history, not handed back
            // (the next call puts it into the caller's variables first).
            if (part == 0) {
                EXPECT_EQ(dst, output.data());
            }
        }
        ASSERT_EQ(last, 5u);
        output.resize(output.size() - dstCount);
        const Decoded decoded = decodeStream(output);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        EXPECT_EQ(decoded.output, input) << cut[0] << "," << cut[1];
    }
}

TEST(LzsResumeAcrossCalls, EverySourceSplitDecodes) {
    const Bytes input = concat({textBytes(300, 9), repeated(0xAA, 40), textBytes(200, 9)});
    for (std::size_t cut = 0; cut <= input.size(); ++cut) {
        History history;
        Bytes output(1200);
        std::uint8_t* dst = output.data();
        std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
        Bytes first(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(cut));
        Bytes second(input.begin() + static_cast<std::ptrdiff_t>(cut), input.end());
        std::uint8_t* src = first.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(first.size());
        ASSERT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 16, 8), 1u);
        src = second.data();
        srcCount = static_cast<std::uint32_t>(second.size());
        ASSERT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 17, 8), 5u);
        output.resize(output.size() - dstCount);
        const Decoded decoded = decodeStream(output);
        ASSERT_TRUE(decoded.ok) << cut;
        ASSERT_EQ(decoded.output, input) << cut;
    }
}

TEST(LzsResumeAcrossCalls, LargePiecesPassTheHistoryAreaAndTheCallersSource) {
    // Pieces larger than the history area continue in the caller's source.
    const Bytes input = concat({textBytes(9000, 1), ditheredPlanes(7000), textBytes(5000, 1)});
    for (std::size_t pieceSize : {1000u, 2046u, 2047u, 2051u, 2052u, 4097u, 6000u}) {
        History history;
        Bytes output(input.size() * 2);
        std::uint8_t* dst = output.data();
        std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
        for (std::size_t at = 0; at < input.size(); at += pieceSize) {
            Bytes piece(input.begin() + static_cast<std::ptrdiff_t>(at),
                        input.begin() + static_cast<std::ptrdiff_t>(std::min(input.size(), at + pieceSize)));
            std::uint8_t* src = piece.data();
            std::uint32_t srcCount = static_cast<std::uint32_t>(piece.size());
            const bool last = at + pieceSize >= input.size();
            ASSERT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), last ? 1 : 0, 8), last ? 5u : 1u);
        }
        output.resize(output.size() - dstCount);
        const Decoded decoded = decodeStream(output);
        ASSERT_TRUE(decoded.ok) << pieceSize;
        ASSERT_EQ(decoded.output, input) << pieceSize;
    }
}

// ---------------------------------------------------------------------------
// Closing

// Flags 3: every output buffer holds one complete stream; the unencoded
// source comes back with result 6.
TEST(LzsCloseWhenFull, EachOutputBufferIsACompleteStream) {
    const Bytes input = concat({textBytes(2000), repeated(0x44, 3000), ditheredPlanes(2000), randomBytes(400, 1)});
    for (std::uint32_t room : {16u, 17u, 23u, 64u, 200u}) {
        for (std::uint32_t extra : {0u, 4u, 16u}) {
            History history;
            Bytes input2 = input;
            std::uint8_t* src = input2.data();
            std::uint32_t srcCount = static_cast<std::uint32_t>(input2.size());
            Bytes joined;
            for (int calls = 0;; ++calls) {
                ASSERT_LT(calls, 100000);
                Bytes piece(room);
                std::uint8_t* dst = piece.data();
                std::uint32_t dstCount = room;
                const std::uint8_t* before = src;
                const std::uint32_t result =
                    LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 3 | extra, 8);
                ASSERT_TRUE(result == 5u || result == 6u) << result;
                piece.resize(room - dstCount);
                const Decoded decoded = decodeStream(piece);
                ASSERT_TRUE(decoded.ok) << decoded.error << " room " << room;
                ASSERT_EQ(decoded.streamBytes, piece.size());
                ASSERT_EQ(decoded.output.size(), static_cast<std::size_t>(src - before));
                ASSERT_TRUE(std::equal(decoded.output.begin(), decoded.output.end(), before));
                joined.insert(joined.end(), decoded.output.begin(), decoded.output.end());
                if (result == 5u) break;
                ASSERT_GT(srcCount, 0u);
            }
            EXPECT_EQ(joined, input) << "room " << room;
        }
    }
}

TEST(LzsCloseWhenFull, LongMatchCutByTheOutputEndIsShortenedAndTheRestHandedBack) {
    Filler filler;
    const Bytes input = concat({ascii("Z"), repeated(0x77, 20000), filler(9)});
    Bytes copy = input;
    std::uint8_t* src = copy.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(copy.size());
    History history;
    Bytes joined;
    for (int calls = 0; srcCount != 0 || calls == 0; ++calls) {
        ASSERT_LT(calls, 1000);
        Bytes piece(16);
        std::uint8_t* dst = piece.data();
        std::uint32_t dstCount = 16;
        const std::uint32_t result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 3, 8);
        ASSERT_NE(result, 0u);
        piece.resize(16 - dstCount);
        const Decoded decoded = decodeStream(piece);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        joined.insert(joined.end(), decoded.output.begin(), decoded.output.end());
        if (result == 5u) break;
    }
    EXPECT_EQ(joined, input);
}

TEST(LzsKeepHistory, NextStreamRefersToTheLastOne) {
    const Bytes first = textBytes(3000, 4);
    const Bytes second(first.end() - 1500, first.end());  // repeats the end of the first
    History history;
    const CallOutcome one = compressOnce(first, LZS_FLAG_CLOSE_AT_END | LZS_FLAG_KEEP_HISTORY, 8, &history);
    const CallOutcome two = compressOnce(second, LZS_FLAG_CLOSE_AT_END | LZS_FLAG_KEEP_HISTORY, 8, &history);
    ASSERT_EQ(one.result, 5u);
    ASSERT_EQ(two.result, 5u);
    const Decoded decodedOne = decodeStream(one.output);
    ASSERT_TRUE(decodedOne.ok);
    EXPECT_EQ(decodedOne.output, first);
    const Decoded decodedTwo = decodeStream(two.output, first);
    ASSERT_TRUE(decodedTwo.ok) << decodedTwo.error;
    EXPECT_EQ(decodedTwo.output, second);
    // It only decodes with the first stream as history.
    EXPECT_FALSE(decodeStream(two.output).ok);
    // Without flag 4 the second stream stands alone.
    History fresh;
    compressOnce(first, LZS_FLAG_CLOSE_AT_END, 8, &fresh);
    const CallOutcome alone = compressOnce(second, LZS_FLAG_CLOSE_AT_END, 8, &fresh);
    const Decoded decodedAlone = decodeStream(alone.output);
    ASSERT_TRUE(decodedAlone.ok) << decodedAlone.error;
    EXPECT_EQ(decodedAlone.output, second);
    EXPECT_LT(two.output.size() * 4, alone.output.size());
}

// Streams closed one after another with flag 4, each written into output
// buffers of roomPerCall bytes, all through one history.
Bytes compressStreamsWithKeptHistory(const std::vector<Bytes>& parts, std::uint32_t flags, std::uint32_t roomPerCall) {
    History history;
    Bytes joined;
    Bytes room(roomPerCall);
    for (const Bytes& part : parts) {
        Bytes input = part;
        std::uint8_t* src = input.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(input.size());
        for (std::uint32_t result = 0; (result & LZS_RESULT_STREAM_END) == 0;) {
            std::uint8_t* dst = room.data();
            std::uint32_t dstCount = roomPerCall;
            result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), flags, 8);
            if (result == 0) return {};
            joined.insert(joined.end(), room.begin(), room.begin() + (roomPerCall - dstCount));
        }
        if (srcCount != 0) return {};
    }
    return joined;
}

TEST(LzsKeepHistory, CloseFinishedInALaterCallKeepsTheWholeStreamAsHistory) {
    // Small parts that repeat each other, so that every stream refers back
    // into the ones before it, and closes that often spill into a second call.
    std::vector<Bytes> parts;
    Bytes all;
    for (std::uint32_t k = 0; k < 12; ++k) {
        parts.push_back(concat({textBytes(9 + 5 * k, 3 + k % 4), repeated(static_cast<std::uint8_t>(k), 2)}));
        all.insert(all.end(), parts.back().begin(), parts.back().end());
    }
    const std::uint32_t base = LZS_FLAG_CLOSE_AT_END | LZS_FLAG_KEEP_HISTORY;
    for (std::uint32_t flags : {base, base | 8u, base | 16u}) {
        const Bytes whole = compressStreamsWithKeptHistory(parts, flags, 4096);
        ASSERT_FALSE(whole.empty());
        for (std::uint32_t room = 16; room <= 24; ++room) {
            ASSERT_EQ(compressStreamsWithKeptHistory(parts, flags, room), whole)
                << "room " << room << " flags " << flags;
        }
        std::size_t at = 0;
        Bytes decodedSoFar;
        for (const Bytes& part : parts) {
            const Decoded decoded = decodeStream(whole.data() + at, whole.size() - at, decodedSoFar);
            ASSERT_TRUE(decoded.ok) << decoded.error;
            ASSERT_EQ(decoded.output, part);
            decodedSoFar.insert(decodedSoFar.end(), part.begin(), part.end());
            at += decoded.streamBytes;
        }
        EXPECT_EQ(decodedSoFar, all);
    }
}

// The call that finishes a close decides by its own flag 4 whether the
// next stream may refer to the closed one, also when the call that began
// the close had no flag 4.
TEST(LzsKeepHistory, FlagFourOfTheCallThatFinishesACloseDecides) {
    const Bytes first = textBytes(700, 8);
    const Bytes second(first.begin() + 100, first.begin() + 400);  // repeats the first
    // Writes `first` into outputs of room bytes; flag 4 only in call
    // `keepFrom` and later. Returns the calls it took.
    const auto writeFirst = [&](History& history, std::uint32_t room, std::size_t keepFrom, Bytes& joined) {
        Bytes copy = first;
        std::uint8_t* src = copy.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(first.size());
        std::size_t calls = 0;
        for (std::uint32_t result = 0; (result & LZS_RESULT_STREAM_END) == 0; ++calls) {
            Bytes buffer(room);
            std::uint8_t* dst = buffer.data();
            std::uint32_t dstCount = room;
            const std::uint32_t flags = LZS_FLAG_CLOSE_AT_END | (calls >= keepFrom ? LZS_FLAG_KEEP_HISTORY : 0);
            result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), flags, 8);
            if (result == 0) return std::size_t{0};
            joined.insert(joined.end(), buffer.data(), dst);
        }
        return calls;
    };
    for (std::uint32_t room = 16; room <= 48; ++room) {
        History counting;
        Bytes ignored;
        const std::size_t calls = writeFirst(counting, room, SIZE_MAX, ignored);
        ASSERT_GT(calls, 1u);
        // Only the last call, which at times only stores the rest of the
        // close that the call before began, carries flag 4.
        History history;
        Bytes joined;
        ASSERT_EQ(writeFirst(history, room, calls - 1, joined), calls);
        const std::size_t firstBytes = joined.size();
        Bytes secondCopy = second;
        std::uint8_t* src = secondCopy.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(second.size());
        Bytes buffer(second.size() * 2 + 64);
        std::uint8_t* dst = buffer.data();
        std::uint32_t dstCount = static_cast<std::uint32_t>(buffer.size());
        ASSERT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), LZS_FLAG_CLOSE_AT_END, 8), 5u);
        joined.insert(joined.end(), buffer.data(), dst);
        const Decoded one = decodeStream(joined.data(), firstBytes);
        ASSERT_TRUE(one.ok) << room << ": " << one.error;
        ASSERT_EQ(one.output, first) << room;
        const Decoded two = decodeStream(joined.data() + firstBytes, joined.size() - firstBytes, first);
        ASSERT_TRUE(two.ok) << room << ": " << two.error;
        EXPECT_EQ(two.output, second) << room;
        EXPECT_LT(joined.size() - firstBytes, 40u) << room << ": the second stream refers back";
    }
}

TEST(LzsKeepHistory, ClosedStreamsBackToBackStartOnByteBoundaries) {
    History history;
    Bytes output;
    const Bytes parts[] = {textBytes(500, 1), Bytes{}, Bytes{0x41}, textBytes(33, 2)};
    for (const Bytes& part : parts) {
        const CallOutcome outcome = compressOnce(part, LZS_FLAG_CLOSE_AT_END, 8, &history);
        ASSERT_EQ(outcome.result, 5u);
        output.insert(output.end(), outcome.output.begin(), outcome.output.end());
    }
    std::size_t at = 0;
    for (const Bytes& part : parts) {
        const Decoded decoded = decodeStream(output.data() + at, output.size() - at);
        ASSERT_TRUE(decoded.ok);
        EXPECT_EQ(decoded.output, part);
        at += decoded.streamBytes;
    }
    EXPECT_EQ(at, output.size());
}

// ---------------------------------------------------------------------------
// Hand-back of the caller's variables and refusals

TEST(LzsCompressHandBack, OutputFullKeepsTheSourceUntilTheStreamEnds) {
    const Bytes input = textBytes(3000);
    Bytes copy = input;
    History history;
    std::uint8_t* src = copy.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(copy.size());
    Bytes piece(100);
    std::uint8_t* dst = piece.data();
    std::uint32_t dstCount = 100;
    ASSERT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 1, 8), 2u);
    EXPECT_EQ(src, copy.data());  // not handed back: kept in the history
    EXPECT_EQ(srcCount, input.size());
    EXPECT_EQ(dst, piece.data() + 100);  // handed back: full
    EXPECT_EQ(dstCount, 0u);
    // A fresh destination; the library restores the true source position.
    std::uint32_t result = 2;
    while (result == 2) {
        dst = piece.data();
        dstCount = 100;
        result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 1, 8);
    }
    EXPECT_EQ(result, 5u);
    EXPECT_EQ(src, copy.data() + copy.size());
    EXPECT_EQ(srcCount, 0u);
}

TEST(LzsCompressRefusals, BadFlagsHistoryOrRoomChangeNothing) {
    Bytes input = textBytes(100);
    Bytes output(64);
    std::uint8_t* src = input.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = 100, dstCount = 64;
    History history;
    const std::vector<std::uint8_t> before = history.bytes;
    EXPECT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 32, 8), 0u);
    EXPECT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 0xFFFFFFFFu, 8), 0u);
    dstCount = 15;
    EXPECT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 1, 8), 0u);
    EXPECT_EQ(history.bytes, before);
    EXPECT_EQ(src, input.data());
    EXPECT_EQ(dst, output.data());
    EXPECT_EQ(srcCount, 100u);
    EXPECT_EQ(dstCount, 15u);

    std::vector<std::uint8_t> uninitialised(LZS_SizeOfCompressionHistory(), 0);
    dstCount = 64;
    EXPECT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, uninitialised.data(), 1, 8), 0u);
    EXPECT_TRUE(std::all_of(uninitialised.begin(), uninitialised.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(LzsCompressRefusals, FlagsMustMatchTheSavedPairs) {
    Bytes input = textBytes(3000);
    Bytes output(64);
    History history;
    std::uint8_t* src = input.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = 3000, dstCount = 64;
    ASSERT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 1, 8), 2u);  // source saved with flag 1
    dst = output.data();
    dstCount = 64;
    EXPECT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 0, 8), 0u);
    EXPECT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 1, 8), 2u);

    // A paused stream keeps its destination (saved with flag 2 clear).
    History paused;
    Bytes small = textBytes(50);
    src = small.data();
    srcCount = 50;
    dst = output.data();
    dstCount = 64;
    ASSERT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, paused.get(), 0, 8), 1u);
    EXPECT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, paused.get(), 2, 8), 0u);
}

TEST(LzsCompressHistory, SizeAndInit) {
    EXPECT_EQ(LZS_SizeOfCompressionHistory(), 20380u);
    std::vector<std::uint8_t> history(20380, 0xCD);
    EXPECT_EQ(LZS_InitCompressionHistory(history.data()), 1u);
    // A history can be reinitialised at any point, even mid-stream.
    Bytes input = textBytes(3000);
    Bytes output(64);
    std::uint8_t* src = input.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = 3000, dstCount = 64;
    ASSERT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.data(), 1, 8), 2u);
    LZS_InitCompressionHistory(history.data());
    Bytes fresh = compressOnce(input, 1, 8).output;
    Bytes again(fresh.size() + 64);
    src = input.data();
    srcCount = 3000;
    dst = again.data();
    dstCount = static_cast<std::uint32_t>(again.size());
    ASSERT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.data(), 1, 8), 5u);
    again.resize(again.size() - dstCount);
    EXPECT_EQ(again, fresh);
}

// The paused tail may trickle into outputs below 16 bytes; the stream is
// still whole.
TEST(LzsCompressHandBack, PausedStreamAcceptsSmallOutputs) {
    const Bytes input = textBytes(200);
    History history;
    Bytes copy = input;
    std::uint8_t* src = copy.data();
    std::uint32_t srcCount = 200;
    Bytes output(400);
    std::uint8_t* dst = output.data();
    std::uint32_t dstCount = 400;
    ASSERT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 0, 8), 1u);
    // dst and dstCount are restored from the history by the next call.
    Bytes nothing;
    std::uint8_t* emptySrc = nothing.data();
    std::uint32_t emptyCount = 0;
    ASSERT_EQ(LZS_Compress(&emptySrc, &dst, &emptyCount, &dstCount, history.get(), 1, 8), 5u);
    output.resize(static_cast<std::size_t>(dst - output.data()));
    const Decoded decoded = decodeStream(output);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.output, input);
}

// Flag 2 without flag 1 pauses with the destination kept; when fewer than
// 16 bytes of it are left, the next call still goes on (a refusal would
// leave the caller stuck, as the flags may not change either) and writes
// nothing beyond the end, though the reserve cannot hold a close there.
TEST(LzsCloseWhenFull, PausedStreamWithLittleRoomLeftGoesOnSafely) {
    const Bytes first = textBytes(40, 3);
    const Bytes second = textBytes(600, 4);
    for (std::uint32_t room = 16; room <= 96; ++room) {
        History history;
        Bytes buffer(room + 32, 0xEE);
        Bytes copyFirst = first, copySecond = second;
        std::uint8_t* dst = buffer.data();
        std::uint32_t dstCount = room;
        std::uint8_t* src = copyFirst.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(first.size());
        const std::uint32_t firstResult = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 2, 8);
        if (firstResult != 1u) continue;  // closed when full already
        src = copySecond.data();
        srcCount = static_cast<std::uint32_t>(second.size());
        Bytes joined;
        std::uint32_t result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 3, 8);
        ASSERT_NE(result, 0u) << room;
        ASSERT_TRUE(std::all_of(buffer.begin() + room, buffer.end(), [](std::uint8_t b) { return b == 0xEE; }));
        joined.assign(buffer.begin(), buffer.begin() + (dst - buffer.data()));
        while ((result & LZS_RESULT_STREAM_END) == 0 || srcCount != 0) {
            Bytes piece(64);
            dst = piece.data();
            dstCount = 64;
            result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), 3, 8);
            ASSERT_NE(result, 0u);
            joined.insert(joined.end(), piece.begin(), piece.begin() + (64 - dstCount));
        }
        Bytes decodedAll;
        for (std::size_t at = 0; at < joined.size();) {
            const Decoded decoded = decodeStream(joined.data() + at, joined.size() - at);
            ASSERT_TRUE(decoded.ok) << room << ": " << decoded.error;
            decodedAll.insert(decodedAll.end(), decoded.output.begin(), decoded.output.end());
            at += decoded.streamBytes;
        }
        EXPECT_EQ(decodedAll, concat({first, second})) << room;
    }
}

// A stream closed when full with flag 4 leaves the history paused, so the
// next call may offer less room than a close needs: that call fills its
// room to the last byte, never past it, and the stream goes on.
TEST(LzsCloseWhenFull, TooLittleRoomForACloseSpillsIntoTheNextCall) {
    const Bytes input = concat({textBytes(300, 5), randomBytes(200, 6)});
    const std::uint32_t flags = LZS_FLAG_CLOSE_AT_END | LZS_FLAG_CLOSE_WHEN_FULL | LZS_FLAG_KEEP_HISTORY;
    for (std::uint32_t small = 1; small <= 15; ++small) {
        History history;
        Bytes source = input;
        std::uint8_t* src = source.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(source.size());
        Bytes joined;
        std::uint32_t result = 0;
        for (int call = 0; call < 1000 && ((result & LZS_RESULT_STREAM_END) == 0 || srcCount != 0); ++call) {
            const std::uint32_t room = call == 0 ? 40 : call == 1 ? small : 64;
            Bytes buffer(room + 16, 0xEE);
            std::uint8_t* dst = buffer.data();
            std::uint32_t dstCount = room;
            result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), flags, 8);
            ASSERT_NE(result, 0u) << small << " call " << call;
            if (call == 0) {
                ASSERT_EQ(result, LZS_RESULT_DEST_FULL | LZS_RESULT_STREAM_END);
            }
            if (call == 1 && small < 12) {
                ASSERT_EQ(result, LZS_RESULT_DEST_FULL) << small;
            }
            ASSERT_TRUE(std::all_of(buffer.begin() + room, buffer.end(), [](std::uint8_t b) { return b == 0xEE; }))
                << small << " call " << call;
            joined.insert(joined.end(), buffer.data(), dst);
        }
        Bytes decodedAll;
        for (std::size_t at = 0; at < joined.size();) {
            const Decoded decoded = decodeStream(joined.data() + at, joined.size() - at, decodedAll);
            ASSERT_TRUE(decoded.ok) << small << ": " << decoded.error;
            decodedAll.insert(decodedAll.end(), decoded.output.begin(), decoded.output.end());
            at += decoded.streamBytes;
        }
        EXPECT_EQ(decodedAll, input) << small;
    }
}

// ---------------------------------------------------------------------------
// The compressor never reads outside the caller's source: the source sits
// between two inaccessible pages.

#if !defined(_WIN32)
TEST(LzsCompressSourceBounds, NeverReadsBeforeOrAfterTheSource) {
    const long page = sysconf(_SC_PAGESIZE);
    const std::size_t span = static_cast<std::size_t>(page) * 4;
    auto* base =
        static_cast<std::uint8_t*>(mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(base, MAP_FAILED);
    ASSERT_EQ(mprotect(base, static_cast<std::size_t>(page), PROT_NONE), 0);
    ASSERT_EQ(mprotect(base + 3 * page, static_cast<std::size_t>(page), PROT_NONE), 0);
    std::uint8_t* const usable = base + page;
    const std::size_t usableSize = static_cast<std::size_t>(page) * 2;

    const Bytes patterns[] = {repeated(0x41, usableSize),
                              concat({textBytes(usableSize / 2), repeated(0, usableSize / 2)}),
                              ditheredPlanes(usableSize)};
    for (const Bytes& pattern : patterns) {
        for (std::size_t size : {usableSize, usableSize - 1, std::size_t{5}, std::size_t{6}, std::size_t{1000}}) {
            for (std::uint32_t flags : {1u, 9u, 17u, 25u, 0u}) {
                // Flush right against the page after the source.
                std::uint8_t* const source = usable + usableSize - size;
                std::memcpy(source, pattern.data(), size);
                History history;
                Bytes output(size * 2 + 64);
                std::uint8_t* src = source;
                std::uint8_t* dst = output.data();
                std::uint32_t srcCount = static_cast<std::uint32_t>(size);
                std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
                const std::uint32_t result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), flags, 255);
                ASSERT_NE(result, 0u);
                // A second piece starting at the first page boundary.
                std::memcpy(usable, pattern.data(), size);
                src = usable;
                srcCount = static_cast<std::uint32_t>(size);
                ASSERT_NE(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), flags | 1, 255), 0u);
            }
        }
    }
    munmap(base, span);
}

// Regression: with flag 2, an output that filled during the literals in
// front of a match left that match's inner positions (flags 8, 16) in the
// chains less than a window before the next stream, which then read up to
// 2047 bytes before its source.
TEST(LzsCompressSourceBounds, CutMatchLeavesNoEntriesWithinTheNextStreamsWindow) {
    const long page = sysconf(_SC_PAGESIZE);
    const std::size_t span = static_cast<std::size_t>(page) * 8;
    auto* base =
        static_cast<std::uint8_t*>(mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(base, MAP_FAILED);
    ASSERT_EQ(mprotect(base, static_cast<std::size_t>(page), PROT_NONE), 0);
    std::uint8_t* const source = base + page;
    const std::size_t size = span - static_cast<std::size_t>(page);
    const Bytes pattern = concat({textBytes(size / 2, 5), ditheredPlanes(size - size / 2)});
    std::memcpy(source, pattern.data(), size);
    for (std::uint32_t flags : {3u | 8u, 3u | 16u, 3u | 24u}) {
        for (std::uint32_t room : {16u, 21u, 40u}) {
            History history;
            std::uint8_t* src = source;
            std::uint32_t srcCount = static_cast<std::uint32_t>(size);
            Bytes joined;
            std::uint32_t result = 6;
            while (result == 6) {
                Bytes piece(room);
                std::uint8_t* dst = piece.data();
                std::uint32_t dstCount = room;
                result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), flags, 8);
                piece.resize(room - dstCount);
                const Decoded decoded = decodeStream(piece);
                ASSERT_TRUE(decoded.ok);
                joined.insert(joined.end(), decoded.output.begin(), decoded.output.end());
            }
            ASSERT_EQ(result, 5u);
            EXPECT_EQ(joined, pattern) << flags << " " << room;
        }
    }
    munmap(base, span);
}
#endif

}  // namespace
