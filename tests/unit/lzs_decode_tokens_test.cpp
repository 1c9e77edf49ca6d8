// Far from both ends the token decoder leaves its read-by-read loop for a
// faster one, and must stop exactly where the decoder that checks every
// read stops: same status, same source and output positions, same bytes,
// same state, call after call, whatever limits each call gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "lzs/lzs_compress.h"
#include "lzs/lzs_decode_tokens.h"
#include "support/lzs_stream_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using huecl::lzs::DecoderState;
namespace status = huecl::lzs::status;

// Literal runs of every length from 0 to 20 between matches of every kind,
// long ones included, so that runs end at every bit of a read.
testsupport::LzsStreamBuilder literalHeavyStream(std::uint32_t seed, int groups) {
    std::mt19937 random(seed);
    testsupport::LzsStreamBuilder stream;
    for (int group = 0; group < groups; ++group) {
        const auto literals = random() % 21;
        for (std::uint32_t index = 0; index < literals || stream.plain().empty(); ++index) {
            stream.literal(static_cast<std::uint8_t>(random()));
        }
        const auto reach = static_cast<std::uint32_t>(std::min<std::size_t>(stream.plain().size(), 2047));
        const std::uint32_t offset = 1 + random() % reach;
        const std::uint32_t kind = random() % 4;
        const std::uint32_t length = kind == 0 ? 2 + random() % 3 : kind == 1 ? 5 + random() % 3 : 8 + random() % 60;
        stream.match(offset, length, random() % 5 == 0);
    }
    return stream.end();
}

// Inputs like the ones the driver meets, made into streams by the
// compressor: prose, machine code, noise and a dithered raster.
Bytes prose(std::uint32_t seed, std::size_t size) {
    std::mt19937 random(seed);
    std::vector<std::string> words;
    for (int word = 0; word < 60; ++word) {
        std::string letters;
        for (std::uint32_t letter = 0, length = 1 + random() % 9; letter < length; ++letter) {
            letters += static_cast<char>('a' + random() % 26);
        }
        words.push_back(letters);
    }
    Bytes text;
    while (text.size() < size) {
        const std::string& word = words[random() % 8 == 0 ? random() % words.size() : random() % 12];
        text.insert(text.end(), word.begin(), word.end());
        text.push_back(random() % 13 == 0 ? '\n' : random() % 9 == 0 ? ',' : ' ');
    }
    text.resize(size);
    return text;
}

Bytes machineCode(std::uint32_t seed, std::size_t size) {
    std::mt19937 random(seed);
    std::vector<Bytes> instructions;
    for (int index = 0; index < 24; ++index) {
        Bytes instruction(1 + random() % 7);
        for (auto& byte : instruction) byte = static_cast<std::uint8_t>(random() % 4 == 0 ? random() : random() % 16);
        instructions.push_back(instruction);
    }
    Bytes code;
    std::uint32_t address = 0x401000;
    while (code.size() < size) {
        const std::uint32_t kind = random() % 10;
        if (kind < 6) {
            const Bytes& instruction = instructions[random() % instructions.size()];
            code.insert(code.end(), instruction.begin(), instruction.end());
        } else if (kind < 8) {
            address += random() % 64;
            for (int shift = 0; shift < 32; shift += 8) code.push_back(static_cast<std::uint8_t>(address >> shift));
        } else if (kind == 8) {
            code.insert(code.end(), random() % 40, 0);
        } else {
            for (std::uint32_t count = 1 + random() % 5; count > 0; --count)
                code.push_back(static_cast<std::uint8_t>(random()));
        }
    }
    code.resize(size);
    return code;
}

Bytes noise(std::uint32_t seed, std::size_t size) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

Bytes raster(std::uint32_t seed, std::size_t size) {
    std::mt19937 random(seed);
    constexpr std::size_t kRow = 80;
    Bytes plane;
    while (plane.size() < size) {
        const std::uint32_t level = random() % 5;
        for (std::size_t dot = 0; dot < kRow; ++dot) {
            const bool edge = dot > 20 && dot < 20 + random() % 40;
            plane.push_back(level == 0   ? 0
                            : level == 4 ? 0xFF
                            : edge       ? static_cast<std::uint8_t>(0x11 << (dot % 4))
                                         : 0xAA);
        }
    }
    plane.resize(size);
    return plane;
}

