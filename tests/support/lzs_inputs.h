// Inputs that the LZS tests, benchmarks and fuzzers share: random bytes,
// word text and 1-bit planes of dithered pages, each made from a seed so
// that every run sees the same bytes. The golden tables in tests/data/lzs
// pin sizes and checksums of streams made from these inputs, so a change
// to any generator shows up there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

// xorshift32: the same sequence on every target. A zero state stays zero.
inline std::uint32_t nextRandom(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

inline std::vector<std::uint8_t> randomBytes(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(nextRandom(seed) >> 24);
    return bytes;
}

inline std::vector<std::uint8_t> textBytes(std::size_t size, std::uint32_t seed = 7) {
    static const char* const words[] = {
        "the ",      "printer ", "colour ",   "band ",   "of ",      "page ", "and ",     "row ",    "plane ",  "a ",
        "density ",  "cyan ",    "magenta ",  "yellow ", "black ",   "to ",   "is ",      "dither ", "screen ", "in ",
        "halftone ", "driver, ", "compress ", "each ",   "table.\n", "with ", "history ", "stream "};
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < size) {
        const char* word = words[nextRandom(seed) % (sizeof words / sizeof *words)];
        for (; *word && bytes.size() < size; ++word) bytes.push_back(static_cast<std::uint8_t>(*word));
    }
    return bytes;
}

// One-bit planes of an ordered-dithered page: rows of a smooth gradient
// with a few shapes, thresholded against a 4x4 Bayer matrix, packed MSB
// first. Long runs of 0x00 and 0xFF with repeating dither patterns between.
inline std::vector<std::uint8_t> ditheredPlanes(std::size_t size) {
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    const std::size_t rowBytes = 600;  // 4800 dots
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size);
    for (std::size_t row = 0; bytes.size() < size; ++row) {
        for (std::size_t column = 0; column < rowBytes && bytes.size() < size; ++column) {
            std::uint8_t packed = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const std::size_t x = column * 8 + static_cast<std::size_t>(bit);
                int level = static_cast<int>((x * 17 + row * 3) % 4800) * 16 / 4800;         // gradient 0-15
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
inline std::vector<std::uint8_t> ditheredPage(std::size_t size) {
    static const int bayer8[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                     {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                     {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                     {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
    const std::size_t rowBytes = 600;
    std::uint32_t noise = 77;
    std::vector<std::uint8_t> bytes;
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
                        if (level > bayer8[pageRow % 8][x % 8])
                            packed = static_cast<std::uint8_t>(packed | (0x80 >> bit));
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

}  // namespace testsupport
