// LZS_Compress then a decoder: the library's own LZS_Decompress, or the
// plain token reader of support/lzs_compress_test_support.h, which also
// checks the stream's form (padding, length, offsets). Whatever the
// compressor's flags, budget and call pattern, and however the decompressor
// is fed, the bytes come back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "huecl32.h"
#include "support/lzs_compress_test_support.h"

namespace {

using namespace lzs_test;

// ---- Inputs -------------------------------------------------------------------

// A plane in blocks of 40 bytes by 16 rows: blank, alternating 0x55/0xAA,
// a dot moving along the byte, sparse random bytes, solid.
Bytes rasterPlane(std::uint32_t seed, std::size_t rows, std::size_t rowBytes) {
    std::mt19937 random(seed);
    Bytes plane;
    for (std::size_t row = 0; row < rows; ++row) {
        for (std::size_t column = 0; column < rowBytes; ++column) {
            const std::size_t region = (column / 40 + row / 16) % 5;
            std::uint8_t value = 0;
            if (region == 1) value = (row & 1) ? 0xAA : 0x55;
            if (region == 2) value = static_cast<std::uint8_t>(0x88 >> (row % 4));
            if (region == 3 && random() % 5 == 0) value = static_cast<std::uint8_t>(random());
            if (region == 4) value = 0xFF;
            plane.push_back(value);
        }
    }
    return plane;
}

// Text in which five words make up most of the words: longer and nearer
// matches than the even mix of textBytes.
Bytes proseText(std::uint32_t seed, std::size_t size) {
    static const char* const words[] = {"the", "band",   "row",   "plane", "cyan", "of",     "and",
                                        "dot", "screen", "toner", "page",  "a",    "driver", "colour"};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) {
        const std::uint32_t choices = random() % 3 == 0 ? 14 : 5;
        text += words[random() % choices];
        text += random() % 11 == 0 ? ". " : " ";
    }
    text.resize(size);
    return Bytes(text.begin(), text.end());
}

// Text, planes, noise and a long run of zeros in one input.
Bytes mixedInput() {
    return concat({textBytes(3000, 21), ditheredPlanes(4000), randomBytes(500, 8), repeated(0, 3000)});
}

std::vector<Bytes> sampleInputs() {
    return {Bytes{},
            Bytes{0x41},
            Bytes(100, 0x41),
            Bytes(5000, 0),
            rasterPlane(1, 40, 90),
            proseText(2, 6000),
            randomBytes(3000, 3),
            proseText(4, 17)};
}

// ---- The compressor as a host drives it ------------------------------------------

struct Compressed {
    std::vector<Bytes> buffers;  // one per output buffer, in order
    Bytes joined() const {
        Bytes all;
        for (const Bytes& buffer : buffers) all.insert(all.end(), buffer.begin(), buffer.end());
        return all;
    }
};

// Compresses input given in source pieces (the last piece closes the stream
// with flag 1) into output buffers of the given sizes.
Compressed compress(const Bytes& input, std::uint32_t flags, std::uint32_t performance, std::mt19937& random,
                    std::size_t maxSourcePiece, std::size_t maxRoom) {
    Compressed compressed;
    Bytes history(LZS_SizeOfCompressionHistory());
    EXPECT_EQ(LZS_InitCompressionHistory(history.data()), 1u);
    Bytes source = input;
    source.push_back(0);  // a byte behind the source the compressor may peek at
    std::size_t given = 0;
    // A piece limit beyond the input means the whole input in one call.
    auto nextPiece = [&] {
        const std::size_t left = input.size() - given;
        return maxSourcePiece > input.size() ? left : std::min<std::size_t>(left, 1 + random() % maxSourcePiece);
    };
    auto nextRoom = [&] { return 16 + random() % (maxRoom - 15); };

    std::size_t piece = nextPiece();
    std::uint8_t* src = source.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(piece);
    Bytes room(nextRoom());
    std::uint8_t* dst = room.data();
    std::uint32_t dstCount = static_cast<std::uint32_t>(room.size());
    for (int guard = 0; guard < 1'000'000; ++guard) {
        const bool last = given + piece >= input.size();
        const std::uint32_t callFlags = flags | (last ? LZS_FLAG_CLOSE_AT_END : 0);
        const std::uint32_t result =
            LZS_Compress(&src, &dst, &srcCount, &dstCount, history.data(), callFlags, performance);
        if (result == 0) {
            ADD_FAILURE() << "compression refused";
            return compressed;
        }
        const bool destinationBack = (result & (LZS_RESULT_DEST_FULL | LZS_RESULT_STREAM_END)) != 0;
        const bool sourceBack = (result & (LZS_RESULT_SOURCE_EMPTY | LZS_RESULT_STREAM_END)) != 0;
        const bool finished = last && (result & LZS_RESULT_STREAM_END) && srcCount == 0;
        if (destinationBack) {
            compressed.buffers.emplace_back(room.data(), dst);
            if (finished) return compressed;
            room.assign(nextRoom(), 0);
            dst = room.data();
            dstCount = static_cast<std::uint32_t>(room.size());
        }
        if (sourceBack && srcCount == 0 && !last) {
            given += piece;
            piece = nextPiece();
            src = source.data() + given;
            srcCount = static_cast<std::uint32_t>(piece);
        }
    }
    ADD_FAILURE() << "compression did not finish";
    return compressed;
}

