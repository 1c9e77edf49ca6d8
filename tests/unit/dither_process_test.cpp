// The fast paths of row dithering against the general procedure on random
// rows, matrices (ascending or not), geometries and ratios, and the dot
// value rules with their probe order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "colour/later/dither_process.h"

namespace {

using huecl::later::fourBitDotValue;
using huecl::later::twoBitDotValue;

TEST(DitherDotValue, TwoBitProbesFirstThenThirdThenSecond) {
    const std::uint8_t ascending[3] = {10, 20, 30};
    EXPECT_EQ(twoBitDotValue(10, ascending), 0u);
    EXPECT_EQ(twoBitDotValue(11, ascending), 1u);
    EXPECT_EQ(twoBitDotValue(20, ascending), 1u);
    EXPECT_EQ(twoBitDotValue(21, ascending), 2u);
    EXPECT_EQ(twoBitDotValue(30, ascending), 2u);
    EXPECT_EQ(twoBitDotValue(31, ascending), 3u);
    // Third below second: passing the third gives 3 without looking at the second.
    const std::uint8_t crossed[3] = {10, 40, 30};
    EXPECT_EQ(twoBitDotValue(35, crossed), 3u);
    EXPECT_EQ(twoBitDotValue(25, crossed), 1u);
}

TEST(DitherDotValue, FourBitBinarySearchWorkedCell) {
    const std::uint8_t cell[15] = {24, 24, 25, 25, 26, 26, 27, 27, 28, 28, 29, 30, 30, 31, 31};
    EXPECT_EQ(fourBitDotValue(27, cell), 6u);
    EXPECT_EQ(fourBitDotValue(24, cell), 0u);
    EXPECT_EQ(fourBitDotValue(25, cell), 2u);
    EXPECT_EQ(fourBitDotValue(32, cell), 15u);
    EXPECT_EQ(fourBitDotValue(0, cell), 0u);
}

// Not ascending: the search never probes T[1] on this path, so a level
// above T[7] but below T[1] still counts from the upper half.
TEST(DitherDotValue, FourBitFollowsProbeOrderOnUnsortedCells) {
    const std::uint8_t cell[15] = {10, 200, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150};
    EXPECT_EQ(fourBitDotValue(85, cell), 8u);
    EXPECT_EQ(fourBitDotValue(15, cell), 1u);
}

struct Case {
    QvrDizInf dither{};
    QvrDrwInf draw{};
    std::vector<std::uint8_t> matrices[4];
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> planes[4];
};

std::uint32_t pick(std::mt19937& random, std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
}

Case randomCase(std::mt19937& random) {
    Case c;
    c.dither.blackOnly = pick(random, 0, 3) == 0 ? pick(random, 1, 2) : 0;
    c.dither.dizMode = pick(random, 0, 5);
    const std::uint32_t cellBytes = c.dither.dizMode == 1 ? 15 : c.dither.dizMode == 3 ? 3 : 1;
    std::uint32_t* sizes[4] = {&c.dither.sizeC, &c.dither.sizeM, &c.dither.sizeY, &c.dither.sizeK};
    std::uint8_t** matrices[4] = {&c.dither.matrixC, &c.dither.matrixM, &c.dither.matrixY, &c.dither.matrixK};
    const bool sorted = pick(random, 0, 1) == 0;
    for (int p = 0; p < 4; ++p) {
        // Mostly the edges set-up builds; sometimes tiny or beyond the fast paths.
        const std::uint32_t roll = pick(random, 0, 9);
        *sizes[p] = roll == 0 ? pick(random, 1, 4) : roll == 1 ? pick(random, 35, 70) : pick(random, 5, 34);
        c.matrices[p].resize(std::size_t{*sizes[p]} * *sizes[p] * cellBytes);
        for (std::size_t i = 0; i < c.matrices[p].size(); i += cellBytes) {
            for (std::uint32_t k = 0; k < cellBytes; ++k)
                c.matrices[p][i + k] = static_cast<std::uint8_t>(pick(random, 0, 255));
            if (sorted) std::sort(c.matrices[p].begin() + i, c.matrices[p].begin() + i + cellBytes);
        }
        *matrices[p] = c.matrices[p].data();
    }
    QvrDrwInf& d = c.draw;
    d.srcWidth = pick(random, 0, 3) == 0 ? pick(random, 0, 9) : pick(random, 10, 400);
    d.devX = pick(random, 0, 4) == 0 ? 0xFFFFFFFFu - pick(random, 0, 600) : pick(random, 0, 100000);
    d.devY = pick(random, 0, 4) == 0 ? 0xFFFFFFFFu - pick(random, 0, 3) : pick(random, 0, 100000);
    if (pick(random, 0, 2) == 0) {
        d.devResX = d.srcResX = pick(random, 0, 1200);
        d.devResY = d.srcResY = pick(random, 0, 1200);
    } else {
        d.devResX = pick(random, 1, 7);
        d.srcResX = pick(random, 0, 12) == 0 ? 0 : pick(random, 1, 7);
        d.devResY = pick(random, 1, 5);
        d.srcResY = pick(random, 0, 12) == 0 ? 0 : pick(random, 1, 5);
        if (pick(random, 0, 3) == 0) {  // the usual 300 to 600 dpi doubling
            d.devResX = d.devResY = 600;
            d.srcResX = d.srcResY = 300;
        }
    }
    d.srcX =
        pick(random, 0, 6) == 0 ? 0xFFFFFFFFu / std::max(d.devResX, 1u) - pick(random, 0, 300) : pick(random, 0, 50000);
    d.srcY = pick(random, 0, 50000);
    const std::uint32_t bits = c.dither.dizMode == 1 ? 4 : c.dither.dizMode == 3 ? 2 : 1;
    const std::uint64_t dots = d.devResX == d.srcResX ? d.srcWidth : std::uint64_t{d.srcWidth} * 8;
    const std::uint32_t exact = static_cast<std::uint32_t>((dots * bits + 7) / 8);
    // Exact, roomy, or too short for the row (dots past it are dropped).
    const std::uint32_t roll = pick(random, 0, 5);
    d.lineBytes = roll == 0 ? exact / 2 : roll == 1 ? exact + pick(random, 1, 9) : exact;
    d.devRow = pick(random, 0, 3);
    d.devWidth = 0xDEADBEEF;
    c.pixels.resize(std::size_t{d.srcWidth} * 4);
    for (std::size_t i = 0; i < c.pixels.size(); ++i) {
        const std::uint32_t level = pick(random, 0, 5) == 0 ? 0 : pick(random, 0, 255);
        c.pixels[i] = static_cast<std::uint8_t>(pick(random, 0, 19) == 0 ? 255 : level);
    }
    // Some runs of white.
    for (std::uint32_t run = pick(random, 0, 3); run > 0 && d.srcWidth > 16; --run) {
        const std::uint32_t start = pick(random, 0, d.srcWidth - 16);
        for (std::uint32_t i = start * 4; i < (start + 16) * 4; ++i) c.pixels[i] = 0;
    }
    d.srcPixels = c.pixels.data();
    const std::size_t bufferBytes = (std::size_t{d.devRow} + 3 * 6 + 1) * d.lineBytes + 16;
    std::uint8_t** planes[4] = {&d.planeC, &d.planeM, &d.planeY, &d.planeK};
    for (int p = 0; p < 4; ++p) {
        c.planes[p].resize(bufferBytes);
        for (auto& byte : c.planes[p]) byte = static_cast<std::uint8_t>(pick(random, 0, 255));
        *planes[p] = c.planes[p].data();
    }
    return c;
}

void rebind(Case& c) {
    c.draw.srcPixels = c.pixels.data();
    c.draw.planeC = c.planes[0].data();
    c.draw.planeM = c.planes[1].data();
    c.draw.planeY = c.planes[2].data();
    c.draw.planeK = c.planes[3].data();
}

bool sameRecord(const QvrDrwInf& a, const QvrDrwInf& b) {
    return a.srcWidth == b.srcWidth && a.devX == b.devX && a.devY == b.devY && a.srcX == b.srcX && a.srcY == b.srcY &&
           a.devWidth == b.devWidth && a.lineBytes == b.lineBytes && a.devRow == b.devRow;
}

TEST(DitherFastPaths, MatchTheGeneralProcedureOnRandomRows) {
    std::mt19937 random(20261208);
    for (int iteration = 0; iteration < 6000; ++iteration) {
        Case fast = randomCase(random);
        Case general = fast;
        rebind(fast);
        rebind(general);
        // Several consecutive rows, so the counters carry between calls.
        for (int call = 0; call < 3; ++call) {
            huecl::later::ditherRow(fast.dither, fast.draw);
            huecl::later::ditherRowGeneral(general.dither, general.draw);
        }
        ASSERT_TRUE(sameRecord(fast.draw, general.draw)) << "iteration " << iteration;
        for (int p = 0; p < 4; ++p) {
            ASSERT_EQ(fast.planes[p], general.planes[p])
                << "iteration " << iteration << " plane " << p << " mode " << fast.dither.dizMode << " blackOnly "
                << fast.dither.blackOnly << " width " << fast.draw.srcWidth << " devX " << fast.draw.devX;
        }
    }
}

}  // namespace
