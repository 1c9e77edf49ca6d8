#include "pages/lzs_codec.h"
#include "pages/tests/temporary_folder.h"
#include "pages/page_error.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <variant>

namespace huecl::pages {
namespace {

std::vector<std::uint8_t> sampleBlock(size_t size, unsigned seed) {
    // Runs, repeats and noise: what plane bands hold.
    std::mt19937 random(seed);
    std::vector<std::uint8_t> block(size);
    for (size_t i = 0; i < size; ++i)
        block[i] = (i / 97) % 3 == 0   ? 0
                   : (i / 97) % 3 == 1 ? static_cast<std::uint8_t>(i % 7 * 31)
                                       : static_cast<std::uint8_t>(random());
    return block;
}

std::string errorDecoding(std::span<const std::uint8_t> stream, size_t expected) {
    DecompressionHistory history;
    std::vector<std::uint8_t> out(expected);
    try {
        decompressBlock(stream, out, history, "band 3");
    } catch (const PageError& error) {
        return error.what();
    }
    return "no error";
}

TEST(LzsBlocks, RoundTripAtEveryBudget) {
    CompressionHistory compression;
    DecompressionHistory decompression;
    for (const size_t size : {size_t{0}, size_t{1}, size_t{5}, size_t{4096}, size_t{100000}})
        for (const std::uint32_t budget : {0u, 8u, 255u}) {
            const auto block = sampleBlock(size, static_cast<unsigned>(size + budget));
            std::vector<std::uint8_t> stream, back(size);
            compressBlock(block, budget, compression, stream);
            decompressBlock(stream, back, decompression, "block");
            EXPECT_EQ(back, block) << size << " bytes, budget " << budget;
        }
}

TEST(LzsBlocks, RepeatedCallsGiveTheSameStream) {
    // A reused history must not carry anything from one band to the next.
    CompressionHistory history;
    const auto first = sampleBlock(5000, 1), second = sampleBlock(5000, 2);
    std::vector<std::uint8_t> alone, afterOther, ignored;
    compressBlock(first, 8, history, alone);
    compressBlock(second, 8, history, ignored);
    compressBlock(first, 8, history, afterOther);
    EXPECT_EQ(alone, afterOther);
}

TEST(LzsBlocks, IncompressibleInputStillFits) {
    CompressionHistory history;
    std::mt19937 random(7);
    std::vector<std::uint8_t> noise(10000), stream;
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
    compressBlock(noise, 255, history, stream);
    EXPECT_LE(stream.size(), noise.size() * 9 / 8 + 3);
}

TEST(LzsBlocks, StreamsOfTheWrongLengthAreRefused) {
    CompressionHistory history;
    const auto block = sampleBlock(1000, 3);
    std::vector<std::uint8_t> stream;
    compressBlock(block, 8, history, stream);
    EXPECT_EQ(errorDecoding(stream, 1001), "band 3: LZS stream decodes to 1000 bytes, not 1001");
    EXPECT_EQ(errorDecoding(stream, 999).rfind("band 3: LZS stream", 0), 0u);
    EXPECT_EQ(errorDecoding(std::span(stream).first(stream.size() / 2), 1000),
              "band 3: LZS stream does not end with its band");
}

class LzsFiles : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(LzsFiles, StreamThroughSmallBuffers) {
    testing::TemporaryFolder folder;
    const auto data = sampleBlock(20000, 5);
    const auto input = folder.writeFile("input", std::string(data.begin(), data.end()));
    std::vector<std::uint8_t> packed, unpacked;
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(input.c_str(), "rb"), &std::fclose);
        compressFile(in.get(), "input", {GetParam(), 8, false, {}, LzsEncoder::exact},
                     [&](std::span<const std::uint8_t> piece) {
                         EXPECT_LE(piece.size(), GetParam());
                         packed.insert(packed.end(), piece.begin(), piece.end());
                     });
    }
    const auto packedPath = folder.writeFile("packed", std::string(packed.begin(), packed.end()));
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(packedPath.c_str(), "rb"), &std::fclose);
    const StreamTotals totals = decompressFile(
        in.get(), "packed", {GetParam(), 8, false, {}, LzsEncoder::exact},
        [&](std::span<const std::uint8_t> piece) { unpacked.insert(unpacked.end(), piece.begin(), piece.end()); });
    EXPECT_EQ(unpacked, data);
    EXPECT_EQ(totals.bytesIn, packed.size());
    EXPECT_EQ(totals.bytesOut, data.size());
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, LzsFiles, ::testing::Values(16u, 17u, 1000u, 65536u));