Bytes compressed(Bytes input) {
    std::vector<huecl::lzs::CompressionHistory> history(1);
    huecl::lzs::initCompressionHistory(history.data());
    input.push_back(0);  // the compressor may look at the byte behind the source
    Bytes output(input.size() * 2 + 64);
    std::uint8_t* src = input.data();
    std::uint8_t* dst = output.data();
    auto srcCount = static_cast<std::uint32_t>(input.size() - 1);
    auto dstCount = static_cast<std::uint32_t>(output.size());
    const huecl::lzs::CallerVariables caller{&src, &dst, &srcCount, &dstCount};
    EXPECT_EQ(huecl::lzs::compress(caller, history.data(), 1, 8), 5u);
    output.resize(output.size() - dstCount);
    return output;
}

// Matches at offsets of 1 to 20 (below 8 the loop far from both ends moves
// them differently), lengths of every kind up to 300 (or, with
// fewLongOnes, mostly 5 to 7, whose length field may cross the end of a
// read), and short runs of literals between them.
testsupport::LzsStreamBuilder shortOffsetStream(std::uint32_t seed, int groups, bool fewLongOnes = false) {
    std::mt19937 random(seed);
    testsupport::LzsStreamBuilder stream;
    for (int group = 0; group < groups; ++group) {
        const std::uint32_t longest = fewLongOnes ? 4 : 8;
        for (std::uint32_t index = 0, literals = random() % longest; index < literals || stream.plain().size() < 20;
             ++index) {
            stream.literal(static_cast<std::uint8_t>(random()));
        }
        const std::uint32_t offset = 1 + random() % 20;
        const std::uint32_t kind = random() % (fewLongOnes ? 40 : 4);
        const std::uint32_t length = kind == 0 ? 8 + random() % 300 : kind == 1 ? 2 + random() % 3 : 5 + random() % 3;
        stream.match(offset, length, random() % 7 == 0);
    }
    return stream.end();
}

// Bytes of the output buffer that no call may write: those beyond the
// largest output limit given so far.
constexpr std::uint8_t kGuard = 0xA5;

struct Decoder {
    using Function = std::uint8_t (*)(const std::uint8_t**, const std::uint8_t*, std::uint8_t**, std::uint8_t*,
                                      const std::uint8_t*, DecoderState&);
    Decoder(Function decodeWith, std::size_t outputSize) : decode(decodeWith), output(outputSize, kGuard) {}
    Function decode;
    Bytes output;
    DecoderState state{0, 0, 0, status::kInitial};
    std::size_t sourceAt = 0;
    std::size_t outputAt = 0;
    std::uint8_t last = 0;

    void call(Bytes& stream, std::size_t sourceLimit, std::size_t outputLimit) {
        const std::uint8_t* source = stream.data() + sourceAt;
        std::uint8_t* out = output.data() + outputAt;
        last = decode(&source, stream.data() + sourceLimit, &out, output.data() + outputLimit, output.data(), state);
        sourceAt = static_cast<std::size_t>(source - stream.data());
        outputAt = static_cast<std::size_t>(out - output.data());
    }
};

struct Split {
    std::size_t piece;  // source bytes added per call
    std::size_t room;   // output room per call; with less than 16 only an end marker is read
};

TEST(LzsDecodeTokens, LiteralRunsStopWhereEveryReadIsChecked) {
    const std::vector<Split> splits = {{5000, 100000}, {17, 100000}, {40, 33}, {23, 48},
                                       {100, 20},      {3, 64},      {64, 16}, {33, 1000}};
    for (const std::uint32_t seed : {1u, 2u, 3u}) {
        testsupport::LzsStreamBuilder built = literalHeavyStream(seed, 300);
        Bytes& stream = built.stream();
        const Bytes& plain = built.plain();
        for (const Split& split : splits) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", piece " + std::to_string(split.piece) + ", room " +
                         std::to_string(split.room));
            Decoder fast(huecl::lzs::decodeTokensWithFarLoop, plain.size() + 64);
            Decoder exact(huecl::lzs::decodeTokensOneReadAtATime, plain.size() + 64);
            std::size_t sourceLimit = 0;
            int calls = 0;
            for (; calls < 200000 && exact.last != status::kEndMarker; ++calls) {
                sourceLimit = std::min(stream.size(), std::max(sourceLimit, exact.sourceAt) + split.piece);
                const std::size_t outputLimit = std::min(exact.output.size(), exact.outputAt + split.room);
                fast.call(stream, sourceLimit, outputLimit);
                exact.call(stream, sourceLimit, outputLimit);
                ASSERT_EQ(fast.last, exact.last) << "call " << calls;
                ASSERT_EQ(fast.sourceAt, exact.sourceAt) << "call " << calls;
                ASSERT_EQ(fast.outputAt, exact.outputAt) << "call " << calls;
                ASSERT_EQ(fast.state.bitPos, exact.state.bitPos) << "call " << calls;
                ASSERT_EQ(fast.state.matchCount, exact.state.matchCount) << "call " << calls;
                ASSERT_EQ(fast.state.matchOffset, exact.state.matchOffset) << "call " << calls;
                ASSERT_EQ(fast.state.status, exact.state.status) << "call " << calls;
                ASSERT_NE(exact.last, status::kCorrupt);
            }
            ASSERT_EQ(exact.last, status::kEndMarker);
            EXPECT_TRUE(std::equal(plain.begin(), plain.end(), exact.output.begin()));
            EXPECT_TRUE(std::equal(plain.begin(), plain.end(), fast.output.begin()));
            EXPECT_EQ(exact.outputAt, plain.size());
        }
    }
}

