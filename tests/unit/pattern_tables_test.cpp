// The earlier generation's screen tables and the steps the screens and
// sample tiles are built from: table facts, worked knees of the tone
// curves, and what the angled screen holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "colour/earlier/dither_patterns.h"
#include "colour/earlier/pattern_tables.h"
#include "support/crc32.h"
#include "support/table_checks.h"

namespace {

using namespace huecl::earlier;

using testsupport::isPermutation;

TEST(EarlierScreenTables, Bayer4FollowsTheQuadrantRecursion) {
    const int quadrant[4] = {0, 2, 3, 1};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const int expected = 4 * quadrant[(r % 2) * 2 + c % 2] + quadrant[(r / 2) * 2 + c / 2];
            EXPECT_EQ(Bayer4[4 * r + c], expected) << r << "," << c;
        }
    }
}

TEST(EarlierScreenTables, MatricesArePermutations) {
    for (std::uint32_t m = 0; m < kColourScreenModes; ++m) {
        EXPECT_TRUE(isPermutation(ScreenBaseCM[m])) << m;
        EXPECT_TRUE(isPermutation(ScreenBaseY[m])) << m;
        EXPECT_TRUE(isPermutation(ScreenBaseK[m])) << m;
    }
    EXPECT_TRUE(isPermutation(ScreenOrder17));
    EXPECT_TRUE(isPermutation(MonoTileOffsets));
    for (const Matrix8& matrix : PrintMatrix) EXPECT_TRUE(isPermutation(matrix));
}

TEST(EarlierScreenTables, PrintMatrixGIsFUpsideDown) {
    const Matrix8& f = printMatrix(PrintMatrixName::F);
    const Matrix8& g = printMatrix(PrintMatrixName::G);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) EXPECT_EQ(g[8 * r + c], f[8 * (7 - r) + c]) << r << "," << c;
}

// Tuned data without a rule: each print matrix is pinned by checksum.
TEST(EarlierScreenTables, PrintMatricesArePinned) {
    const std::array<std::uint32_t, 9> checksums = {0x85EBFC4E, 0x677966E7, 0x3ACB200A, 0x049E9805, 0xE1744E87,
                                                    0xA4451957, 0x7DCDFD8A, 0x1446B36F, 0xD83B8ACF};
    for (std::size_t i = 0; i < PrintMatrix.size(); ++i) {
        EXPECT_EQ(testsupport::crc32(PrintMatrix[i].data(), 64), checksums[i]) << "print matrix " << char('A' + i);
    }
}

TEST(EarlierScreenModes, ModeIndexOfEveryScreenMode) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{0, 0}, {1, 0}, {2, 1},          {3, 2},
                                                             {4, 0}, {5, 0}, {0x7FFFFFFF, 0}, {0xFFFFFFFF, 0}};
    for (const auto& [screenMode, index] : cases) EXPECT_EQ(colourModeIndex(screenMode), index) << screenMode;
    EXPECT_TRUE(isMonochromeScreen(1));
    EXPECT_FALSE(isMonochromeScreen(0));
    EXPECT_FALSE(isMonochromeScreen(2));
}

struct ThresholdCase {
    std::uint32_t level, toneLimit;
    int threshold;
};

TEST(EarlierScreenSteps, AngledBlockKneesAndFloor) {
    const ThresholdCase cases[] = {
        {0, 144, 3},      // tone 0 raised to 4 before scaling: 4 x 255 / 289
        {3, 144, 3},      // tone 4
        {4, 144, 4},      // tone 5
        {143, 144, 180},  // last level below the knee: tone 205
        {144, 144, 182},  // knee: tone 207
        {271, 144, 245},  // top block level: 207 + 28 x 127 / 50 = 278
        {271, 116, 240},  // 167 + 42 x 127 / 50 = 273
        {271, 100, 239},  // a limit of 100 keeps the level: 271 x 255 / 289
    };
    for (const ThresholdCase& c : cases)
        EXPECT_EQ(angledBlockThreshold(c.level, c.toneLimit), c.threshold) << c.level << " at " << c.toneLimit;
    EXPECT_EQ(angledSeedThreshold(0), 240);
    EXPECT_EQ(angledSeedThreshold(16), 254);
}