TEST(LzsFilesEnd, TwoStreamsBackToBackDecodeToBoth) {
    testing::TemporaryFolder folder;
    CompressionHistory history;
    const auto first = sampleBlock(3000, 8), second = sampleBlock(2000, 9);
    std::vector<std::uint8_t> streamA, streamB;
    compressBlock(first, 8, history, streamA);
    compressBlock(second, 8, history, streamB);
    std::string joined(streamA.begin(), streamA.end());
    joined.append(streamB.begin(), streamB.end());
    const auto path = folder.writeFile("two", joined);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), &std::fclose);
    std::vector<std::uint8_t> out;
    decompressFile(in.get(), "two", {64, 8, false, {}, LzsEncoder::exact},
                   [&](std::span<const std::uint8_t> piece) { out.insert(out.end(), piece.begin(), piece.end()); });
    std::vector<std::uint8_t> expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(out, expected);
}

// Files through the codec from memory, so that many variants stay quick.
std::vector<std::uint8_t> compressBytes(std::vector<std::uint8_t> content, const LzsFileOptions& options) {
    std::vector<std::uint8_t> packed;
    const size_t size = content.size();
    content.push_back(0);  // a buffer even for empty content; size excludes it
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(fmemopen(content.data(), size, "rb"), &std::fclose);
    compressFile(in.get(), "input", options,
                 [&](std::span<const std::uint8_t> piece) { packed.insert(packed.end(), piece.begin(), piece.end()); });
    return packed;
}

// The decoded bytes, or the error.
std::variant<std::vector<std::uint8_t>, std::string> decompressBytes(std::vector<std::uint8_t> packed,
                                                                     const LzsFileOptions& options) {
    std::vector<std::uint8_t> out;
    const size_t size = packed.size();
    packed.push_back(0);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(fmemopen(packed.data(), size, "rb"), &std::fclose);
    try {
        decompressFile(in.get(), "f.lzs", options,
                       [&](std::span<const std::uint8_t> piece) { out.insert(out.end(), piece.begin(), piece.end()); });
    } catch (const PageError& error) {
        return std::string(error.what());
    }
    return out;
}

std::vector<std::uint8_t> textSample() {
    const std::string text = "A flipped bit in a compressed file must never decode quietly into other text. ";
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 3; ++i) bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

TEST(LzsFrames, RoundTripThroughEveryBufferSize) {
    for (const size_t size : {size_t{0}, size_t{1}, size_t{300}, size_t{20000}})
        for (std::uint32_t buffer = 16; buffer <= 40; ++buffer) {
            const auto content = sampleBlock(size, 3);
            const LzsFileOptions options{buffer, 8, true, {}, LzsEncoder::exact};
            const auto packed = compressBytes(content, options);
            ASSERT_TRUE(std::equal(std::begin(lzsFrameMagic), std::end(lzsFrameMagic), packed.begin()));
            const auto back = decompressBytes(packed, options);
            ASSERT_TRUE(std::holds_alternative<std::vector<std::uint8_t>>(back)) << std::get<std::string>(back);
            ASSERT_EQ(std::get<std::vector<std::uint8_t>>(back), content) << size << " bytes, buffer " << buffer;
        }
}

