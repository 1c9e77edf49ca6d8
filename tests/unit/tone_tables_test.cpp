// The shared tone tables are measured curves: pin their contents by
// checksum and their shape by the properties every consumer relies on.
#include <gtest/gtest.h>

#include <cstdint>

#include "colour/common/tone_tables.h"
#include "support/crc32.h"

namespace {

using testsupport::crc32;

template <typename Table>
void expectToneCurveShape(const Table& table) {
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[255], 255);
    for (int level = 1; level < 256; ++level) {
        const int step = table[level] - table[level - 1];
        EXPECT_TRUE(step >= 0 && step <= 2) << "level " << level;
    }
}

TEST(ToneTables, ContentsArePinned) {
    using huecl::common::GrayToneTable;
    using huecl::common::PrimaryToneTable;
    EXPECT_EQ(crc32(GrayToneTable.data(), 256), 1757619160u);
    EXPECT_EQ(crc32(PrimaryToneTable.data(), 256), 3903922686u);
    EXPECT_EQ(GrayToneTable[128], 148);
    EXPECT_EQ(PrimaryToneTable[128], 158);
}

TEST(ToneTables, AreNonDecreasingCurvesFromBlackToWhite) {
    expectToneCurveShape(huecl::common::GrayToneTable);
    expectToneCurveShape(huecl::common::PrimaryToneTable);
}

}  // namespace