TEST(EarlierScreenSteps, SquareKneesAndFloor) {
    const ThresholdCase cases[] = {
        {0, 120, 4}, {4, 120, 4},  // tone 4 scales to 3, the floor applies after scaling
        {5, 120, 5}, {127, 120, 151}, {128, 120, 152}, {255, 120, 253},
        {5, 100, 4}, {6, 100, 5},     {127, 100, 126}, {255, 100, 254},
    };
    for (const ThresholdCase& c : cases)
        EXPECT_EQ(squareThreshold(c.level, c.toneLimit), c.threshold) << c.level << " at " << c.toneLimit;
}

TEST(EarlierScreenSteps, ThresholdsNeverFallAsLevelsRise) {
    for (const ToneLimits& limits : ToneLimit) {
        for (std::uint32_t level = 1; level < 272; ++level)
            ASSERT_GE(angledBlockThreshold(level, limits.cyanMagenta),
                      angledBlockThreshold(level - 1, limits.cyanMagenta))
                << level;
        for (const std::uint32_t limit : {limits.yellow, limits.black}) {
            for (std::uint32_t level = 1; level < 256; ++level)
                ASSERT_GE(squareThreshold(level, limit), squareThreshold(level - 1, limit)) << level;
        }
    }
}

// Seeds and blocks together hold every level 0-288 once: the magenta
// screen holds the 17 seed thresholds and the 272 block thresholds, no
// more, no fewer.
TEST(EarlierScreenSteps, AngledScreenHoldsEveryLevelOnce) {
    for (const std::uint32_t screenMode : {1u, 2u, 3u}) {
        const std::uint32_t limit = ToneLimit[colourModeIndex(screenMode)].cyanMagenta;
        std::vector<std::uint8_t> expected;
        for (std::uint32_t order = 0; order < 17; ++order) expected.push_back(angledSeedThreshold(order));
        for (std::uint32_t level = 0; level < 272; ++level) expected.push_back(angledBlockThreshold(level, limit));
        std::sort(expected.begin(), expected.end());

        std::vector<std::uint8_t> cyan(kAngledScreenBytes), magenta(kAngledScreenBytes);
        std::vector<std::uint8_t> yellow(kSquareScreenBytes), black(kSquareScreenBytes);
        buildColourScreens(screenMode, cyan.data(), magenta.data(), yellow.data(), black.data());
        std::sort(magenta.begin(), magenta.end());
        EXPECT_EQ(magenta, expected) << "screenMode " << screenMode;
    }
}

TEST(EarlierSampleTone, KneesAndEnds) {
    struct Knee {
        std::uint32_t knee, kneeLevel, toneAtKnee, toneAbove;
    };
    const Knee knees[] = {{100, 127, 509, 514}, {120, 153, 511, 517}, {132, 168, 510, 516}, {144, 183, 509, 514}};
    for (const Knee& k : knees) {
        SCOPED_TRACE(testing::Message() << "knee " << k.knee);
        EXPECT_EQ(sampleTone(0, k.knee), 0u);
        EXPECT_EQ(sampleTone(k.kneeLevel, k.knee), k.toneAtKnee);
        EXPECT_EQ(sampleTone(k.kneeLevel + 1, k.knee), k.toneAbove);
        EXPECT_EQ(sampleTone(255, k.knee), kSampleToneFull);
        for (std::uint32_t level = 1; level < 256; ++level)
            ASSERT_GT(sampleTone(level, k.knee), sampleTone(level - 1, k.knee)) << level;
    }
}

}  // namespace
