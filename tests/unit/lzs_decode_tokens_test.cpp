// The token decoder decodes runs of literals six at a time while both ends
// are far, and must stop exactly where the decoder that checks every read
// stops: same status, same source and output positions, same bytes, same
// state, call after call, whatever limits each call gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

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

struct Decoder {
    using Function = std::uint8_t (*)(const std::uint8_t**, const std::uint8_t*, std::uint8_t**, std::uint8_t*,
                                      const std::uint8_t*, DecoderState&);
    Decoder(Function decodeWith, std::size_t outputSize) : decode(decodeWith), output(outputSize, 0) {}
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
    const std::vector<Split> splits = {{5000, 100000}, {17, 100000}, {40, 33},  {23, 48},
                                       {100, 20},      {3, 64},      {64, 16},  {33, 1000}};
    for (const std::uint32_t seed : {1u, 2u, 3u}) {
        testsupport::LzsStreamBuilder built = literalHeavyStream(seed, 300);
        Bytes& stream = built.stream();
        const Bytes& plain = built.plain();
        for (const Split& split : splits) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", piece " + std::to_string(split.piece) + ", room " +
                         std::to_string(split.room));
            Decoder fast(huecl::lzs::decodeTokens, plain.size() + 64);
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

}  // namespace