TEST(LzsFrames, NoSingleBitFlipDecodesToOtherContent) {
    const auto content = textSample();
    const LzsFileOptions options{64, 8, true, {}, LzsEncoder::exact};
    const auto packed = compressBytes(content, options);
    size_t refused = 0;
    for (size_t bit = 0; bit < packed.size() * 8; ++bit) {
        auto damaged = packed;
        damaged[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        const auto result = decompressBytes(damaged, options);
        if (std::holds_alternative<std::string>(result)) {
            EXPECT_EQ(std::get<std::string>(result).rfind("f.lzs: ", 0), 0u) << std::get<std::string>(result);
            ++refused;
        } else {
            // Only the padding after the end marker may change unnoticed.
            EXPECT_EQ(std::get<std::vector<std::uint8_t>>(result), content) << "bit " << bit;
        }
    }
    EXPECT_GE(refused, packed.size() * 8 - 7);
}

TEST(LzsFrames, NamesWhatIsWrong) {
    const auto content = textSample();
    const LzsFileOptions framed{32, 8, true, {}, LzsEncoder::exact};
    const auto packed = compressBytes(content, framed);
    auto withLast = [&](auto change) {
        auto bytes = packed;
        change(bytes);
        return std::get<std::string>(decompressBytes(bytes, framed));
    };
    std::mt19937 random(7);
    std::vector<std::uint8_t> noise(500);
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
    EXPECT_EQ(std::get<std::string>(decompressBytes(noise, framed)), "f.lzs: not an LZS file");
    EXPECT_EQ(std::get<std::string>(decompressBytes({0x89, 'L'}, framed)), "f.lzs: not an LZS file");
    // A bare stream is no frame; --raw reads it.
    const auto raw = compressBytes(content, {32, 8, false, {}, LzsEncoder::exact});
    EXPECT_EQ(std::get<std::string>(decompressBytes(raw, framed)), "f.lzs: not an LZS file");
    EXPECT_EQ(std::get<std::vector<std::uint8_t>>(decompressBytes(raw, {32, 8, false, {}, LzsEncoder::exact})),
              content);
    EXPECT_EQ(withLast([](auto& b) { b[4] = 3; }), "f.lzs: unsupported LZS file (flags 3)");
    EXPECT_EQ(withLast([](auto& b) { b.push_back(0); }), "f.lzs: corrupt LZS file (data after the trailer)");
    EXPECT_EQ(withLast([](auto& b) { b.pop_back(); }), "f.lzs: truncated LZS file (in the trailer)");
    EXPECT_EQ(withLast([](auto& b) { b.back() ^= 1; }),
              "f.lzs: corrupt LZS file (content length differs from the trailer's)");
    EXPECT_EQ(withLast([](auto& b) { b[b.size() - 12] ^= 1; }), "f.lzs: corrupt LZS file (CRC-32 mismatch)");
    EXPECT_EQ(withLast([](auto& b) { b.erase(b.end() - 20, b.end()); }), "f.lzs: truncated LZS stream (no end marker)");
    for (size_t length = 0; length < packed.size(); ++length)
        EXPECT_TRUE(std::holds_alternative<std::string>(
            decompressBytes(std::vector<std::uint8_t>(packed.begin(), packed.begin() + length), framed)))
            << "cut to " << length;
}

TEST(LzsFrames, ReportProgressAsInputIsRead) {
    const auto content = sampleBlock(5000, 4);
    std::vector<std::uint64_t> seen;
    compressBytes(content, {1000, 8, true, [&](std::uint64_t bytes) { seen.push_back(bytes); }, LzsEncoder::exact});
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{1000, 2000, 3000, 4000, 5000}));
}

// ---- The best encoder ---------------------------------------------------------

