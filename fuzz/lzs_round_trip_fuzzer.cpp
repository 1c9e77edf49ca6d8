// Compresses fuzzer-chosen bytes with fuzzer-chosen flags, budget and
// splits, then decompresses the result in fuzzer-chosen pieces: the bytes
// must come back exactly.
//
// Input: byte 0 the compressor's flags (low five bits; with flag 1 every
// source piece closes a stream), byte 1 the budget, byte 2 bit 0 the
// decompressor's flag 4 and bit 1 a fresh budget and fresh flags 4, 8 and
// 16 for every call, a fresh flag 2 whenever the output was handed back
// and a fresh flag 1 with every source piece (flags 1 and 2 must stay
// while the library keeps the source or output pair),
// bytes 3-6 seed the splits, the rest is the payload.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "lzs_fuzz_driver.h"

namespace {

using namespace lzs_fuzz;

Bytes compress(const Bytes& input, std::uint32_t flags, std::uint32_t performance, bool varyPerCall,
               Splitter& splitter) {
    Bytes compressed;
    std::unique_ptr<std::uint8_t[]> history(new std::uint8_t[LZS_SizeOfCompressionHistory()]);
    require(LZS_InitCompressionHistory(history.get()) == 1);
    // Each piece of source sits in a heap block of its own, exactly its
    // size, so that the address sanitizer sees any read outside it. Now and
    // then a host offers an empty piece.
    std::size_t given = 0;
    std::size_t piece = 0;
    std::unique_ptr<std::uint8_t[]> block;
    std::uint8_t* src = nullptr;
    std::uint32_t srcCount = 0;
    const auto offerNextPiece = [&] {
        const std::size_t left = input.size() - given;
        piece = left != 0 && splitter.next() % 16 == 0 ? 0 : splitter.pieceSize(left);
        block.reset(new std::uint8_t[piece]);
        if (piece != 0) std::memcpy(block.get(), input.data() + given, piece);
        src = block.get();
        srcCount = static_cast<std::uint32_t>(piece);
    };
    offerNextPiece();
    std::size_t roomSize = 16 + splitter.next() % 200;
    std::unique_ptr<std::uint8_t[]> room(new std::uint8_t[roomSize]);
    std::uint8_t* dst = room.get();
    std::uint32_t dstCount = static_cast<std::uint32_t>(roomSize);
    bool outputHandedBack = true;
    std::uint32_t closeWhenFull = flags & LZS_FLAG_CLOSE_WHEN_FULL;
    std::uint32_t closeAtEnd = flags & LZS_FLAG_CLOSE_AT_END;
    bool newPiece = true;
    for (;;) {
        const bool last = given + piece >= input.size();
        std::uint32_t callFlags = flags;
        std::uint32_t callBudget = performance;
        if (varyPerCall) {
            const std::uint32_t pick = splitter.next();
            if (outputHandedBack) closeWhenFull = pick & LZS_FLAG_CLOSE_WHEN_FULL;
            if (newPiece) closeAtEnd = (pick >> 16) & LZS_FLAG_CLOSE_AT_END;
            callFlags = closeAtEnd | closeWhenFull | (pick & 28);
            callBudget = (pick >> 8) & 255;
        }
        const std::uint32_t result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(),
                                                  callFlags | (last ? LZS_FLAG_CLOSE_AT_END : 0), callBudget);
        require(result != 0);
        outputHandedBack = (result & (LZS_RESULT_DEST_FULL | LZS_RESULT_STREAM_END)) != 0;
        newPiece = false;
        const bool finished = last && (result & LZS_RESULT_STREAM_END) && srcCount == 0;
        if (result & (LZS_RESULT_DEST_FULL | LZS_RESULT_STREAM_END)) {
            compressed.insert(compressed.end(), room.get(), dst);
            if (finished) return compressed;
            // A stream that ended keeping its history is paused, and a
            // paused stream takes any room, down to one byte.
            const bool paused = (result & LZS_RESULT_STREAM_END) && (callFlags & LZS_FLAG_KEEP_HISTORY);
            roomSize = paused ? 1 + splitter.next() % 215 : 16 + splitter.next() % 200;
            room.reset(new std::uint8_t[roomSize]);
            dst = room.get();
            dstCount = static_cast<std::uint32_t>(roomSize);
        }
        if ((result & (LZS_RESULT_SOURCE_EMPTY | LZS_RESULT_STREAM_END)) && srcCount == 0 && !last) {
            given += piece;
            offerNextPiece();
            newPiece = true;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 7) return 0;
    const std::uint32_t flags = data[0] & 31;
    const std::uint32_t performance = data[1];
    // Streams closed with flag 4 refer to the one before: the decompressor
    // then needs its flag 4 too; otherwise either setting must work.
    const bool varyPerCall = (data[2] & 2) != 0;
    const bool keepHistory = (flags & LZS_FLAG_KEEP_HISTORY) != 0 || (data[2] & 1) != 0 || varyPerCall;
    const std::uint32_t decodeFlags = keepHistory ? LZS_FLAG_KEEP_HISTORY_ACROSS_END : 0;
    const std::uint32_t seed = data[3] | data[4] << 8 | data[5] << 16 | static_cast<std::uint32_t>(data[6]) << 24;
    const Bytes input(data + 7, data + size);

    Splitter splitter(seed);
    const Bytes compressed = compress(input, flags, performance, varyPerCall, splitter);
    const Decoded decoded = decodeAll(compressed, &splitter, decodeFlags, input.size() + 1);
    require(!decoded.refused);
    require(decoded.output == input);
    return 0;
}
