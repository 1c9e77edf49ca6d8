// Density curves through both exported names.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "huecl32.h"

namespace {

using Table = std::array<std::uint8_t, 256>;

Table densityTable(std::int32_t density) {
    Table table;
    table.fill(0xAA);
    QvrColDnsMak(density, table.data());
    return table;
}

struct WorkedRow {
    std::int32_t density;
    std::array<std::uint8_t, 8> entries;  // at levels 0, 1, 2, 64, 128, 192, 254, 255
};

constexpr std::array<int, 8> kLevels = {0, 1, 2, 64, 128, 192, 254, 255};

TEST(DensityTable, WorkedValues) {
    const WorkedRow rows[] = {
        {0, {0, 1, 2, 64, 128, 192, 254, 255}},     {10, {0, 19, 20, 77, 137, 196, 254, 255}},
        {64, {0, 85, 86, 127, 170, 213, 254, 255}}, {1000, {0, 226, 226, 233, 240, 247, 254, 255}},
        {-10, {0, 0, 1, 58, 117, 176, 234, 255}},   {-64, {0, 0, 0, 31, 63, 95, 126, 255}},
        {-127, {0, 0, 0, 0, 0, 0, 0, 255}},
    };
    for (const WorkedRow& row : rows) {
        const Table table = densityTable(row.density);
        for (std::size_t k = 0; k < kLevels.size(); ++k) {
            EXPECT_EQ(table[kLevels[k]], row.entries[k]) << "density " << row.density << " level " << kLevels[k];
        }
    }
}

TEST(DensityTable, ZeroIsIdentity) {
    const Table table = densityTable(0);
    for (int level = 0; level < 256; ++level) EXPECT_EQ(table[level], level);
}

TEST(DensityTable, SmallSettingsFollowTheirLines) {
    const Table up = densityTable(1);
    EXPECT_EQ(up[1], 2);  // (1 + 2) * 255 / 257
    EXPECT_EQ(up[254], 254);
    const Table down = densityTable(-1);
    for (int level = 0; level < 255; ++level) EXPECT_EQ(down[level], 253 * level / 255) << level;
    EXPECT_EQ(down[255], 255);
}

TEST(DensityTable, EndsArePinnedAndCurvesAreMonotonic) {
    for (std::int32_t density = -128; density <= 4096; density += (density < 300 ? 1 : 97)) {
        const Table table = densityTable(density);
        EXPECT_EQ(table[0], 0) << density;
        EXPECT_EQ(table[255], 255) << density;
        for (int level = 1; level < 256; ++level) ASSERT_LE(table[level - 1], table[level]) << density;
    }
}

TEST(DensityTable, BothNamesWriteIdenticalTables) {
    for (std::int32_t density : {-128, -127, -40, -1, 0, 1, 7, 64, 127, 128, 1000, 1 << 20}) {
        Table viaLater, viaEarlier;
        viaLater.fill(1);
        viaEarlier.fill(2);
        QvrColDnsMak(density, viaLater.data());
        QvTnrTblMak(density, viaEarlier.data());
        EXPECT_EQ(viaLater, viaEarlier) << density;
    }
}

// Below -128 the line dips under 0; those entries clamp to 0 rather than
// wrapping into bright levels.
TEST(DensityTable, SettingsBelowTheRangeClampToBlack) {
    for (std::int32_t density : {-129, -200, -1000, -(1 << 29), INT32_MIN / 2}) {
        const Table table = densityTable(density);
        for (int level = 0; level < 255; ++level) ASSERT_EQ(table[level], 0) << density << " level " << level;
        EXPECT_EQ(table[255], 255) << density;
    }
}

// Huge settings stay on the rising line (no overflow of the products) until
// twice the setting leaves 32 bits and wraps into the lowering branch.
TEST(DensityTable, HugeSettingsSaturateThenWrap) {
    const Table high = densityTable((1 << 30) - 1);
    EXPECT_EQ(high[0], 0);
    for (int level = 1; level < 256; ++level) EXPECT_EQ(high[level], 254 + (level == 255)) << level;
    const Table wrapped = densityTable(1 << 30);
    for (int level = 0; level < 255; ++level) ASSERT_EQ(wrapped[level], 0) << level;
    EXPECT_EQ(wrapped[255], 255);
    // The most negative setting doubles to 0 in 32 bits: the identity.
    const Table zero = densityTable(INT32_MIN);
    for (int level = 0; level < 256; ++level) ASSERT_EQ(zero[level], level);
}

}  // namespace