// ---- The decompressor, fed in pieces ----------------------------------------------

// Decodes streams back to back until the input is used up; returns the bytes.
Bytes decompress(const Bytes& stream, std::uint32_t flags, std::mt19937& random, std::size_t maxSourcePiece,
                 std::size_t maxRoom, std::size_t expectedSize) {
    Bytes history(LZS_SizeOfDecompressionHistory());
    EXPECT_EQ(LZS_InitDecompressionHistory(history.data()), 1u);
    Bytes source = stream;
    Bytes output(expectedSize + 64, 0xCC);
    std::size_t fed = 0;
    // Limits beyond the stream or the output mean everything in one call.
    auto nextPiece = [&] {
        const std::size_t left = stream.size() - fed;
        return maxSourcePiece > stream.size() ? left : std::min<std::size_t>(left, 1 + random() % maxSourcePiece);
    };
    auto nextRoom = [&](std::uint8_t* at) {
        const std::size_t left = static_cast<std::size_t>(output.data() + output.size() - at);
        return static_cast<std::uint32_t>(maxRoom > expectedSize ? left
                                                                 : std::min<std::size_t>(left, 1 + random() % maxRoom));
    };
    std::size_t piece = nextPiece();
    std::uint8_t* src = source.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(piece);
    std::uint8_t* dst = output.data();
    std::uint32_t dstCount = nextRoom(dst);
    std::uint8_t* produced = output.data();
    for (int guard = 0; guard < 10'000'000; ++guard) {
        const std::uint32_t result = LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.data(), flags);
        if (result == 0) {
            ADD_FAILURE() << "decompression refused";
            break;
        }
        if (result & (LZS_RESULT_DEST_FULL | LZS_RESULT_STREAM_END)) {
            produced = dst;
            if (dstCount == 0) dstCount = nextRoom(dst);
        }
        if (result & (LZS_RESULT_SOURCE_EMPTY | LZS_RESULT_STREAM_END)) {
            const std::size_t used = static_cast<std::size_t>(src - source.data());
            if ((result & LZS_RESULT_STREAM_END) && used == stream.size()) break;
            if (srcCount == 0) {
                fed = used;
                piece = nextPiece();
                srcCount = static_cast<std::uint32_t>(piece);
            }
        }
    }
    return Bytes(output.data(), produced);
}

// Decodes one whole stream in one call into a buffer with room to spare.
std::uint32_t decompressOnce(Bytes stream, std::size_t expectedSize, Bytes& output, std::uint32_t flags,
                             Bytes* history = nullptr) {
    Bytes local(LZS_SizeOfDecompressionHistory());
    if (!history) {
        EXPECT_EQ(LZS_InitDecompressionHistory(local.data()), 1u);
        history = &local;
    }
    output.assign(expectedSize + 64, 0);
    std::uint8_t* src = stream.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(stream.size());
    std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
    const std::uint32_t result = LZS_Decompress(&src, &dst, &srcCount, &dstCount, history->data(), flags);
    output.resize(output.size() - dstCount);
    return result;
}

// ---- Read back by LZS_Decompress --------------------------------------------------

struct CompressorSetting {
    std::uint32_t flags;
    std::uint32_t performance;
};

