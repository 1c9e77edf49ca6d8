// Band geometry: derived fields, row sizes per mode, rows per buffer, and
// the cases that would divide by zero.
#include <gtest/gtest.h>

#include <cstdint>

#include "huecl32.h"

namespace {

QvrDrwInf geometry(std::uint32_t srcWidth, std::uint32_t devX, std::uint32_t devY, std::uint32_t devResX,
                   std::uint32_t srcResX, std::uint32_t devResY, std::uint32_t srcResY) {
    QvrDrwInf draw{};
    draw.srcWidth = srcWidth;
    draw.devX = devX;
    draw.devY = devY;
    draw.devResX = devResX;
    draw.srcResX = srcResX;
    draw.devResY = devResY;
    draw.srcResY = srcResY;
    draw.srcX = draw.srcY = draw.devWidth = draw.lineBytes = 0xA5A5A5A5;
    draw.devRow = 77;
    return draw;
}

std::uint32_t setUp(std::uint32_t mode, QvrDrwInf& draw, std::uint32_t bufferBytes) {
    QvrDizInf dither{};
    dither.dizMode = mode;
    dither.blackOnly = 0xFFFFFFFF;  // not read
    return QvrColDrwInfSet(&dither, &draw, bufferBytes);
}

TEST(DrawInformation, EqualResolutionsKeepTheGeometry) {
    QvrDrwInf draw = geometry(4960, 123, 4567, 600, 600, 300, 300);
    EXPECT_EQ(setUp(0, draw, 62000), 100u);
    EXPECT_EQ(draw.srcX, 123u);
    EXPECT_EQ(draw.srcY, 4567u);
    EXPECT_EQ(draw.devWidth, 4960u);
    EXPECT_EQ(draw.lineBytes, 620u);
    EXPECT_EQ(draw.devRow, 77u);  // not a geometry field
}

TEST(DrawInformation, WorkedExampleDoublingResolution) {
    QvrDrwInf draw = geometry(10, 101, 0, 600, 300, 600, 300);
    EXPECT_EQ(setUp(0, draw, 1000), 166u);
    EXPECT_EQ(draw.srcX, 51u);
    EXPECT_EQ(draw.srcY, 0u);
    EXPECT_EQ(draw.devWidth, 20u);
    EXPECT_EQ(draw.lineBytes, 3u);
}

TEST(DrawInformation, BitsPerDotFollowTheMode) {
    const struct {
        std::uint32_t mode, lineBytes;
    } cases[] = {{0, 3}, {2, 3}, {3, 5}, {1, 10}, {4, 10}, {0xFFFFFFFF, 10}};
    for (const auto& c : cases) {
        QvrDrwInf draw = geometry(10, 101, 0, 600, 300, 600, 300);
        setUp(c.mode, draw, 1000);
        EXPECT_EQ(draw.lineBytes, c.lineBytes) << c.mode;
    }
}

TEST(DrawInformation, BufferSmallerThanOneRowHoldsNoRows) {
    QvrDrwInf draw = geometry(100, 0, 0, 1, 1, 1, 1);
    EXPECT_EQ(setUp(1, draw, 49), 0u);
    EXPECT_EQ(setUp(1, draw, 50), 1u);
}

TEST(DrawInformation, ArithmeticWrapsAt32Bits) {
    // devX * srcResX = 2^32 + 2^31 wraps to 2^31: srcX = 2^31 / 3 rounded.
    QvrDrwInf draw = geometry(8, 0xC0000000u, 0, 3, 2, 1, 1);
    setUp(0, draw, 100);
    EXPECT_EQ(draw.srcX, (0x80000000u + 1u) / 3u);
}

// A row that covers no device dot needs no bytes: no rows are counted for
// it instead of dividing by zero.
TEST(DrawInformationDegenerate, EmptyRowGivesZeroRows) {
    QvrDrwInf draw = geometry(0, 10, 20, 600, 300, 600, 300);
    EXPECT_EQ(setUp(0, draw, 1000), 0u);
    EXPECT_EQ(draw.srcX, 5u);
    EXPECT_EQ(draw.srcY, 10u);
    EXPECT_EQ(draw.devWidth, 0u);
    EXPECT_EQ(draw.lineBytes, 0u);
}

TEST(DrawInformationDegenerate, ZeroResolutionsGiveZeroRowsAndKeepWhatCannotBeComputed) {
    {
        QvrDrwInf draw = geometry(10, 10, 20, 0, 300, 600, 300);  // devResX 0
        EXPECT_EQ(setUp(0, draw, 1000), 0u);
        EXPECT_EQ(draw.srcX, 0xA5A5A5A5u);
        EXPECT_EQ(draw.srcY, 10u);
        EXPECT_EQ(draw.devWidth, 0u);
        EXPECT_EQ(draw.lineBytes, 0u);
    }
    {
        QvrDrwInf draw = geometry(10, 10, 20, 600, 0, 600, 300);  // srcResX 0
        EXPECT_EQ(setUp(0, draw, 1000), 0u);
        EXPECT_EQ(draw.srcX, 0u);
        EXPECT_EQ(draw.srcY, 10u);
        EXPECT_EQ(draw.devWidth, 0xA5A5A5A5u);
        EXPECT_EQ(draw.lineBytes, 0xA5A5A5A5u);
    }
    {
        QvrDrwInf draw = geometry(10, 10, 20, 600, 300, 0, 300);  // devResY 0
        EXPECT_EQ(setUp(0, draw, 1000), 0u);
        EXPECT_EQ(draw.srcX, 5u);
        EXPECT_EQ(draw.srcY, 0xA5A5A5A5u);
        EXPECT_EQ(draw.devWidth, 20u);
        EXPECT_EQ(draw.lineBytes, 3u);
    }
    {
        QvrDrwInf draw = geometry(10, 10, 20, 600, 300, 600, 0);  // srcResY 0
        EXPECT_EQ(setUp(0, draw, 1000), 0u);
        EXPECT_EQ(draw.srcY, 0u);
        EXPECT_EQ(draw.lineBytes, 3u);
    }
}

}  // namespace
