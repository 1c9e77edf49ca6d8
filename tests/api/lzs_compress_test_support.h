// Test-side helpers for the compressor: a plain bit reader that decodes
// LZS streams token by token (independent of the library's decoder), the
// inputs the tests and benchmarks share, and call loops over LZS_Compress.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "huecl32.h"

namespace lzs_test {

using Bytes = std::vector<std::uint8_t>;

struct Token {
    bool literal;
    std::uint8_t byte;      // literal
    std::uint32_t offset;   // match
    std::uint32_t length;   // match
    bool shortForm;         // match coded with the 7-bit offset
    bool operator==(const Token&) const = default;
};

inline Token literal(std::uint8_t byte) { return Token{true, byte, 0, 0, false}; }
inline Token match(std::uint32_t offset, std::uint32_t length) {
    return Token{false, 0, offset, length, offset < 128};
}

struct Decoded {
    bool ok = false;         // a well-formed stream with its end marker
    std::string error;
    Bytes output;            // this stream's bytes only
    std::vector<Token> tokens;
    std::size_t streamBytes = 0;  // bytes up to and including the padding
    bool paddingIsZero = true;
};

class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool read(unsigned count, std::uint32_t& value) {
        value = 0;
        for (unsigned k = 0; k < count; ++k) {
            if (bit_ >= size_ * 8) return false;
            value = (value << 1) | ((data_[bit_ / 8] >> (7 - bit_ % 8)) & 1u);
            ++bit_;
        }
        return true;
    }
    std::size_t bitPosition() const { return bit_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t bit_ = 0;
};

// Decodes one stream from the start of data. history holds earlier output
// that matches may reach (kept history across a close).
inline Decoded decodeStream(const std::uint8_t* data, std::size_t size, const Bytes& history = {}) {
    Decoded result;
    BitReader reader(data, size);
    Bytes window = history;
    const std::size_t start = window.size();
    auto fail = [&](const char* why) {
        result.error = why;
        result.output.assign(window.begin() + static_cast<std::ptrdiff_t>(start), window.end());
        return result;
    };
    for (;;) {
        std::uint32_t flag, value;
        if (!reader.read(1, flag)) return fail("stream ends without end marker");
        if (flag == 0) {
            if (!reader.read(8, value)) return fail("truncated literal");
            window.push_back(static_cast<std::uint8_t>(value));
            result.tokens.push_back(literal(static_cast<std::uint8_t>(value)));
            continue;
        }
        std::uint32_t form;
        if (!reader.read(1, form)) return fail("truncated match");
        std::uint32_t offset;
        if (!reader.read(form ? 7 : 11, offset)) return fail("truncated offset");
        if (form && offset == 0) break;  // end marker
        std::uint32_t code, length;
        if (!reader.read(2, code)) return fail("truncated length");
        if (code < 3) {
            length = code + 2;
        } else {
            if (!reader.read(2, code)) return fail("truncated length");
            if (code < 3) {
                length = 5 + code;
            } else {
                length = 8;
                for (;;) {
                    if (!reader.read(4, code)) return fail("truncated length nibble");
                    length += code;
                    if (code != 15) break;
                }
            }
        }
        if (offset == 0 || offset > window.size()) return fail("offset before the start of the output");
        result.tokens.push_back(Token{false, 0, offset, length, form == 1});
        for (std::uint32_t k = 0; k < length; ++k) window.push_back(window[window.size() - offset]);
    }
    std::uint32_t pad;
    while (reader.bitPosition() % 8 != 0) {
        reader.read(1, pad);
        if (pad != 0) result.paddingIsZero = false;
    }
    result.streamBytes = reader.bitPosition() / 8;
    result.ok = true;
    result.output.assign(window.begin() + static_cast<std::ptrdiff_t>(start), window.end());
    return result;
}

inline Decoded decodeStream(const Bytes& data, const Bytes& history = {}) {
    return decodeStream(data.data(), data.size(), history);
}

// ---- Inputs ----------------------------------------------------------------

inline std::uint32_t nextRandom(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

inline Bytes randomBytes(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(nextRandom(seed) >> 24);
    return bytes;
}

inline Bytes textBytes(std::size_t size, std::uint32_t seed = 7) {
    static const char* const words[] = {"the ", "printer ", "colour ", "band ", "of ", "page ", "and ", "row ",
                                        "plane ", "a ", "density ", "cyan ", "magenta ", "yellow ", "black ",
                                        "to ", "is ", "dither ", "screen ", "in ", "halftone ", "driver, ",
                                        "compress ", "each ", "table.\n", "with ", "history ", "stream "};
    Bytes bytes;
    while (bytes.size() < size) {
        const char* word = words[nextRandom(seed) % (sizeof words / sizeof *words)];
        for (; *word && bytes.size() < size; ++word) bytes.push_back(static_cast<std::uint8_t>(*word));
    }
    return bytes;
}

// One-bit planes of an ordered-dithered page: rows of a smooth gradient
// with a few shapes, thresholded against a 4x4 Bayer matrix, packed MSB
// first. Long runs of 0x00 and 0xFF with repeating dither patterns between.
inline Bytes ditheredPlanes(std::size_t size) {
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    const std::size_t rowBytes = 600;  // 4800 dots
    Bytes bytes;
    bytes.reserve(size);
    for (std::size_t row = 0; bytes.size() < size; ++row) {
        for (std::size_t column = 0; column < rowBytes && bytes.size() < size; ++column) {
            std::uint8_t packed = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const std::size_t x = column * 8 + static_cast<std::size_t>(bit);
                int level = static_cast<int>((x * 17 + row * 3) % 4800) * 16 / 4800;  // gradient 0-15
                if (x > 1200 && x < 2400 && row % 600 > 100 && row % 600 < 300) level = 0;   // white box
                if (x > 3000 && x < 3600 && row % 600 > 350 && row % 600 < 500) level = 16;  // solid box
                const int threshold = bayer[row % 4][x % 4];
                if (level > threshold) packed = static_cast<std::uint8_t>(packed | (0x80 >> bit));
            }
            bytes.push_back(packed);
        }
    }
    return bytes;
}

// One plane of a dithered page, 4800 dots (600 bytes) a row: white
// margins, lines of text-like strokes, and a photo area whose smooth tones
// (with a little noise) are thresholded against an 8x8 Bayer matrix.
inline Bytes ditheredPage(std::size_t size) {
    static const int bayer8[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},   {48, 16, 56, 24, 50, 18, 58, 26},
                                     {12, 44, 4, 36, 14, 46, 6, 38},  {60, 28, 52, 20, 62, 30, 54, 22},
                                     {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
                                     {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};
    const std::size_t rowBytes = 600;
    std::uint32_t noise = 77;
    Bytes bytes;
    bytes.reserve(size);
    for (std::size_t row = 0; bytes.size() < size; ++row) {
        const std::size_t pageRow = row % 6600;  // 11 inches at 600 dpi
        const bool photoRows = pageRow >= 3000 && pageRow < 4800;
        const bool textRows = !photoRows && pageRow >= 300 && pageRow < 6300 && (pageRow % 100) < 60;
        std::uint32_t glyphSeed = static_cast<std::uint32_t>(pageRow / 100) * 7919u + 1;
        for (std::size_t column = 0; column < rowBytes && bytes.size() < size; ++column) {
            std::uint8_t packed = 0;
            if (column >= 38 && column < 562) {
                if (photoRows && column >= 100 && column < 500) {
                    for (int bit = 0; bit < 8; ++bit) {
                        const std::size_t x = column * 8 + static_cast<std::size_t>(bit);
                        const int tx = static_cast<int>(x % 1600), ty = static_cast<int>(pageRow % 900);
                        int level = (tx < 800 ? tx : 1600 - tx) / 13 + (ty < 450 ? ty : 900 - ty) / 15;  // 0-91
                        level += static_cast<int>(nextRandom(noise) % 5) - 2;
                        if (level > bayer8[pageRow % 8][x % 8]) packed = static_cast<std::uint8_t>(packed | (0x80 >> bit));
                    }
                } else if (textRows) {
                    // Glyph cells of 6 bytes: strokes where the cell's
                    // pattern and the row inside the line say so.
                    if (column % 6 == 0) nextRandom(glyphSeed);
                    const std::uint32_t glyph = glyphSeed >> (column % 6 * 4);
                    const std::size_t lineRow = pageRow % 100;
                    const bool stem = (glyph & 1) != 0 && (column % 6) < 5;
                    const bool bar = (glyph & 6) != 0 && (lineRow % 20) < 4;
                    if (stem) packed = static_cast<std::uint8_t>(0xF0 >> (glyph & 3));
                    if (bar && (column % 6) < 5) packed = 0xFF;
                    if ((glyphSeed >> 28) == 0) packed = 0;  // a space between words
                }
            }
            bytes.push_back(packed);
        }
    }
    return bytes;
}

// ---- Calling LZS_Compress --------------------------------------------------

struct History {
    History() : bytes(LZS_SizeOfCompressionHistory()) { LZS_InitCompressionHistory(bytes.data()); }
    void* get() { return bytes.data(); }
    std::vector<std::uint8_t> bytes;
};

struct CallOutcome {
    std::uint32_t result;
    Bytes output;
};

// Compresses the whole source in one call into a generous output buffer.
inline CallOutcome compressOnce(const Bytes& source, std::uint32_t flags, std::uint32_t performance,
                                History* history = nullptr) {
    History local;
    History& h = history ? *history : local;
    Bytes input = source;
    Bytes output(source.size() * 9 / 8 + 64);
    std::uint8_t* src = input.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(input.size());
    std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
    const std::uint32_t result = LZS_Compress(&src, &dst, &srcCount, &dstCount, h.get(), flags, performance);
    output.resize(output.size() - dstCount);
    if ((result & LZS_RESULT_DEST_FULL) == 0 && (result & LZS_RESULT_STREAM_END) == 0) {
        // The destination pair is saved, not handed back, without bit 2/4.
        output.resize(0);
    }
    return {result, output};
}

// Compresses source with flag 1 into output buffers of roomPerCall bytes,
// calling again with the same variables until the stream ends; returns the
// concatenated output.
inline Bytes compressInPieces(const Bytes& source, std::uint32_t flags, std::uint32_t performance,
                              std::uint32_t roomPerCall, std::vector<std::uint32_t>* results = nullptr) {
    History history;
    Bytes input = source;
    Bytes joined;
    Bytes piece(roomPerCall);
    std::uint8_t* src = input.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(input.size());
    for (int guard = 0; guard < 1000000; ++guard) {
        std::uint8_t* dst = piece.data();
        std::uint32_t dstCount = roomPerCall;
        const std::uint32_t result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), flags, performance);
        if (results) results->push_back(result);
        if (result == 0) break;
        joined.insert(joined.end(), piece.begin(), piece.begin() + (roomPerCall - dstCount));
        if (result & LZS_RESULT_STREAM_END) break;
    }
    return joined;
}

}  // namespace lzs_test