struct Case {
    std::string name;
    Bytes stream;
    Bytes plain;
};

std::vector<Case> streamsOfEveryKind() {
    std::vector<Case> cases;
    const auto add = [&](std::string name, const Bytes& plain) {
        Bytes stream = compressed(plain);
        cases.push_back({std::move(name), std::move(stream), plain});
    };
    add("prose", prose(11, 4000));
    add("machine code", machineCode(12, 4000));
    add("noise", noise(13, 1500));
    add("raster", raster(14, 4000));
    for (testsupport::LzsStreamBuilder built :
         {shortOffsetStream(15, 150), shortOffsetStream(17, 600, true), literalHeavyStream(16, 150)}) {
        cases.push_back({"built", built.stream(), built.plain()});
    }
    return cases;
}

// One decoder of each kind, driven by the same limits; after every call
// both must agree on everything a caller and the next call see.
struct Pair {
    Pair(std::size_t outputSize)
        : fast(huecl::lzs::decodeTokensWithFarLoop, outputSize),
          exact(huecl::lzs::decodeTokensOneReadAtATime, outputSize) {}
    Decoder fast;
    Decoder exact;
    std::size_t largestLimit = 0;

    void call(Bytes& stream, std::size_t sourceLimit, std::size_t outputLimit) {
        fast.call(stream, sourceLimit, outputLimit);
        exact.call(stream, sourceLimit, outputLimit);
        largestLimit = std::max(largestLimit, outputLimit);
        ASSERT_TRUE(std::all_of(fast.output.begin() + static_cast<std::ptrdiff_t>(largestLimit), fast.output.end(),
                                [](std::uint8_t byte) { return byte == kGuard; }))
            << "written beyond the output limit";
        ASSERT_EQ(fast.last, exact.last);
        ASSERT_EQ(fast.sourceAt, exact.sourceAt);
        ASSERT_EQ(fast.outputAt, exact.outputAt);
        ASSERT_EQ(fast.state.bitPos, exact.state.bitPos);
        ASSERT_EQ(fast.state.matchCount, exact.state.matchCount);
        ASSERT_EQ(fast.state.matchOffset, exact.state.matchOffset);
        ASSERT_EQ(fast.state.status, exact.state.status);
        ASSERT_TRUE(std::equal(exact.output.begin(), exact.output.begin() + static_cast<std::ptrdiff_t>(exact.outputAt),
                               fast.output.begin()));
    }
    // Whole calls until the end marker.
    void finish(Bytes& stream) {
        for (int calls = 0; calls < 100 && exact.last != status::kEndMarker; ++calls) {
            call(stream, stream.size(), exact.output.size());
            if (testing::Test::HasFatalFailure()) return;
        }
        ASSERT_EQ(exact.last, status::kEndMarker);
    }
};