TEST(LzsBestBands, DecodeToTheBandAndNeverExceedTheExactStream) {
    BandCompressor exact(LzsEncoder::exact, 8), best(LzsEncoder::best, 8);
    DecompressionHistory decompression;
    CompressionHistory reference;
    std::uint64_t savedInAll = 0;
    // One compressor after another band, as a worker uses it: nothing of
    // an earlier band may leak into the next.
    for (const size_t size : {size_t{0}, size_t{1}, size_t{3}, size_t{4096}, size_t{100000}, size_t{2000}}) {
        const auto block = sampleBlock(size, static_cast<unsigned>(size));
        std::vector<std::uint8_t> exactStream, bestStream, back(size), direct;
        EXPECT_EQ(exact.compress(block, exactStream), 0u);
        compressBlock(block, 8, reference, direct);
        EXPECT_EQ(exactStream, direct) << "the exact encoder is LZS_Compress itself";
        const std::uint64_t saved = best.compress(block, bestStream);
        decompressBlock(bestStream, back, decompression, "band");
        EXPECT_EQ(back, block) << size << " bytes";
        EXPECT_EQ(saved, exactStream.size() - bestStream.size()) << size << " bytes";
        savedInAll += saved;
    }
    EXPECT_GT(savedInAll, 0u);
    // Words: where the greedy search leaves the most behind.
    std::mt19937 random(5);
    const char* const words[] = {"the ", "plane ", "band ", "of ", "stream ", "a ", "match ", "offset "};
    std::vector<std::uint8_t> text;
    while (text.size() < 20000) {
        const char* word = words[random() % 8];
        text.insert(text.end(), word, word + std::strlen(word));
    }
    std::vector<std::uint8_t> exactStream, bestStream, back(text.size());
    exact.compress(text, exactStream);
    const std::uint64_t saved = best.compress(text, bestStream);
    decompressBlock(bestStream, back, decompression, "words");
    EXPECT_EQ(back, text);
    EXPECT_GT(saved, exactStream.size() / 20) << "5% smaller at least";
}

TEST(LzsBestBands, KeepTheExactStreamWhereItIsSmaller) {
    // Bytes that only just repeat: the optimal parse may pad its end one
    // byte longer than the exact stream, which is kept then.
    BandCompressor best(LzsEncoder::best, 255);
    CompressionHistory history;
    for (unsigned seed = 0; seed < 40; ++seed) {
        std::mt19937 random(seed);
        std::vector<std::uint8_t> block(200 + seed), exactStream, bestStream;
        for (auto& byte : block) byte = static_cast<std::uint8_t>(random() % 4);
        compressBlock(block, 255, history, exactStream);
        const std::uint64_t saved = best.compress(block, bestStream);
        EXPECT_LE(bestStream.size(), exactStream.size());
        EXPECT_EQ(saved, exactStream.size() - bestStream.size());
        if (saved == 0) {
            EXPECT_EQ(bestStream, exactStream);
        }
    }
}

TEST(LzsBestBands, EncoderNames) {
    EXPECT_EQ(lzsEncoderNamed("exact"), LzsEncoder::exact);
    EXPECT_EQ(lzsEncoderNamed("best"), LzsEncoder::best);
    EXPECT_EQ(lzsEncoderNamed("Best"), std::nullopt);
    EXPECT_EQ(lzsEncoderNamed(""), std::nullopt);
    EXPECT_STREQ(lzsEncoderName(LzsEncoder::best), "best");
    EXPECT_STREQ(lzsEncoderName(LzsEncoder::exact), "exact");
}

TEST(LzsBestFiles, RoundTripFramedAndRawThroughSmallBuffers) {
    for (const size_t size : {size_t{0}, size_t{1}, size_t{300}, size_t{70000}})
        for (const bool framed : {true, false}) {
            const auto content = sampleBlock(size, 11);
            LzsFileOptions options{16, 8, framed, {}, LzsEncoder::exact};
            const auto exactPacked = compressBytes(content, options);
            options.encoder = LzsEncoder::best;
            std::vector<std::uint64_t> seen;
            options.onInput = [&](std::uint64_t bytes) { seen.push_back(bytes); };
            const auto packed = compressBytes(content, options);
            // The reader knows nothing of the encoder.
            const auto back = decompressBytes(packed, {16, 8, framed, {}, LzsEncoder::exact});
            ASSERT_TRUE(std::holds_alternative<std::vector<std::uint8_t>>(back)) << std::get<std::string>(back);
            EXPECT_EQ(std::get<std::vector<std::uint8_t>>(back), content) << size << " bytes, framed " << framed;
            if (size >= 300) {
                EXPECT_LT(packed.size(), exactPacked.size()) << size;
            }
            EXPECT_EQ(seen.empty() ? 0 : seen.back(), size);
            if (framed) {
                EXPECT_TRUE(std::equal(std::begin(lzsFrameMagic), std::end(lzsFrameMagic), packed.begin()));
            }
        }
}

}  // namespace
}  // namespace huecl::pages