// One whole call per flag combination (flag 1 always: the stream must end)
// and budget, read back by one LZS_Decompress call.
TEST(LzsRoundTrip, WholeCallsForEveryFlagAndBudget) {
    struct Case {
        Bytes input;
        std::vector<std::uint32_t> budgets;
    };
    std::vector<Case> cases;
    for (const Bytes& input : sampleInputs()) cases.push_back({input, {0, 1, 8, 255, 256 + 3}});
    cases.push_back({mixedInput(), {0, 1, 8, 255}});
    for (const Case& c : cases) {
        for (std::uint32_t flags = LZS_FLAG_CLOSE_AT_END; flags < 32; flags += 2) {
            for (std::uint32_t performance : c.budgets) {
                const CallOutcome compressed = compressOnce(c.input, flags, performance);
                ASSERT_EQ(compressed.result, LZS_RESULT_SOURCE_EMPTY | LZS_RESULT_STREAM_END)
                    << "flags " << flags << " performance " << performance << " size " << c.input.size();
                // A first stream decodes alike whether or not the decoder
                // keeps its history past the end.
                for (std::uint32_t decodeFlags : {0u, LZS_FLAG_KEEP_HISTORY_ACROSS_END}) {
                    Bytes output;
                    const std::uint32_t result = decompressOnce(compressed.output, c.input.size(), output, decodeFlags);
                    EXPECT_EQ(result & LZS_RESULT_STREAM_END, LZS_RESULT_STREAM_END)
                        << "flags " << flags << " performance " << performance << " size " << c.input.size();
                    ASSERT_EQ(output, c.input) << "flags " << flags << " performance " << performance << " size "
                                               << c.input.size() << " decode flags " << decodeFlags;
                }
            }
        }
    }
}

TEST(LzsRoundTrip, OneByteAndRandomPiecesOnBothSides) {
    std::mt19937 random(2);
    const std::vector<CompressorSetting> settings = {{0, 0}, {4, 8}, {8, 2}, {16, 255}, {24, 30}, {2, 8}, {6, 255}};
    for (const Bytes& input : sampleInputs()) {
        for (const CompressorSetting& setting : settings) {
            for (std::size_t compressPiece : {std::size_t{1}, std::size_t{300}, input.size() + 1}) {
                const Compressed compressed = compress(input, setting.flags, setting.performance, random, compressPiece,
                                                       (setting.flags & LZS_FLAG_CLOSE_WHEN_FULL) ? 40 : 5000);
                const Bytes stream = compressed.joined();
                for (std::uint32_t decodeFlags : {0u, 4u}) {
                    for (std::size_t sourcePiece : {std::size_t{1}, std::size_t{7}, stream.size() + 1}) {
                        for (std::size_t room : {std::size_t{1}, std::size_t{23}, std::size_t{5000}}) {
                            ASSERT_EQ(decompress(stream, decodeFlags, random, sourcePiece, room, input.size()), input)
                                << "flags " << setting.flags << " performance " << setting.performance << " size "
                                << input.size() << " pieces " << compressPiece << "/" << sourcePiece << "/" << room
                                << " decode flags " << decodeFlags;
                        }
                    }
                }
            }
        }
    }
}

// With flag 2 every output buffer holds whole streams that decode on their
// own, in one call and fed in small pieces; the unencoded source comes back
// with result 6 until the last stream.
TEST(LzsRoundTrip, OutputSizedStreamsDecodeOneByOne) {
    std::mt19937 random(3);
    struct Case {
        Bytes input;
        std::size_t room;
    };
    for (const Case& c : {Case{proseText(9, 3000), 16}, Case{mixedInput(), 48}}) {
        Bytes history(LZS_SizeOfCompressionHistory());
        ASSERT_EQ(LZS_InitCompressionHistory(history.data()), 1u);
        Bytes source = c.input;
        source.push_back(0);
        std::uint8_t* src = source.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(c.input.size());
        Bytes whole, pieces;
        std::uint32_t result = 0;
        for (int call = 0; call < 100000 && result != 5u; ++call) {
            Bytes room(c.room);
            std::uint8_t* dst = room.data();
            std::uint32_t dstCount = static_cast<std::uint32_t>(c.room);
            result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.data(), 3, 8);
            ASSERT_TRUE(result == 5u || result == 6u) << result << " room " << c.room;
            const Bytes stream(room.data(), dst);
            Bytes output;
            ASSERT_EQ(decompressOnce(stream, c.room * 300, output, 0) & LZS_RESULT_STREAM_END, LZS_RESULT_STREAM_END);
            whole.insert(whole.end(), output.begin(), output.end());
            const std::size_t sourcePiece = 1 + random() % 4;
            const std::size_t roomPiece = 1 + random() % 9;
            const Bytes part = decompress(stream, 0, random, sourcePiece, roomPiece, c.input.size());
            pieces.insert(pieces.end(), part.begin(), part.end());
        }
        EXPECT_EQ(result, 5u);
        EXPECT_EQ(whole, c.input) << "room " << c.room;
        EXPECT_EQ(pieces, c.input) << "room " << c.room;
    }
}

