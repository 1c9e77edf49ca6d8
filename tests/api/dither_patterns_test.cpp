// Earlier-generation screens and sample tiles through the exports: worked
// rows, what each mode selects, what monochrome leaves alone, and the
// counting facts of the sample tiles.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <vector>

#if defined(_GLIBCXX_HAS_GTHREADS)
#  include <thread>
#endif

#include "huecl32.h"

namespace {

constexpr std::size_t kAngledBytes = 17 * 17;
constexpr std::size_t kSquareBytes = 16 * 16;

struct Patterns {
    QvDizInf info{};
    std::vector<std::uint8_t> c, m, y, k;

    Patterns(std::uint32_t monoFlag, std::uint32_t screenMode, std::uint8_t fill = 0xA5)
        : c(kAngledBytes, fill), m(kAngledBytes, fill), y(kSquareBytes, fill), k(kSquareBytes, fill) {
        info.monoFlag = monoFlag;
        info.reserved2 = info.reserved3 = info.reserved5 = 0xDEADBEEF;
        info.screenMode = screenMode;
        info.ptnC = c.data();
        info.ptnM = m.data();
        info.ptnY = y.data();
        info.ptnK = k.data();
        QvDizPtnMak(&info);
    }
    bool operator==(const Patterns& other) const {
        return c == other.c && m == other.m && y == other.y && k == other.k;
    }
};

std::vector<int> row(const std::vector<std::uint8_t>& matrix, std::size_t edge, std::size_t r) {
    return std::vector<int>(matrix.begin() + r * edge, matrix.begin() + (r + 1) * edge);
}

TEST(DitherPatternsWorkedRows, ColourMode1FirstRows) {
    const Patterns p(0, 1);
    const std::vector<int> magenta = {31, 190, 211, 85, 228, 128, 10, 182, 53, 199, 241, 239, 157, 222, 113, 74, 207};
    EXPECT_EQ(row(p.m, 17, 0), magenta);
    EXPECT_EQ(row(p.c, 17, 0), std::vector<int>(magenta.rbegin(), magenta.rend()));
    EXPECT_EQ(row(p.y, 16, 0), (std::vector<int>{4, 37, 228, 203, 8, 47, 235, 209, 4, 39, 230, 204, 11, 49, 236, 211}));
    EXPECT_EQ(row(p.k, 16, 0), (std::vector<int>{4, 127, 31, 159, 7, 135, 39, 167, 4, 129, 33, 161, 9, 137, 41, 169}));
}

TEST(DitherPatternsWorkedRows, MonochromeMode1FirstRow) {
    const Patterns p(1, 1);
    EXPECT_EQ(row(p.k, 16, 0),
              (std::vector<int>{12, 140, 44, 172, 4, 132, 36, 164, 14, 142, 46, 174, 6, 134, 38, 166}));
}

// Screen modes 0 and 1 share one set of colour screens; 2 and 3 each have
// their own. There are tables for three modes only: every mode above 3
// builds the set of 0 and 1 rather than reading past the tables.
TEST(DitherPatternsModes, ColourModesAbove3BuildTheScreensOfMode1) {
    const Patterns mode1(0, 1);
    for (const std::uint32_t mode : {0u, 4u, 5u, 7u, 255u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_TRUE(Patterns(0, mode) == mode1) << "screenMode " << mode;
    }
    const Patterns mode2(0, 2), mode3(0, 3);
    EXPECT_NE(mode2.m, mode1.m);
    EXPECT_NE(mode3.m, mode1.m);
    EXPECT_NE(mode3.m, mode2.m);
    EXPECT_NE(mode2.y, mode1.y);  // yellow: mode 1 differs from 2 and 3
    EXPECT_EQ(mode3.y, mode2.y);
    EXPECT_EQ(mode2.k, mode1.k);  // black: mode 3 differs from 1 and 2
    EXPECT_NE(mode3.k, mode1.k);
}

TEST(DitherPatternsModes, EveryMonoFlagButOneIsColour) {
    const Patterns colour(0, 2);
    for (const std::uint32_t flag : {2u, 3u, 0xFFFFFFFFu}) EXPECT_TRUE(Patterns(flag, 2) == colour) << flag;
}

TEST(DitherPatternsModes, MonochromeModesOtherThan1And2ShareOneScreen) {
    const Patterns mode0(1, 0);
    for (const std::uint32_t mode : {3u, 4u, 0xFFFFFFFFu}) EXPECT_EQ(Patterns(1, mode).k, mode0.k) << mode;
    EXPECT_NE(Patterns(1, 1).k, mode0.k);
    EXPECT_NE(Patterns(1, 2).k, mode0.k);
    EXPECT_NE(Patterns(1, 2).k, Patterns(1, 1).k);
}

TEST(DitherPatternsStructure, MonochromeWritesOnlyBlack) {
    for (const std::uint32_t mode : {0u, 1u, 2u, 3u}) {
        const Patterns p(1, mode, 0x5A);
        EXPECT_EQ(p.c, std::vector<std::uint8_t>(kAngledBytes, 0x5A));
        EXPECT_EQ(p.m, std::vector<std::uint8_t>(kAngledBytes, 0x5A));
        EXPECT_EQ(p.y, std::vector<std::uint8_t>(kSquareBytes, 0x5A));
        // The colour pointers need not point anywhere.
        std::vector<std::uint8_t> black(kSquareBytes, 0);
        QvDizInf info{};
        info.monoFlag = 1;
        info.screenMode = mode;
        info.ptnK = black.data();
        QvDizPtnMak(&info);
        EXPECT_EQ(black, p.k);
    }
}

// The monochrome screen interleaves four copies of a permutation of 0-63,
// so it holds every threshold 0-255 exactly once.
TEST(DitherPatternsStructure, MonochromeScreensHoldEveryThresholdOnce) {
    for (const std::uint32_t mode : {1u, 2u, 3u}) {
        std::vector<std::uint8_t> sorted = Patterns(1, mode).k;
        std::sort(sorted.begin(), sorted.end());
        for (std::size_t i = 0; i < kSquareBytes; ++i) ASSERT_EQ(sorted[i], i) << "mode " << mode;
    }
}

TEST(DitherPatternsStructure, ColourScreensCoverEveryCellWithinTheirRanges) {
    for (const std::uint32_t mode : {1u, 2u, 3u}) {
        SCOPED_TRACE(testing::Message() << "screenMode " << mode);
        const Patterns zeros(0, mode, 0x00), ones(0, mode, 0xFF);
        EXPECT_TRUE(zeros == ones);  // no cell keeps what the caller left there
        const auto range = [](const std::vector<std::uint8_t>& matrix) {
            const auto [low, high] = std::minmax_element(matrix.begin(), matrix.end());
            return std::pair<int, int>{*low, *high};
        };
        EXPECT_GE(range(zeros.m).first, 3);
        EXPECT_LE(range(zeros.m).second, 254);
        EXPECT_GE(range(zeros.y).first, 4);
        EXPECT_LE(range(zeros.y).second, 253);
        EXPECT_GE(range(zeros.k).first, 4);
        EXPECT_LE(range(zeros.k).second, 254);
        for (std::size_t r = 0; r < 17; ++r) {
            const std::vector<int> magenta = row(zeros.m, 17, r);
            EXPECT_EQ(row(zeros.c, 17, r), std::vector<int>(magenta.rbegin(), magenta.rend())) << "row " << r;
        }
    }
    // The darkest cells reach the ends of the ranges.
    const Patterns mode1(0, 1);
    EXPECT_EQ(*std::max_element(mode1.m.begin(), mode1.m.end()), 254);
    EXPECT_EQ(*std::min_element(mode1.m.begin(), mode1.m.end()), 3);
    EXPECT_EQ(*std::max_element(mode1.y.begin(), mode1.y.end()), 253);
    EXPECT_EQ(*std::max_element(mode1.k.begin(), mode1.k.end()), 254);
}

#if defined(_GLIBCXX_HAS_GTHREADS)
// Threads building screens and drawing tiles side by side get what one
// thread alone gets.
TEST(DitherPatternsStructure, ConcurrentCallsAgreeWithOneThread) {
    const auto build = [](std::uint32_t setting) {
        const Patterns p(setting / 4, setting % 4);
        std::vector<std::uint8_t> all = p.k;
        if (p.info.monoFlag == 0) {
            for (const auto* matrix : {&p.c, &p.m, &p.y}) all.insert(all.end(), matrix->begin(), matrix->end());
        }
        for (std::uint32_t level = 0; level < 256; level += 15) {
            std::array<std::uint8_t, 128> tile{};
            QvDizPtnPrn(&p.info, setting % 5, level, tile.data());
            all.insert(all.end(), tile.begin(), tile.end());
        }
        return all;
    };
    constexpr std::uint32_t kSettings = 8;
    std::vector<std::vector<std::uint8_t>> alone(kSettings);
    for (std::uint32_t s = 0; s < kSettings; ++s) alone[s] = build(s);
    std::vector<int> mismatches(4 * kSettings, 0);
    std::vector<std::thread> threads;
    for (std::uint32_t t = 0; t < mismatches.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int repeat = 0; repeat < 100; ++repeat) mismatches[t] += build(t % kSettings) != alone[t % kSettings];
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(mismatches.size(), 0));
}
#endif

// The screens as the ordered dithering uses them: a flat tint over a
// 272 x 272 patch (a whole number of 17 x 17 and 16 x 16 periods) prints as
// many dots per period as the screen has cells below the tint.
TEST(DitherPatternsStructure, FlatTintsPrintOneDotPerCellBelowThem) {
    constexpr std::uint32_t kPatch = 272;
    constexpr std::uint32_t kLineBytes = kPatch / 8;
    const auto cellsBelow = [](const std::vector<std::uint8_t>& matrix, int level) {
        return static_cast<std::uint64_t>(
            std::count_if(matrix.begin(), matrix.end(), [level](std::uint8_t cell) { return level > cell; }));
    };
    for (const auto& [mono, mode] : {std::pair{0u, 1u}, std::pair{0u, 3u}, std::pair{1u, 2u}}) {
        const Patterns p(mono, mode);
        for (const int level : {0, 3, 4, 77, 128, 200, 254, 255}) {
            SCOPED_TRACE(testing::Message() << "mono " << mono << " mode " << mode << " level " << level);
            std::vector<std::uint8_t> pixels(std::size_t{kPatch} * 4, static_cast<std::uint8_t>(level));
            std::array<std::vector<std::uint8_t>, 4> planes;
            for (auto& plane : planes) plane.assign(kLineBytes, 0);
            QvrDrwInf draw{};
            draw.srcWidth = kPatch;
            draw.devResX = draw.srcResX = draw.devResY = draw.srcResY = 300;
            draw.lineBytes = kLineBytes;
            draw.srcPixels = pixels.data();
            draw.planeC = planes[0].data();
            draw.planeM = planes[1].data();
            draw.planeY = planes[2].data();
            draw.planeK = planes[3].data();
            std::array<std::uint64_t, 4> dots{};
            for (std::uint32_t row = 0; row < kPatch; ++row) {
                QvColDizPrc(&p.info, &draw);
                for (std::size_t plane = 0; plane < 4; ++plane)
                    for (const std::uint8_t byte : planes[plane]) dots[plane] += std::popcount(byte);
            }
            const std::uint64_t angledPeriods = kPatch * kPatch / kAngledBytes;
            const std::uint64_t squarePeriods = kPatch * kPatch / kSquareBytes;
            if (mono == 0) {
                EXPECT_EQ(dots[0], angledPeriods * cellsBelow(p.c, level));
                EXPECT_EQ(dots[1], angledPeriods * cellsBelow(p.m, level));
                EXPECT_EQ(dots[2], squarePeriods * cellsBelow(p.y, level));
            }
            EXPECT_EQ(dots[3], squarePeriods * cellsBelow(p.k, level));
        }
    }
    // The ends: nothing below the lightest cell, everything at full tint.
    const Patterns colour(0, 1);
    EXPECT_EQ(cellsBelow(colour.m, 3), 0u);
    EXPECT_EQ(cellsBelow(colour.y, 4), 0u);
    EXPECT_EQ(cellsBelow(colour.m, 255), kAngledBytes);
    EXPECT_EQ(cellsBelow(colour.y, 255), kSquareBytes);
}

// ---- Sample tiles ---------------------------------------------------------

using Tile = std::array<std::uint8_t, 128>;

Tile sampleTile(std::uint32_t monoFlag, std::uint32_t screenMode, std::uint32_t colour, std::uint32_t level,
                std::uint8_t fill = 0xA5) {
    QvDizInf info{};
    info.monoFlag = monoFlag;
    info.screenMode = screenMode;
    // The tile needs no matrices; pointers that go nowhere prove it.
    info.ptnC = info.ptnM = info.ptnY = info.ptnK = nullptr;
    Tile tile;
    tile.fill(fill);
    QvDizPtnPrn(&info, colour, level, tile.data());
    return tile;
}

int dotCount(const Tile& tile) {
    int count = 0;
    for (const std::uint8_t byte : tile) count += std::popcount(byte);
    return count;
}

bool dotAt(const Tile& tile, int r, int c) { return (tile[4 * r + c / 8] >> (7 - c % 8)) & 1; }

struct SampleCase {
    std::uint32_t monoFlag, screenMode, colour;
    // Cells of the print matrix that hold 0 and 1, and the dots at level 8
    // (tone 32 x 100 / knee).
    int row0, column0, row1, column1;
    int dotsAtLevel8;
};

// Level 8 is tone 22 to 32 for every knee: in the top left 8 x 8 block
// (offset 0) exactly the cells that hold 0 and 1 print, which names the
// print matrix.
const std::vector<SampleCase>& sampleCases() {
    static const std::vector<SampleCase> cases = {
        // mode 1: D/E at knee 144, B at 132, A at 100 in mono and colour
        {0, 1, 0, 0, 0, 4, 6, 22},
        {0, 1, 1, 0, 0, 6, 4, 22},
        {0, 1, 2, 0, 1, 4, 5, 24},
        {0, 1, 3, 4, 0, 0, 4, 32},
        {1, 1, 3, 4, 0, 0, 4, 32},
        {1, 1, 0, 0, 0, 4, 6, 22},
        // mode 2: F/G at 120; black B in mono, A in colour
        {0, 2, 0, 4, 0, 3, 4, 26},
        {0, 2, 1, 3, 0, 4, 4, 26},
        {1, 2, 2, 0, 1, 4, 5, 24},
        {1, 2, 3, 0, 1, 4, 5, 32},
        {0, 2, 3, 4, 0, 0, 4, 32},
        {2, 2, 4, 4, 0, 0, 4, 32},
        // mode 3: H/I at 120; black C in mono, A in colour
        {0, 3, 0, 7, 3, 1, 7, 26},
        {1, 3, 1, 3, 7, 7, 1, 26},
        {0, 3, 2, 0, 1, 4, 5, 24},
        {1, 3, 3, 3, 3, 7, 7, 32},
        {0, 3, 7, 4, 0, 0, 4, 32},
        // every other mode: knee 100; black B in mono, A in colour
        {0, 0, 0, 0, 0, 4, 6, 32},
        {0, 4, 1, 0, 0, 6, 4, 32},
        {1, 9, 2, 0, 1, 4, 5, 32},
        {1, 0, 3, 0, 1, 4, 5, 32},
        {1, 0xFFFFFFFF, 200, 0, 1, 4, 5, 32},
        {0, 0, 3, 4, 0, 0, 4, 32},
    };
    return cases;
}

TEST(DitherPatternsSampleTile, EachInkAndModeDrawsItsMatrix) {
    for (const SampleCase& s : sampleCases()) {
        SCOPED_TRACE(testing::Message() << "mono " << s.monoFlag << " mode " << s.screenMode << " colour " << s.colour);
        const Tile tile = sampleTile(s.monoFlag, s.screenMode, s.colour, 8);
        EXPECT_EQ(dotCount(tile), s.dotsAtLevel8);
        int blockDots = 0;
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) blockDots += dotAt(tile, r, c);
        EXPECT_EQ(blockDots, 2);
        EXPECT_TRUE(dotAt(tile, s.row0, s.column0));
        EXPECT_TRUE(dotAt(tile, s.row1, s.column1));
    }
}

