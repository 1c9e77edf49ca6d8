// Screen tables: the Bayer matrices and derived seeds follow from their
// rules, the tuned seeds are permutations (one known exception), and the
// stretch and threshold steps reproduce their worked values.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "colour/later/dither_setup.h"
#include "colour/later/dither_tables.h"
#include "support/crc32.h"
#include "support/table_checks.h"

namespace {

using huecl::later::SeedCell;
using huecl::later::seedCell;

std::vector<int> bayer(int edge) {
    if (edge == 1) return {0};
    const std::vector<int> half = bayer(edge / 2);
    const int h = edge / 2;
    const int quadrant[4] = {0, 2, 3, 1};
    std::vector<int> result(edge * edge);
    for (int r = 0; r < edge; ++r)
        for (int c = 0; c < edge; ++c)
            result[r * edge + c] = 4 * half[(r % h) * h + c % h] + quadrant[(r / h) * 2 + c / h];
    return result;
}

template <std::size_t N>
std::vector<int> values(const std::array<std::uint8_t, N>& table) {
    return std::vector<int>(table.begin(), table.end());
}

TEST(ScreenTables, BayerMatricesFollowTheirRecursion) {
    EXPECT_EQ(values(huecl::later::Bayer2), bayer(2));
    EXPECT_EQ(values(huecl::later::Bayer4), bayer(4));
    EXPECT_EQ(values(huecl::later::Bayer8), bayer(8));
    EXPECT_EQ(values(huecl::later::Bayer4), (std::vector<int>{0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5}));
}

// entry(r, c) of a derived seed is entry(rowOf(r, c), columnOf(r, c)) of its source.
template <std::size_t N, typename Map>
void expectDerived(const std::array<std::uint8_t, N>& derived, const std::array<std::uint8_t, N>& source, Map map,
                   const char* name) {
    const SeedCell cell = seedCell(source);
    for (int r = 0; r < cell.cell; ++r) {
        for (int c = 0; c < cell.cell; ++c) {
            const auto [sr, sc] = map(r, c, int{cell.cell});
            EXPECT_EQ(derived[r * cell.cell + c], source[sr * cell.cell + sc]) << name << " " << r << "," << c;
        }
    }
}

TEST(ScreenTables, DerivedSeedsFollowTheirRules) {
    using namespace huecl::later;
    const auto mirror = [](int r, int c, int n) { return std::pair{r, n - 1 - c}; };
    expectDerived(
        Seed4B, Seed4A,
        [](int r, int c, int) {
            return std::pair{(r + 2) % 4, c};
        },
        "Seed4B");
    expectDerived(Seed5B, Seed5A, mirror, "Seed5B");
    expectDerived(Seed8C, Seed8B, mirror, "Seed8C");
    expectDerived(
        Seed8E, Seed8D,
        [](int r, int c, int) {
            return std::pair{r, (c + 2) % 8};
        },
        "Seed8E");
    expectDerived(
        Seed8M, Seed8L,
        [](int r, int c, int) {
            return std::pair{(r + 6) % 8, (c + 6) % 8};
        },
        "Seed8M");
}

using testsupport::isPermutation;

TEST(ScreenTables, SeedsArePermutationsExceptSeed8O) {
    using namespace huecl::later;
    EXPECT_TRUE(isPermutation(Seed3A) && isPermutation(Seed4A) && isPermutation(Seed4C) && isPermutation(Seed4D) &&
                isPermutation(Seed4E) && isPermutation(Seed5A) && isPermutation(Seed5C) && isPermutation(Seed6A) &&
                isPermutation(Seed8A) && isPermutation(Seed8B) && isPermutation(Seed8D) && isPermutation(Seed8F) &&
                isPermutation(Seed8G) && isPermutation(Seed8H) && isPermutation(Seed8I) && isPermutation(Seed8J) &&
                isPermutation(Seed8K) && isPermutation(Seed8L) && isPermutation(Seed8N) && isPermutation(Seed10A) &&
                isPermutation(Seed10B) && isPermutation(Seed10C) && isPermutation(Seed10D) && isPermutation(TileB5));
    EXPECT_FALSE(isPermutation(Seed8O));
    EXPECT_EQ(std::count(Seed8O.begin(), Seed8O.end(), 34), 2);
    EXPECT_EQ(std::count(Seed8O.begin(), Seed8O.end(), 37), 0);
    EXPECT_TRUE(isPermutation(TileOrder17) && isPermutation(TileOrder34));
}

using testsupport::crc32;

TEST(ScreenTables, ToneCurvesArePinnedAndShaped) {
    using namespace huecl::later;
    for (const auto* table : {&DizToneTable1, &DizToneTable2, &DizToneTable3}) {
        EXPECT_EQ((*table)[0], 0);
        EXPECT_EQ((*table)[255], 255);
        for (int level = 1; level < 256; ++level) {
            const int step = (*table)[level] - (*table)[level - 1];
            EXPECT_TRUE(step >= 0 && step <= 2) << level;
        }
    }
    EXPECT_EQ(DizToneTable1[112], 122);
    EXPECT_EQ(DizToneTable2[143], 156);
    EXPECT_EQ(DizToneTable3[47], 59);
    EXPECT_EQ(crc32(DizToneTable1.data(), 256), 0xBCDC5465u);
    EXPECT_EQ(crc32(DizToneTable2.data(), 256), 0x652A24FAu);
    EXPECT_EQ(crc32(DizToneTable3.data(), 256), 0x78FF66CDu);
}

TEST(ScreenStretch, WorkedValues) {
    const std::array<std::uint8_t, 256> stretch = huecl::later::buildStretchTable(4, 32);
    for (int level = 0; level <= 4; ++level) EXPECT_EQ(stretch[level], 0) << level;
    EXPECT_EQ(stretch[5], 1);
    EXPECT_EQ(stretch[64], 61);
    EXPECT_EQ(stretch[127], 126);
    EXPECT_EQ(stretch[128], 128);
    EXPECT_EQ(stretch[200], 224);
    EXPECT_EQ(stretch[222], 253);
    for (int level = 223; level <= 255; ++level) EXPECT_EQ(stretch[level], 254) << level;
}

TEST(ScreenStretch, NoClipIsIdentityBelowTheTop) {
    const std::array<std::uint8_t, 256> stretch = huecl::later::buildStretchTable(0, 0);
    for (int level = 0; level < 255; ++level) EXPECT_EQ(stretch[level], level);
    EXPECT_EQ(stretch[255], 254);
}

// The top rank rescales to level 253 while the rank below it keeps 254:
// the stretch maps 255 to 254 and the recomputed level rounds down.
TEST(ScreenThreshold, TopRankEndsOneBelowTheLargestThreshold) {
    const std::array<std::uint8_t, 256> stretch = huecl::later::buildStretchTable(0, 0);
    EXPECT_EQ(huecl::later::finishThreshold(1023, 1023, nullptr, stretch), 253);
    EXPECT_EQ(huecl::later::finishThreshold(1022, 1023, nullptr, stretch), 254);
    EXPECT_EQ(huecl::later::finishThreshold(0, 1023, nullptr, stretch), 0);
    EXPECT_EQ(huecl::later::finishThreshold(112, 1023, nullptr, stretch), 27);
    const std::array<std::uint8_t, 256> clipped = huecl::later::buildStretchTable(0, 48);
    EXPECT_EQ(huecl::later::finishThreshold(512, 1023, huecl::common::GrayToneTable.data(), clipped), 158);
}

}  // namespace