TEST(LzsRoundTrip, KeptHistoryCarriesIntoTheNextStream) {
    const Bytes first = textBytes(2500, 30);
    const Bytes second(first.begin() + 700, first.begin() + 2200);
    History history;
    const CallOutcome one = compressOnce(first, LZS_FLAG_CLOSE_AT_END | LZS_FLAG_KEEP_HISTORY, 8, &history);
    const CallOutcome two = compressOnce(second, LZS_FLAG_CLOSE_AT_END | LZS_FLAG_KEEP_HISTORY, 8, &history);
    Bytes decodeHistory(LZS_SizeOfDecompressionHistory());
    ASSERT_EQ(LZS_InitDecompressionHistory(decodeHistory.data()), 1u);
    Bytes output;
    EXPECT_EQ(decompressOnce(one.output, first.size(), output, LZS_FLAG_KEEP_HISTORY_ACROSS_END, &decodeHistory) & 4u,
              4u);
    ASSERT_EQ(output, first);
    EXPECT_EQ(decompressOnce(two.output, second.size(), output, LZS_FLAG_KEEP_HISTORY_ACROSS_END, &decodeHistory) & 4u,
              4u);
    EXPECT_EQ(output, second);
}

// Stored blocks between streams, with later streams reaching back into them.
TEST(LzsRoundTrip, StoredBlocksBetweenStreamsServeAsHistory) {
    std::mt19937 random(4);
    const Bytes block = proseText(5, 2500);
    Bytes joinedInput = block;
    const Bytes tail = proseText(5, 4000);  // the same words: matches reach into the block
    joinedInput.insert(joinedInput.end(), tail.begin(), tail.end());

    // Compress block and tail as one stream with history kept, then throw
    // away the block's stream: the decoder gets the block stored instead.
    Bytes history(LZS_SizeOfCompressionHistory());
    ASSERT_EQ(LZS_InitCompressionHistory(history.data()), 1u);
    Bytes source = joinedInput;
    source.push_back(0);
    Bytes output(20000);
    std::uint8_t* src = source.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(block.size());
    std::uint8_t* dst = output.data();
    std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
    ASSERT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.data(), 5, 16) & 4u, 4u);
    std::uint8_t* const tailStart = dst;
    srcCount = static_cast<std::uint32_t>(tail.size());
    ASSERT_EQ(LZS_Compress(&src, &dst, &srcCount, &dstCount, history.data(), 5, 16) & 4u, 4u);
    const Bytes tailStream(tailStart, dst);

    for (std::size_t piece : {std::size_t{1}, std::size_t{13}, tailStream.size()}) {
        Bytes decodeHistory(LZS_SizeOfDecompressionHistory());
        ASSERT_EQ(LZS_InitDecompressionHistory(decodeHistory.data()), 1u);
        Bytes decoded(joinedInput.size());
        Bytes blockCopy = block;
        std::uint8_t* blockPos = blockCopy.data();
        std::uint8_t* out = decoded.data();
        std::uint32_t blockCount = static_cast<std::uint32_t>(block.size());
        std::uint32_t outCount = blockCount;
        ASSERT_EQ(LZS_Decompress(&blockPos, &out, &blockCount, &outCount, decodeHistory.data(), LZS_FLAG_STORED_BLOCK),
                  3u);
        Bytes streamCopy = tailStream;
        std::uint8_t* streamPos = streamCopy.data();
        std::uint32_t streamCount = static_cast<std::uint32_t>(std::min(piece, streamCopy.size()));
        outCount = static_cast<std::uint32_t>(tail.size());
        std::uint32_t result = 0;
        for (int guard = 0; guard < 100000 && !(result & LZS_RESULT_STREAM_END); ++guard) {
            result = LZS_Decompress(&streamPos, &out, &streamCount, &outCount, decodeHistory.data(), 0);
            ASSERT_NE(result, 0u);
            if ((result & LZS_RESULT_SOURCE_EMPTY) && !(result & LZS_RESULT_STREAM_END)) {
                streamCount = static_cast<std::uint32_t>(
                    std::min<std::size_t>(piece, streamCopy.data() + streamCopy.size() - streamPos));
            }
        }
        EXPECT_EQ(decoded, joinedInput) << piece;
    }
}