// A first call cut at every source byte (so the loop far from both ends
// hands over at every distance from the source end), or with every room
// (likewise for the output end), then whole calls to the end.
TEST(LzsDecodeTokens, FirstCallCutAnywhereStopsWhereEveryReadIsChecked) {
    for (Case& sample : streamsOfEveryKind()) {
        const std::size_t outputSize = sample.plain.size() + 64;
        const std::size_t sourceStep = sample.stream.size() / 400 + 1;
        for (std::size_t cut = 0; cut <= sample.stream.size(); cut += cut < 200 ? 1 : sourceStep) {
            SCOPED_TRACE(sample.name + ", source cut at " + std::to_string(cut));
            Pair decoders(outputSize);
            decoders.call(sample.stream, cut, outputSize);
            decoders.finish(sample.stream);
            ASSERT_FALSE(testing::Test::HasFatalFailure());
            ASSERT_TRUE(std::equal(sample.plain.begin(), sample.plain.end(), decoders.fast.output.begin()));
        }
        const std::size_t roomStep = sample.plain.size() / 400 + 1;
        for (std::size_t room = 0; room <= outputSize; room += room < 200 ? 1 : roomStep) {
            SCOPED_TRACE(sample.name + ", room " + std::to_string(room));
            Pair decoders(outputSize);
            decoders.call(sample.stream, sample.stream.size(), room);
            decoders.finish(sample.stream);
            ASSERT_FALSE(testing::Test::HasFatalFailure());
            ASSERT_TRUE(std::equal(sample.plain.begin(), sample.plain.end(), decoders.fast.output.begin()));
        }
    }
}

// Source in pieces and room in pieces of sizes around the loop's margins,
// drawn at random, call after call.
TEST(LzsDecodeTokens, PiecesAroundTheMarginsStopWhereEveryReadIsChecked) {
    const std::size_t sizes[] = {1, 3, 4, 5, 8, 15, 16, 17, 20, 24, 31, 63, 64, 65, 66, 80, 100, 300, 100000};
    for (Case& sample : streamsOfEveryKind()) {
        for (std::uint32_t seed = 1; seed <= 20; ++seed) {
            SCOPED_TRACE(sample.name + ", seed " + std::to_string(seed));
            std::mt19937 random(seed);
            Pair decoders(sample.plain.size() + 64);
            std::size_t sourceLimit = 0;
            for (int calls = 0; calls < 200000 && decoders.exact.last != status::kEndMarker; ++calls) {
                const std::size_t piece = sizes[random() % std::size(sizes)];
                const std::size_t room = sizes[random() % std::size(sizes)];
                sourceLimit = std::min(sample.stream.size(), std::max(sourceLimit, decoders.exact.sourceAt) + piece);
                decoders.call(sample.stream, sourceLimit,
                              std::min(decoders.exact.output.size(), decoders.exact.outputAt + room));
                ASSERT_FALSE(testing::Test::HasFatalFailure()) << "call " << calls;
                ASSERT_NE(decoders.exact.last, status::kCorrupt);
            }
            ASSERT_EQ(decoders.exact.last, status::kEndMarker);
            ASSERT_TRUE(std::equal(sample.plain.begin(), sample.plain.end(), decoders.fast.output.begin()));
        }
    }
}

// The loop leaves whatever it cannot finish to the exact one: an end
// marker in the middle of the source, and offsets that reach before the
// output (a corrupt stream), each far from both ends.
TEST(LzsDecodeTokens, EndMarkersAndCorruptOffsetsFarFromTheEndsAreLeftToTheExactLoop) {
    struct Tail {
        const char* name;
        std::uint32_t offset;  // 0: the end marker
        std::uint32_t length;
        bool longForm;
        std::uint8_t status;
    };
    const Tail tails[] = {
        {"end marker", 0, 2, false, status::kEndMarker},
        {"short offset beyond the output", 127, 3, false, status::kCorrupt},
        {"long offset beyond the output", 1500, 6, true, status::kCorrupt},
        {"long offset 0", 0, 9, true, status::kCorrupt},
        {"escaped length beyond the output", 900, 40, true, status::kCorrupt},
    };
    for (const Tail& tail : tails) {
        for (std::uint32_t lead = 0; lead < 24; ++lead) {
            SCOPED_TRACE(std::string(tail.name) + ", lead " + std::to_string(lead));
            testsupport::LzsStreamBuilder stream;
            for (std::uint32_t index = 0; index < 100 + lead; ++index)
                stream.literal(static_cast<std::uint8_t>(index * 7));
            if (tail.offset == 0 && !tail.longForm) {
                stream.end();
            } else if (tail.offset == 0) {
                stream.bits(0b10, 2).bits(0, 11).bits(0b1111, 4).bits(1, 4);
            } else {
                stream.match(tail.offset, tail.length, tail.longForm);
            }
            for (int index = 0; index < 200; ++index) stream.literal(0x55);
            stream.end();
            Pair decoders(stream.plain().size() + 64);
            decoders.call(stream.stream(), stream.stream().size(), decoders.exact.output.size());
            ASSERT_FALSE(testing::Test::HasFatalFailure());
            EXPECT_EQ(decoders.exact.last, tail.status);
        }
    }
}

}  // namespace
