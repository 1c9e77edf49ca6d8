// CMYK back to RGB through the export: every grid size against a
// corner-by-corner model, the blank and black-only paths, and the byte
// order of entry 0.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "huecl32.h"

namespace {

using Rgb = std::array<std::uint8_t, 3>;  // as written: blue, green, red
using Cmyk = std::array<std::uint8_t, 4>;

std::vector<std::uint8_t> randomTable(std::uint32_t n, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> table(3 * std::size_t{n} * n * n * n);
    for (std::uint8_t& byte : table) byte = static_cast<std::uint8_t>(random());
    return table;
}

std::size_t entryIndex(std::uint32_t n, std::size_t k, std::size_t c, std::size_t m, std::size_t y) {
    return ((k * n + c) * n + m) * n + y;
}

// The conversion written out in 64 bits, one corner and one slice at a time.
Rgb referenceConversion(Cmyk pixel, std::uint32_t n, const std::vector<std::uint8_t>& table) {
    if (pixel == Cmyk{0, 0, 0, 0}) return {table[0], table[1], table[2]};
    std::uint64_t low[4], high[4], fraction[4];
    for (int axis = 0; axis < 4; ++axis) {
        const std::uint64_t p = std::uint64_t{pixel[axis]} * (n - 1);
        low[axis] = p / 255;
        high[axis] = (p + 254) / 255;
        fraction[axis] = p % 255;
    }
    const bool blackOnly = pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0;
    std::uint64_t sliceValue[2][3];
    for (int slice = 0; slice < 2; ++slice) {
        const std::uint64_t k = slice == 0 ? low[3] : high[3];
        for (int byte = 0; byte < 3; ++byte) {
            if (blackOnly) {
                sliceValue[slice][byte] = table[3 * entryIndex(n, k, 0, 0, 0) + byte];
                continue;
            }
            std::uint64_t sum = 0;
            for (int corner = 0; corner < 8; ++corner) {
                std::uint64_t weight = 1, at[3];
                for (int axis = 0; axis < 3; ++axis) {
                    const bool takesHigh = (corner >> axis) & 1;
                    weight *= takesHigh ? fraction[axis] : 255 - fraction[axis];
                    at[axis] = takesHigh ? high[axis] : low[axis];
                }
                sum += weight * table[3 * entryIndex(n, k, at[0], at[1], at[2]) + byte];
            }
            sliceValue[slice][byte] = (sum + 8290687) / 16581375;
        }
    }
    Rgb out{};
    for (int byte = 0; byte < 3; ++byte) {
        const std::uint64_t value =
            blackOnly || fraction[3] != 0
                ? (sliceValue[0][byte] * (255 - fraction[3]) + sliceValue[1][byte] * fraction[3] + 127) / 255
                : sliceValue[0][byte];
        out[2 - byte] = static_cast<std::uint8_t>(value);
    }
    return out;
}

std::vector<Rgb> convert(const std::vector<Cmyk>& pixels, std::uint32_t gridSize,
                         const std::vector<std::uint8_t>& table) {
    std::vector<std::uint8_t> source;
    for (const Cmyk& p : pixels) source.insert(source.end(), p.begin(), p.end());
    const std::vector<std::uint8_t> sourceBefore = source;
    std::vector<std::uint8_t> destination(3 * pixels.size() + 3, 0xEE);
    QvrColCnvC2r(static_cast<std::uint32_t>(pixels.size()), source.data(), destination.data(), gridSize, table.data());
    EXPECT_EQ(source, sourceBefore) << "the source row is only read";
    EXPECT_EQ(destination[3 * pixels.size()], 0xEE) << "wrote past the row";
    std::vector<Rgb> out(pixels.size());
    for (std::size_t i = 0; i < pixels.size(); ++i)
        out[i] = {destination[3 * i], destination[3 * i + 1], destination[3 * i + 2]};
    return out;
}

Rgb convert(Cmyk pixel, std::uint32_t gridSize, const std::vector<std::uint8_t>& table) {
    return convert(std::vector<Cmyk>{pixel}, gridSize, table)[0];
}

Rgb reversedEntry(const std::vector<std::uint8_t>& table, std::size_t index) {
    return {table[3 * index + 2], table[3 * index + 1], table[3 * index]};
}

// Random pixels mixed with the cases that take their own paths: blank,
// black alone, one colorant, full colorant, runs of one pixel.
std::vector<Cmyk> mixedPixels(std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Cmyk> pixels = {{0, 0, 0, 0}, {0, 0, 0, 255}, {0, 0, 0, 1},   {255, 255, 255, 255}, {255, 0, 0, 0},
                                {0, 0, 1, 0}, {0, 0, 0, 128}, {0, 0, 0, 128}, {0, 0, 0, 0},         {9, 0, 0, 77}};
    for (int i = 0; i < 600; ++i) {
        const std::uint32_t bits = random();
        const std::uint32_t kind = random() % 4;
        Cmyk p = {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                  static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
        if (kind == 0) p[0] = p[1] = p[2] = 0;  // black alone
        if (kind == 1) p[3] = 0;                // no black
        pixels.push_back(p);
        if (kind == 2) pixels.push_back(p);  // a run of two
    }
    return pixels;
}

TEST(CmykToRgb, EveryGridSizeAgreesWithTheCornerByCornerModel) {
    for (std::uint32_t n = 1; n <= 9; ++n) {
        const std::vector<std::uint8_t> table = randomTable(n, n);
        const std::vector<Cmyk> pixels = mixedPixels(100 + n);
        const std::vector<Rgb> result = convert(pixels, n, table);
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            ASSERT_EQ(result[i], referenceConversion(pixels[i], n, table))
                << "grid " << n << " pixel " << int(pixels[i][0]) << "," << int(pixels[i][1]) << ","
                << int(pixels[i][2]) << "," << int(pixels[i][3]);
        }
    }
}

TEST(CmykToRgb, GridSizeZeroWorksAsOne) {
    const std::vector<std::uint8_t> table = randomTable(1, 7);
    const std::vector<Cmyk> pixels = mixedPixels(8);
    EXPECT_EQ(convert(pixels, 0, table), convert(pixels, 1, table));
}

TEST(CmykToRgb, PixelsOnGridPointsGiveTheirEntryReversed) {
    // With N = 18 a component that is a multiple of 15 lies on a grid point.
    const std::uint32_t n = 18;
    const std::vector<std::uint8_t> table = randomTable(n, 9);
    std::mt19937 random(10);
    for (int i = 0; i < 300; ++i) {
        Cmyk p;
        std::size_t grid[4];
        for (int axis = 0; axis < 4; ++axis) {
            grid[axis] = random() % n;
            p[axis] = static_cast<std::uint8_t>(15 * grid[axis]);
        }
        if (p == Cmyk{0, 0, 0, 0}) continue;
        ASSERT_EQ(convert(p, n, table), reversedEntry(table, entryIndex(n, grid[3], grid[0], grid[1], grid[2])));
    }
}

TEST(CmykToRgb, BlackAloneBlendsTheBlankEntriesOfTwoSlices) {
    std::vector<std::uint8_t> table = randomTable(2, 11);
    const std::size_t blackEntry = entryIndex(2, 1, 0, 0, 0);
    EXPECT_EQ(convert(Cmyk{0, 0, 0, 255}, 2, table), reversedEntry(table, blackEntry));
    // Black 128 of a two-point grid: weights 127 for slice 0, 128 for slice 1.
    Rgb expected;
    for (int byte = 0; byte < 3; ++byte) {
        expected[2 - byte] =
            static_cast<std::uint8_t>((table[byte] * 127 + table[3 * blackEntry + byte] * 128 + 127) / 255);
    }
    EXPECT_EQ(convert(Cmyk{0, 0, 0, 128}, 2, table), expected);
}

TEST(CmykToRgb, BlankPixelCopiesEntryZeroInStoredOrder) {
    std::vector<std::uint8_t> table = randomTable(3, 12);
    table[0] = 10;
    table[1] = 20;
    table[2] = 30;
    EXPECT_EQ(convert(Cmyk{0, 0, 0, 0}, 3, table), (Rgb{10, 20, 30}));
    // The slightest black already goes through the reversing path.
    table[3 * entryIndex(3, 1, 0, 0, 0)] = 10;
    table[3 * entryIndex(3, 1, 0, 0, 0) + 1] = 20;
    table[3 * entryIndex(3, 1, 0, 0, 0) + 2] = 30;
    EXPECT_EQ(convert(Cmyk{0, 0, 0, 1}, 3, table), (Rgb{30, 20, 10}));
}

TEST(CmykToRgb, FullTableNeedsAllThirtyTwoBitsOfTheSums) {
    // Every entry 255 makes every weighted sum 255^4 plus the rounding term,
    // which a signed or 31-bit sum gets wrong.
    const std::uint32_t n = 5;
    const std::vector<std::uint8_t> table(3 * n * n * n * n, 255);
    for (const Rgb& rgb : convert(mixedPixels(13), n, table)) ASSERT_EQ(rgb, (Rgb{255, 255, 255}));
}

TEST(CmykToRgb, CountZeroWritesNothing) {
    const std::vector<std::uint8_t> table = randomTable(2, 14);
    const std::uint8_t source[4] = {1, 2, 3, 4};
    std::uint8_t destination[3] = {0xEE, 0xEE, 0xEE};
    QvrColCnvC2r(0, source, destination, 2, table.data());
    EXPECT_EQ(destination[0], 0xEE);
    EXPECT_EQ(destination[2], 0xEE);
}

}  // namespace