// ---- Read back by the plain token reader ------------------------------------------

struct Corpus {
    const char* name;
    Bytes data;
};

std::vector<Corpus> corpora() {
    return {{"text", textBytes(9000)},
            {"planes", ditheredPlanes(12000)},
            {"random", randomBytes(5000, 99)},
            {"runs", concat({repeated(0, 3000), repeated(0xFF, 700), textBytes(300), repeated(0, 5000)})},
            {"tiny", Bytes{1, 2, 1, 2, 1}}};
}

TEST(LzsRoundTrip, EveryBudgetAndFlagCombinationDecodesToTheSource) {
    const Bytes sample = concat({textBytes(700, 3), ditheredPlanes(900), repeated(7, 90), randomBytes(60, 5)});
    for (std::uint32_t budget = 0; budget < 256; budget += (budget < 12 ? 1 : 29)) {
        for (std::uint32_t closing = LZS_FLAG_CLOSE_AT_END; closing < 32; closing += 2) {
            const CallOutcome outcome = compressOnce(sample, closing, budget);
            ASSERT_EQ(outcome.result & 5u, 5u) << "flags " << closing << " budget " << budget;
            const Decoded decoded = decodeStream(outcome.output);
            ASSERT_TRUE(decoded.ok) << decoded.error << " flags " << closing << " budget " << budget;
            ASSERT_EQ(decoded.output, sample) << "flags " << closing << " budget " << budget;
            ASSERT_EQ(decoded.streamBytes, outcome.output.size());
            ASSERT_TRUE(decoded.paddingIsZero);
        }
    }
}

TEST(LzsRoundTrip, CorporaAtBudgetsZeroEightAndMax) {
    for (const Corpus& corpus : corpora()) {
        for (std::uint32_t budget : {0u, 8u, 255u, 256u + 8u}) {
            const CallOutcome outcome = compressOnce(corpus.data, LZS_FLAG_CLOSE_AT_END, budget);
            const Decoded decoded = decodeStream(outcome.output);
            ASSERT_TRUE(decoded.ok) << corpus.name << " " << decoded.error;
            EXPECT_EQ(decoded.output, corpus.data) << corpus.name << " budget " << budget;
        }
    }
    // Only the low byte of performance counts.
    const Bytes text = textBytes(4000);
    EXPECT_EQ(compressOnce(text, 1, 8).output, compressOnce(text, 1, 0x1008).output);
    // A harder search never loses much on text.
    EXPECT_LE(compressOnce(text, 1, 255).output.size(), compressOnce(text, 1, 0).output.size());
}

TEST(LzsRoundTrip, MatchesReachingAcrossLongInputsStayWithinTheWindow) {
    // Longer than 64 KiB and with repeats both near and far beyond 2047.
    Bytes input;
    const Bytes phrase = textBytes(3000, 11);
    for (int k = 0; k < 30; ++k) {
        input.insert(input.end(), phrase.begin(), phrase.end());
        const Bytes noise = randomBytes(200 + 37 * static_cast<std::size_t>(k), static_cast<std::uint32_t>(k + 1));
        input.insert(input.end(), noise.begin(), noise.end());
    }
    for (std::uint32_t flags : {1u, 9u, 17u}) {
        const Decoded decoded = decodeStream(compressOnce(input, flags, 255).output);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        EXPECT_EQ(decoded.output, input);
        for (const Token& token : decoded.tokens) {
            if (!token.literal) {
                ASSERT_LE(token.offset, 2047u);
            }
        }
    }
}

}  // namespace
