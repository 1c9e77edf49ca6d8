// The earlier generation's constant data and folded arithmetic: the sine
// table and the grey-to-black curves recomputed in double precision, the
// grid steps from the plain formulas, the reciprocals proven exact for every
// sum a pass can form, the interpolation against a byte-by-byte reference,
// and this generation's pairing of balance levels with curves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <vector>

#include "colour/common/balance_curves.h"
#include "colour/earlier/earlier_colour_match.h"
#include "colour/earlier/grey_black.h"
#include "support/earlier_colour_reference.h"

namespace {

using huecl::earlier::GreyBlackCurves;
using huecl::earlier::GreySineTable;
using huecl::earlier::GridSteps;

// Run with HUECL_PRINT_GREY_SINE=1 to print the regenerated table.
TEST(GreySineTable, EveryEntryMatchesTheSineInDoublePrecision) {
    const bool print = std::getenv("HUECL_PRINT_GREY_SINE") != nullptr;
    for (int i = 0; i < 256; ++i) {
        const int expected = testsupport::greySine(i);
        if (print) std::printf("%s%4d,", i % 16 == 0 ? "\n    " : " ", expected);
        EXPECT_EQ(GreySineTable[i], expected) << "entry " << i;
    }
    if (print) std::printf("\n");
    EXPECT_EQ(GreySineTable[0], 0);
    EXPECT_EQ(GreySineTable[64], 127);
    EXPECT_EQ(GreySineTable[128], -1);
    EXPECT_EQ(GreySineTable[255], 0);
}

// No entry but the ends lies so close to an integer that a last-bit
// difference in sin could move its truncation.
TEST(GreySineTable, NoEntryIsWithinRoundingOfAnInteger) {
    for (int i = 1; i < 255; ++i) {
        const double value = 128.0 * std::sin(2.0 * std::numbers::pi * i / 255.0);
        EXPECT_GT(std::fabs(value - std::round(value)), 1e-6) << i;
    }
}

TEST(GreyBlackCurves, EveryLevelOfEveryModeMatchesTheFormula) {
    // Variants 0-3 stand for screen modes 1, 2, 3 and any other.
    const std::uint32_t modes[4] = {1, 2, 3, 0};
    for (std::size_t variant = 0; variant < 4; ++variant) {
        for (int grey = 0; grey < 256; ++grey) {
            ASSERT_EQ(GreyBlackCurves[variant][grey], testsupport::greyBlackReference(grey, modes[variant]))
                << "variant " << variant << " grey " << grey;
        }
    }
    for (std::uint32_t mode : {0u, 4u, 7u, 0xFFFFFFFFu}) EXPECT_EQ(huecl::earlier::greyBlackVariant(mode), 3u) << mode;
}

TEST(GreyBlackCurves, WorkedValues) {
    struct Row {
        int grey;
        int black[4];  // screen modes 1, 2, 3, other
    };
    const Row rows[] = {
        {0, {255, 255, 255, 255}}, {32, {179, 194, 205, 189}}, {64, {130, 148, 163, 142}}, {128, {95, 95, 95, 95}},
        {192, {43, 43, 50, 43}},   {254, {5, 5, 5, 5}},        {255, {0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        for (int variant = 0; variant < 4; ++variant) {
            EXPECT_EQ(GreyBlackCurves[variant][row.grey], row.black[variant])
                << "grey " << row.grey << " variant " << variant;
        }
    }
}

// The darker the grey, the more black, in every mode.
TEST(GreyBlackCurves, BlackNeverFallsAsTheGreyDarkens) {
    for (const auto& curve : GreyBlackCurves) {
        for (int grey = 1; grey < 256; ++grey) EXPECT_GE(curve[grey - 1], curve[grey]) << grey;
    }
}

TEST(GridSteps, NodesAndDistancesFollowTheGrid) {
    for (int level = 0; level < 256; ++level) {
        const auto& step = GridSteps[level];
        const int low = 31 * level / 255, high = (31 * level + 254) / 255;
        ASSERT_EQ(step.low, low) << level;
        ASSERT_EQ(step.high, high) << level;
        if (level == 0 || level == 255) {
            EXPECT_EQ(step.low, step.high);
            continue;
        }
        EXPECT_EQ(step.weightHigh, level - testsupport::gridNode(low)) << level;
        EXPECT_EQ(step.weightLow, testsupport::gridNode(high) - level) << level;
        const int width = step.weightLow + step.weightHigh;
        EXPECT_TRUE(width == 8 || width == 9) << level;
    }
    // A level on a node uses that node as the upper one.
    EXPECT_EQ(GridSteps[8].high, 1);
    EXPECT_EQ(GridSteps[8].weightLow, 0);
    EXPECT_EQ(GridSteps[255].low, 31);
}

// Every sum a pass forms is at most 255 times the cell width; the
// multiplication by the reciprocal must give the truncated quotient for all
// of them, in a lane that stays below 2^32.
TEST(GridSteps, ReciprocalsDivideExactlyForEverySum) {
    for (int level = 0; level < 256; ++level) {
        const auto& step = GridSteps[level];
        const std::uint64_t width = step.weightLow + step.weightHigh;
        for (std::uint64_t sum = 0; sum <= 255 * width; ++sum) {
            ASSERT_LT(sum * step.reciprocal, std::uint64_t{1} << 32) << level;
            ASSERT_EQ((sum * step.reciprocal) >> huecl::earlier::kReciprocalShift, sum / width)
                << "level " << level << " sum " << sum;
        }
    }
}

std::vector<std::uint8_t> randomGridTable(std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> table(4 * 32768);
    for (auto& byte : table) byte = static_cast<std::uint8_t>(random());
    return table;
}

testsupport::CmykPixel unpack(std::uint32_t cmyk) {
    return {static_cast<std::uint8_t>(cmyk), static_cast<std::uint8_t>(cmyk >> 8),
            static_cast<std::uint8_t>(cmyk >> 16), static_cast<std::uint8_t>(cmyk >> 24)};
}

TEST(EarlierInterpolation, AgreesWithTheByteByByteReference) {
    const std::vector<std::uint8_t> table = randomGridTable(11);
    // Every level on each axis with the other two fixed off the grid, then
    // random pixels.
    for (int level = 0; level < 256; ++level) {
        for (const auto [blue, green, red] :
             {std::array{level, 100, 37}, std::array{203, level, 5}, std::array{77, 250, level}}) {
            ASSERT_EQ(unpack(huecl::earlier::interpolateOnGrid(blue, green, red, table.data())),
                      testsupport::interpolationReference(blue, green, red, table))
                << blue << " " << green << " " << red;
        }
    }
    std::mt19937 random(12);
    for (int i = 0; i < 20000; ++i) {
        const int blue = random() % 256, green = random() % 256, red = random() % 256;
        ASSERT_EQ(unpack(huecl::earlier::interpolateOnGrid(blue, green, red, table.data())),
                  testsupport::interpolationReference(blue, green, red, table))
            << blue << " " << green << " " << red;
    }
}

// The passes truncate one after the other, so the order of the axes shows
// in the result: cyan 255 at node (1, 1, 1) only, and the pixel 5, 3 and 3
// levels above node 0 in cells of width 8. Red, green, blue: 255 * 5 / 8 =
// 159, * 3 / 8 = 59, * 3 / 8 = 22; blue first would give 95, 35, then 21.
TEST(EarlierInterpolation, AxesTruncateInTheOrderRedGreenBlue) {
    std::vector<std::uint8_t> table(4 * 32768, 0);
    table[4 * ((1 * 32 + 1) * 32 + 1)] = 255;
    EXPECT_EQ(unpack(huecl::earlier::interpolateOnGrid(3, 3, 5, table.data())), (testsupport::CmykPixel{22, 0, 0, 0}));
    // The same value in black: every lane takes the same passes.
    table[4 * ((1 * 32 + 1) * 32 + 1) + 3] = 255;
    EXPECT_EQ(unpack(huecl::earlier::interpolateOnGrid(3, 3, 5, table.data())), (testsupport::CmykPixel{22, 0, 0, 22}));
}

TEST(BalanceCurveSelection, EarlierGenerationPairsEvenLevelsWithTheOddAbove) {
    using huecl::common::BalanceCurveGammaTenths;
    using huecl::common::selectEarlierBalanceCurve;
    for (int level = 1; level <= 9; ++level)
        EXPECT_EQ(BalanceCurveGammaTenths[selectEarlierBalanceCurve(level)], level);
    const int pairs[][2] = {{12, 12}, {13, 12}, {14, 14}, {15, 14}, {20, 20},
                            {21, 20}, {28, 28}, {29, 28}, {30, 40}, {31, 40}};
    for (const auto& pair : pairs) {
        EXPECT_EQ(BalanceCurveGammaTenths[selectEarlierBalanceCurve(pair[0])], pair[1]) << pair[0];
    }
    for (int level : {INT32_MIN, -1000, -1, 0, 10, 11, 32, 33, 1000, INT32_MAX}) {
        EXPECT_EQ(selectEarlierBalanceCurve(level), huecl::common::kNoBalanceCurve) << level;
    }
}

}  // namespace
