// What the LZS fuzz targets share: a small generator that turns a few input
// bytes into split points, and a host loop that decodes a byte sequence
// through LZS_Decompress in pieces, each piece in its own heap block so that
// the address sanitizer sees any access outside it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "huecl32.h"
#include "tests/support/lzs_inputs.h"

namespace lzs_fuzz {

using Bytes = std::vector<std::uint8_t>;

inline void require(bool condition) {
    if (!condition) std::abort();
}

// Split sizes from a 32-bit seed: mostly small, sometimes everything.
class Splitter {
public:
    explicit Splitter(std::uint32_t seed) : state_(seed | 1) {}
    std::uint32_t next() { return testsupport::nextRandom(state_); }
    std::size_t pieceSize(std::size_t left) {
        if (left == 0) return 0;
        const std::uint32_t pick = next();
        std::size_t size;
        switch (pick % 4) {
            case 0: size = 1; break;
            case 1: size = 1 + (pick >> 8) % 7; break;
            case 2: size = 1 + (pick >> 8) % 300; break;
            default: size = left; break;
        }
        return size < left ? size : left;
    }

private:
    std::uint32_t state_;
};

struct Decoded {
    Bytes output;  // what was handed back: a stream cut short keeps its tail unseen
    bool refused = false;
    bool endedCleanly = false;  // the last stream's end marker used up the input
};

// Decodes every stream in `stream`, back to back, with pieces of source and
// room chosen by `splitter` (or whole when splitter is null). Stops at a
// refusal or when `maxOutput` bytes have come out.
inline Decoded decodeAll(const Bytes& stream, Splitter* splitter, std::uint32_t flags, std::size_t maxOutput) {
    Decoded decoded;
    std::unique_ptr<std::uint8_t[]> history(new std::uint8_t[LZS_SizeOfDecompressionHistory()]);
    require(LZS_InitDecompressionHistory(history.get()) == 1);

    std::size_t consumed = 0;  // stream bytes handed back as used
    std::size_t pieceSize = splitter ? splitter->pieceSize(stream.size()) : stream.size();
    std::unique_ptr<std::uint8_t[]> piece(new std::uint8_t[pieceSize + 1]);
    if (pieceSize != 0) std::memcpy(piece.get(), stream.data(), pieceSize);
    std::uint8_t* src = piece.get();
    std::uint32_t srcCount = static_cast<std::uint32_t>(pieceSize);

    std::size_t roomSize = splitter ? splitter->pieceSize(maxOutput) : maxOutput;
    std::unique_ptr<std::uint8_t[]> room(new std::uint8_t[roomSize + 1]);
    std::uint8_t* dst = room.get();
    std::uint32_t dstCount = static_cast<std::uint32_t>(roomSize);
    std::uint32_t idleCalls = 0;

    for (;;) {
        const std::uint32_t result = LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), flags);
        if (result == 0) {
            decoded.refused = true;
            // A refused history stays refused until it is initialised again.
            require(LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.get(), flags) == 0);
            return decoded;
        }
        require(result <= 7);
        const bool sourceBack = (result & (LZS_RESULT_SOURCE_EMPTY | LZS_RESULT_STREAM_END)) != 0;
        const bool destinationBack = (result & (LZS_RESULT_DEST_FULL | LZS_RESULT_STREAM_END)) != 0;
        if (sourceBack) {
            require(src >= piece.get() && src + srcCount == piece.get() + pieceSize);
            if (result & LZS_RESULT_SOURCE_EMPTY) require(srcCount == 0);
        }
        if (destinationBack) require(dst >= room.get() && dst + dstCount == room.get() + roomSize);
        if (result & LZS_RESULT_DEST_FULL) require(dstCount == 0);

        bool progressed = false;
        if (destinationBack && (dstCount == 0 || (result & LZS_RESULT_STREAM_END))) {
            // Keep what came out; offer fresh room in a new block.
            const std::size_t written = static_cast<std::size_t>(dst - room.get());
            decoded.output.insert(decoded.output.end(), room.get(), dst);
            if (decoded.output.size() >= maxOutput) return decoded;
            roomSize =
                splitter ? splitter->pieceSize(maxOutput - decoded.output.size()) : maxOutput - decoded.output.size();
            room.reset(new std::uint8_t[roomSize + 1]);
            dst = room.get();
            dstCount = static_cast<std::uint32_t>(roomSize);
            progressed = written != 0;
        }
        if (sourceBack) {
            consumed += static_cast<std::size_t>(src - piece.get());
            decoded.endedCleanly = (result & LZS_RESULT_STREAM_END) != 0 && consumed >= stream.size();
            progressed = progressed || src != piece.get();
            if (consumed >= stream.size() && (result & LZS_RESULT_SOURCE_EMPTY)) {
                // Everything is in; one more call decodes what waits in carry.
                if (++idleCalls > 2) return decoded;
            }
            pieceSize = splitter ? splitter->pieceSize(stream.size() - consumed) : stream.size() - consumed;
            piece.reset(new std::uint8_t[pieceSize + 1]);
            if (pieceSize != 0) std::memcpy(piece.get(), stream.data() + consumed, pieceSize);
            src = piece.get();
            srcCount = static_cast<std::uint32_t>(pieceSize);
        }
        if (progressed) idleCalls = 0;
    }
}

}  // namespace lzs_fuzz