// Level 1 prints the cell holding 0 in the four 8 x 8 blocks of offset 0
// to 3, which the 4 x 4 Bayer order puts at block (0, 0), (2, 2), (0, 2)
// and (2, 0).
TEST(DitherPatternsSampleTile, FirstDotsFollowTheBlockOrder) {
    const Tile tile = sampleTile(0, 1, 3, 1);  // print matrix A: 0 at (4, 0)
    EXPECT_EQ(dotCount(tile), 4);
    EXPECT_TRUE(dotAt(tile, 4, 0));
    EXPECT_TRUE(dotAt(tile, 4, 16));
    EXPECT_TRUE(dotAt(tile, 20, 0));
    EXPECT_TRUE(dotAt(tile, 20, 16));
}

// Every threshold 0-1023 occurs once in a tile, so a tile holds exactly as
// many dots as its tone; the tone runs through about 512 at the knee.
TEST(DitherPatternsSampleTile, KneesOfTheToneCurves) {
    struct Knee {
        std::uint32_t screenMode, colour;
        std::uint32_t level;
        int dotsAtLevel, dotsAtNextLevel;
    };
    const Knee knees[] = {
        {0, 3, 127, 509, 514},  // knee 100 at level 127
        {1, 0, 183, 509, 514},  // knee 144 at level 183
        {2, 1, 153, 511, 517},  // knee 120 at level 153
        {3, 2, 168, 510, 516},  // knee 132 at level 168
    };
    for (const Knee& k : knees) {
        SCOPED_TRACE(testing::Message() << "mode " << k.screenMode << " colour " << k.colour);
        EXPECT_EQ(dotCount(sampleTile(0, k.screenMode, k.colour, k.level)), k.dotsAtLevel);
        EXPECT_EQ(dotCount(sampleTile(0, k.screenMode, k.colour, k.level + 1)), k.dotsAtNextLevel);
    }
}

TEST(DitherPatternsSampleTile, TilesGrowDotByDotFromEmptyToFull) {
    for (std::uint32_t mono = 0; mono < 2; ++mono) {
        for (std::uint32_t mode = 0; mode < 5; ++mode) {
            for (std::uint32_t colour = 0; colour < 5; ++colour) {
                SCOPED_TRACE(testing::Message() << "mono " << mono << " mode " << mode << " colour " << colour);
                Tile previous = sampleTile(mono, mode, colour, 0, 0xFF);
                ASSERT_EQ(dotCount(previous), 0);
                for (std::uint32_t level = 1; level < 256; ++level) {
                    const Tile tile = sampleTile(mono, mode, colour, level, level & 1 ? 0x00 : 0xFF);
                    for (std::size_t i = 0; i < tile.size(); ++i) {
                        ASSERT_EQ(previous[i] & ~tile[i], 0) << "level " << level << " loses a dot";
                    }
                    ASSERT_GE(dotCount(tile), dotCount(previous)) << level;
                    previous = tile;
                }
                EXPECT_EQ(dotCount(previous), 1024);
            }
        }
    }
}

}  // namespace
