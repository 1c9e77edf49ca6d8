// Compressed sizes and checksums of a fixed corpus, committed in
// tests/data/lzs/compress_streams.csv: any change to the match finder or
// the token writer shows up as a diff there. Set HUECL_PRINT_GOLDEN=1 to
// print the current table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/lzs_compress_test_support.h"
#include "huecl32.h"

namespace {

using namespace lzs_test;

std::uint32_t fnv1a(const Bytes& bytes) {
    std::uint32_t hash = 2166136261u;
    for (std::uint8_t b : bytes) hash = (hash ^ b) * 16777619u;
    return hash;
}

Bytes goldenCorpus(const std::string& name) {
    if (name == "planes") return ditheredPlanes(20000);
    if (name == "text") return textBytes(20000, 17);
    if (name == "random") return randomBytes(6000, 4242);
    Bytes runs(3000, 0);
    const Bytes text = textBytes(500, 2);
    runs.insert(runs.end(), text.begin(), text.end());
    runs.insert(runs.end(), 900, 0xFF);
    return runs;
}

// room 0: one call with ample output; otherwise outputs of room bytes, one
// after another (flag 2 streams are joined as they come).
Bytes compressCase(const Bytes& input, std::uint32_t budget, std::uint32_t flags, std::uint32_t room) {
    if (room == 0) return compressOnce(input, flags, budget).output;
    if ((flags & LZS_FLAG_CLOSE_WHEN_FULL) == 0) return compressInPieces(input, flags, budget, room);
    History history;
    Bytes source = input;
    std::uint8_t* src = source.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(source.size());
    Bytes joined;
    for (int calls = 0; calls < 100000; ++calls) {
        Bytes piece(room);
        std::uint8_t* dst = piece.data();
        std::uint32_t dstCount = room;
        const std::uint32_t result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), flags, budget);
        joined.insert(joined.end(), piece.begin(), piece.begin() + (room - dstCount));
        if (result != 6u) break;
    }
    return joined;
}

// The source fed in pieces of `piece` bytes, the last one with flag 1 (with
// flag 1 in flags every piece closes its own stream), into outputs of room
// bytes (room 0: ample room).
Bytes compressFedInPieces(const Bytes& input, std::uint32_t budget, std::uint32_t flags, std::uint32_t piece,
                          std::uint32_t room) {
    History history;
    Bytes source = input;
    const std::uint32_t roomSize = room != 0 ? room : static_cast<std::uint32_t>(input.size() * 2 + 64);
    Bytes out(roomSize);
    Bytes joined;
    std::uint8_t* dst = out.data();
    std::uint32_t dstCount = roomSize;
    std::size_t given = 0;
    std::size_t size = std::min<std::size_t>(piece, input.size());
    std::uint8_t* src = source.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(size);
    for (int calls = 0; calls < 1000000; ++calls) {
        const bool last = given + size >= input.size();
        const std::uint32_t result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(),
                                                  flags | (last ? LZS_FLAG_CLOSE_AT_END : 0), budget);
        if (result == 0) return {};
        if (result & (LZS_RESULT_DEST_FULL | LZS_RESULT_STREAM_END)) {
            joined.insert(joined.end(), out.data(), dst);
            dst = out.data();
            dstCount = roomSize;
            if (last && (result & LZS_RESULT_STREAM_END) && srcCount == 0) return joined;
        }
        if ((result & (LZS_RESULT_SOURCE_EMPTY | LZS_RESULT_STREAM_END)) && srcCount == 0 && !last) {
            given += size;
            size = std::min<std::size_t>(piece, input.size() - given);
            src = source.data() + given;
            srcCount = static_cast<std::uint32_t>(size);
        }
    }
    return {};
}

// Checks a golden table: a header line, then rows of key fields (the
// corpus first), the output's size and its checksum; `make` builds the
// output from the corpus and the key fields. The streams of each output
// decode one after another (each on its own, or given the ones before it
// as history) and together give the corpus back, so a pinned checksum is
// of sound streams. HUECL_PRINT_GOLDEN=1 prints the table as it now is.
void checkGoldenTable(const std::string& path, bool streamsReferBack,
                      const std::function<Bytes(const Bytes&, const std::vector<unsigned long>&)>& make) {
    std::ifstream file(path);
    ASSERT_TRUE(file) << "missing " << path;
    const bool print = std::getenv("HUECL_PRINT_GOLDEN") != nullptr;
    std::string line;
    std::getline(file, line);  // header
    int rows = 0;
    while (std::getline(file, line)) {
        if (line.empty()) continue;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
        ASSERT_GE(fields.size(), 3u) << line;
        const std::string& checksum = fields.back();
        const unsigned long size = std::stoul(fields[fields.size() - 2]);
        std::vector<unsigned long> keys;
        for (std::size_t index = 1; index + 2 < fields.size(); ++index) keys.push_back(std::stoul(fields[index]));
        const Bytes input = goldenCorpus(fields[0]);
        const Bytes output = make(input, keys);
        ASSERT_FALSE(output.empty()) << line;
        Bytes joined;
        for (std::size_t at = 0; at < output.size();) {
            const Decoded decoded =
                decodeStream(output.data() + at, output.size() - at, streamsReferBack ? joined : Bytes{});
            ASSERT_TRUE(decoded.ok) << line << ": " << decoded.error;
            joined.insert(joined.end(), decoded.output.begin(), decoded.output.end());
            at += decoded.streamBytes;
        }
        EXPECT_EQ(joined, input) << line;
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", fnv1a(output));
        if (print) {
            std::printf("%s", fields[0].c_str());
            for (unsigned long key : keys) std::printf(",%lu", key);
            std::printf(",%zu,%s\n", output.size(), hex);
        }
        EXPECT_EQ(output.size(), size) << line;
        EXPECT_EQ(hex, checksum) << line;
        ++rows;
    }
    EXPECT_GT(rows, 0);
}

// Rows: corpus, budget, flags, room, size, checksum.
TEST(LzsCompressGolden, SizesAndChecksumsOfTheFixedCorpus) {
    checkGoldenTable(HUECL_TEST_DATA "/lzs/compress_streams.csv", false,
                     [](const Bytes& input, const std::vector<unsigned long>& keys) {
                         return compressCase(input, keys.at(0), keys.at(1), keys.at(2));
                     });
}

// Streams fed in pieces: paused streams that go on through the kept
// history, streams closed per piece with and without kept history, and
// output-sized streams, each at several output rooms. Rows: corpus,
// budget, flags, piece, room, size, checksum.
TEST(LzsCompressGolden, StreamsFedInPieces) {
    checkGoldenTable(HUECL_TEST_DATA "/lzs/compress_pieces.csv", true,
                     [](const Bytes& input, const std::vector<unsigned long>& keys) {
                         return compressFedInPieces(input, keys.at(0), keys.at(1), keys.at(2), keys.at(3));
                     });
}

}  // namespace
