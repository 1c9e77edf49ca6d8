// Row dithering through the export: worked rows, the record counters,
// scaling in both directions, the dot rules and wrapping geometry.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "huecl32.h"

namespace {

struct Screens {
    QvrDizInf info{};
    std::array<std::vector<std::uint8_t>, 4> matrices;

    Screens(std::uint32_t blackOnly, std::uint32_t mode, std::uint32_t screenKind) {
        for (auto& matrix : matrices) matrix.assign(HUECL_MAX_THRESHOLD_MATRIX_BYTES, 0);
        info.blackOnly = blackOnly;
        info.dizMode = mode;
        info.screenKind = screenKind;
        bind();
        QvrColDizInfSet(&info);
    }
    // A caller-made screen: every plane one matrix of the given edge and cells.
    Screens(std::uint32_t blackOnly, std::uint32_t mode, std::uint32_t size, const std::vector<std::uint8_t>& matrix) {
        for (auto& m : matrices) m = matrix;
        info.blackOnly = blackOnly;
        info.dizMode = mode;
        info.sizeC = info.sizeM = info.sizeY = info.sizeK = size;
        bind();
    }
    void bind() {
        info.matrixC = matrices[0].data();
        info.matrixM = matrices[1].data();
        info.matrixY = matrices[2].data();
        info.matrixK = matrices[3].data();
    }
};

struct Band {
    QvrDrwInf draw{};
    std::vector<std::uint8_t> pixels;
    std::array<std::vector<std::uint8_t>, 4> planes;

    Band(std::uint32_t lineBytes, std::uint32_t rows, std::uint8_t fill = 0xEE) {
        draw.devResX = draw.srcResX = draw.devResY = draw.srcResY = 600;
        draw.lineBytes = lineBytes;
        for (auto& plane : planes) plane.assign(std::size_t{lineBytes} * rows, fill);
        draw.planeC = planes[0].data();
        draw.planeM = planes[1].data();
        draw.planeY = planes[2].data();
        draw.planeK = planes[3].data();
    }
    void setPixels(const std::vector<std::uint8_t>& cmyk) {
        pixels = cmyk;
        draw.srcPixels = pixels.data();
        draw.srcWidth = static_cast<std::uint32_t>(pixels.size() / 4);
    }
    void setBlack(const std::vector<std::uint8_t>& levels, std::uint8_t otherChannels = 0) {
        std::vector<std::uint8_t> cmyk;
        for (std::uint8_t level : levels) cmyk.insert(cmyk.end(), {otherChannels, otherChannels, otherChannels, level});
        setPixels(cmyk);
    }
    std::uint8_t byte(int plane, std::uint32_t row, std::uint32_t index) const {
        return planes[plane][std::size_t{row} * draw.lineBytes + index];
    }
};

constexpr int kK = 3;

TEST(DitherProcessWorkedExamples, OneBitBlackOnly) {
    const Screens screens(1, 0, 3);
    Band band(1, 1);
    band.setBlack(std::vector<std::uint8_t>(8, 128));
    QvrColDizPrc(&screens.info, &band.draw);
    EXPECT_EQ(band.byte(kK, 0, 0), 0xC3);
}

TEST(DitherProcessWorkedExamples, TwoBitBlackOnly) {
    const Screens screens(1, 3, 3);
    Band band(1, 1);
    band.setBlack(std::vector<std::uint8_t>(4, 229));
    QvrColDizPrc(&screens.info, &band.draw);
    EXPECT_EQ(band.byte(kK, 0, 0), 0x2F);
}

TEST(DitherProcessWorkedExamples, FourBitBlackOnly) {
    const Screens screens(1, 1, 3);
    const std::pair<std::uint8_t, std::uint8_t> levelsAndValues[] = {{27, 6}, {24, 0}, {25, 2}, {32, 15}};
    for (const auto& [level, value] : levelsAndValues) {
        Band band(1, 1);
        band.setBlack({level});
        QvrColDizPrc(&screens.info, &band.draw);
        EXPECT_EQ(band.byte(kK, 0, 0), value << 4) << int{level};
    }
}

TEST(DitherProcessCounters, UnscaledWritesOneRowAndAdvancesEachCounter) {
    const Screens screens(0, 0, 0);
    Band band(4, 3);
    band.setPixels(std::vector<std::uint8_t>(4 * 30, 200));
    band.draw.srcY = 10;
    band.draw.devY = 20;
    band.draw.devRow = 1;
    QvrColDizPrc(&screens.info, &band.draw);
    EXPECT_EQ(band.draw.srcY, 11u);
    EXPECT_EQ(band.draw.devY, 21u);
    EXPECT_EQ(band.draw.devRow, 2u);
    for (int plane = 0; plane < 4; ++plane) {
        EXPECT_EQ(band.byte(plane, 0, 0), 0xEE);  // rows other than devRow untouched
        EXPECT_EQ(band.byte(plane, 2, 3), 0xEE);
        EXPECT_EQ(band.byte(plane, 1, 3) & 0x03, 0);  // bits after the last dot stay clear
    }
}

TEST(DitherProcessCounters, EmptyRowStillClearsAndAdvances) {
    const Screens screens(0, 3, 1);
    Band band(5, 2);
    band.setPixels({});
    band.draw.srcPixels = nullptr;
    QvrColDizPrc(&screens.info, &band.draw);
    for (int plane = 0; plane < 4; ++plane)
        for (std::uint32_t b = 0; b < 5; ++b) {
            EXPECT_EQ(band.byte(plane, 0, b), 0);
            EXPECT_EQ(band.byte(plane, 1, b), 0xEE);
        }
    EXPECT_EQ(band.draw.srcY, 1u);
    EXPECT_EQ(band.draw.devRow, 1u);
}

TEST(DitherProcessScaling, VerticalReductionAlternatesBetweenNoRowAndOneRow) {
    const Screens screens(1, 0, 1);
    Band band(2, 4);
    band.setBlack(std::vector<std::uint8_t>(16, 255));
    band.draw.devResY = 1;
    band.draw.srcResY = 2;
    const std::uint32_t expectedRows[] = {0, 1, 1, 2, 2, 3};
    for (int call = 0; call < 6; ++call) {
        QvrColDizPrc(&screens.info, &band.draw);
        EXPECT_EQ(band.draw.srcY, static_cast<std::uint32_t>(call + 1));
        EXPECT_EQ(band.draw.devRow, expectedRows[call]) << call;
        EXPECT_EQ(band.draw.devY, expectedRows[call]) << call;
    }
    EXPECT_EQ(band.byte(kK, 0, 0), 0xFF);
    EXPECT_EQ(band.byte(kK, 3, 1), 0xEE);
}

TEST(DitherProcessScaling, HorizontalEnlargementRepeatsEachPixelAtConsecutiveColumns) {
    // One-bit matrix whose row 0 holds thresholds 0, 100, 0, 100, ...: a
    // level of 50 prints exactly the even columns.
    std::vector<std::uint8_t> matrix(16 * 16, 254);
    for (int c = 0; c < 16; ++c) matrix[c] = c % 2 ? 100 : 0;
    const Screens screens(1, 0, 16, matrix);
    Band band(2, 1);
    band.setBlack({50, 50, 0, 50, 255, 255, 255, 255});
    band.draw.devResX = 2;
    band.draw.srcResX = 1;
    QvrColDizPrc(&screens.info, &band.draw);
    // Dots: 50 50 | 50 50 | 0 0 | 50 50 || 255 x8
    EXPECT_EQ(band.byte(kK, 0, 0), 0xA2);
    EXPECT_EQ(band.byte(kK, 0, 1), 0xFF);
    EXPECT_EQ(band.draw.devRow, 1u);
}

TEST(DitherProcessScaling, DoublingBothWaysWritesTwoRowsWithTheirOwnMatrixRows) {
    const Screens screens(1, 0, 3);
    Band band(2, 2);
    band.setBlack(std::vector<std::uint8_t>(8, 100));
    band.draw.devResX = band.draw.devResY = 600;
    band.draw.srcResX = band.draw.srcResY = 300;
    QvrColDizPrc(&screens.info, &band.draw);
    EXPECT_EQ(band.draw.devRow, 2u);
    EXPECT_EQ(band.draw.devY, 2u);
    EXPECT_EQ(band.draw.srcY, 1u);
    // Matrix row 0 starts 27 51 155 235 231 171 67 19, row 1 starts
    // 91 123 195 175 143 199 99 59: at level 100 they print differently.
    EXPECT_EQ(band.byte(kK, 0, 0), 0xC3);
    EXPECT_EQ(band.byte(kK, 1, 0), 0x83);
}

TEST(DitherProcessDotRules, FullAndEmptyLevelsInEveryConfiguration) {
    for (std::uint32_t mode = 0; mode < 4; ++mode) {
        for (std::uint32_t blackOnly : {0u, 1u}) {
            for (std::uint32_t kind : {0u, 1u, 2u, 3u}) {
                const Screens screens(blackOnly, mode, kind);
                const std::uint32_t bits = mode == 1 ? 4 : mode == 3 ? 2 : 1;
                const std::uint32_t dots = 68;  // a multiple of every 17- and 34-dot screen edge / 2
                for (std::uint32_t devY = 0; devY < 40; ++devY) {
                    Band band(dots * bits / 8, 1);
                    std::vector<std::uint8_t> cmyk(4 * dots);
                    for (std::uint32_t i = 0; i < dots; ++i)
                        for (int ch = 0; ch < 4; ++ch) cmyk[4 * i + ch] = ch % 2 ? 255 : 0;
                    band.setPixels(cmyk);
                    band.draw.devY = devY;
                    QvrColDizPrc(&screens.info, &band.draw);
                    for (std::uint32_t b = 0; b < band.draw.lineBytes; ++b) {
                        if (!blackOnly) {
                            ASSERT_EQ(band.byte(0, 0, b), 0x00);  // cyan level 0
                            ASSERT_EQ(band.byte(1, 0, b), 0xFF);  // magenta level 255
                            ASSERT_EQ(band.byte(2, 0, b), 0x00);
                        }
                        ASSERT_EQ(band.byte(kK, 0, b), 0xFF) << mode << " " << kind << " " << blackOnly;
                    }
                }
            }
        }
    }
}

TEST(DitherProcessDotRules, TwoBitAscendingCellCountsThresholdsBelow) {
    const Screens screens(1, 3, 1, {10, 20, 30});
    const std::pair<std::uint8_t, int> cases[] = {{10, 0}, {11, 1}, {20, 1}, {21, 2}, {30, 2}, {31, 3}, {255, 3}};
    for (const auto& [level, value] : cases) {
        Band band(1, 1);
        band.setBlack({level});
        QvrColDizPrc(&screens.info, &band.draw);
        EXPECT_EQ(band.byte(kK, 0, 0), value << 6) << int{level};
    }
}

TEST(DitherProcessDotRules, FourBitEndsOfTheCell) {
    std::vector<std::uint8_t> cell(15);
    for (int k = 0; k < 15; ++k) cell[k] = static_cast<std::uint8_t>(10 + 10 * k);
    const Screens screens(1, 1, 1, cell);
    const std::pair<std::uint8_t, int> cases[] = {{10, 0}, {11, 1}, {20, 1}, {21, 2}, {150, 14}, {151, 15}};
    for (const auto& [level, value] : cases) {
        Band band(1, 1);
        band.setBlack({level, level});
        QvrColDizPrc(&screens.info, &band.draw);
        EXPECT_EQ(band.byte(kK, 0, 0), value << 4 | value) << int{level};
    }
}

TEST(DitherProcessPlanes, BlackOnlyTouchesOnlyTheBlackPlaneAndItsByte) {
    const Screens screens(1, 0, 2);
    Band band(4, 1);
    band.setBlack(std::vector<std::uint8_t>(32, 90), 0xFF);
    Band reference(4, 1);
    reference.setBlack(std::vector<std::uint8_t>(32, 90), 0x00);
    band.draw.planeC = band.draw.planeM = band.draw.planeY = nullptr;
    QvrColDizPrc(&screens.info, &band.draw);
    QvrColDizPrc(&screens.info, &reference.draw);
    EXPECT_EQ(band.planes[kK], reference.planes[kK]);
    for (int plane = 0; plane < 3; ++plane) EXPECT_EQ(band.planes[plane], std::vector<std::uint8_t>(4, 0xEE));
}

TEST(DitherProcessPlanes, AnyNonZeroBlackOnlyProcessesBlackOnly) {
    Screens screens(0, 0, 0);  // four-plane matrices
    screens.info.blackOnly = 2;
    Band band(4, 1);
    band.setPixels(std::vector<std::uint8_t>(4 * 32, 255));
    QvrColDizPrc(&screens.info, &band.draw);
    EXPECT_EQ(band.planes[0], std::vector<std::uint8_t>(4, 0xEE));
    EXPECT_EQ(band.planes[kK], std::vector<std::uint8_t>(4, 0xFF));
}

TEST(DitherProcessGeometry, ShiftingByACommonPeriodChangesNothing) {
    const Screens screens(0, 0, 3);  // edges 17, 17, 32, 24: common period 3264
    std::vector<std::uint8_t> cmyk(4 * 200);
    for (std::size_t i = 0; i < cmyk.size(); ++i) cmyk[i] = static_cast<std::uint8_t>((i * 37) % 256);
    Band first(25, 1), shifted(25, 1), nudged(25, 1);
    first.setPixels(cmyk);
    shifted.setPixels(cmyk);
    nudged.setPixels(cmyk);
    first.draw.devX = 5;
    shifted.draw.devX = 5 + 3264;
    nudged.draw.devX = 5 + 17;  // moves only the yellow and black screens
    QvrColDizPrc(&screens.info, &first.draw);
    QvrColDizPrc(&screens.info, &shifted.draw);
    QvrColDizPrc(&screens.info, &nudged.draw);
    EXPECT_EQ(first.planes, shifted.planes);
    EXPECT_EQ(first.planes[0], nudged.planes[0]);
    EXPECT_EQ(first.planes[1], nudged.planes[1]);
    EXPECT_NE(first.planes[2], nudged.planes[2]);
    EXPECT_NE(first.planes[3], nudged.planes[3]);
}

// Device columns and rows are counted in 32 bits: past 2^32 - 1 they wrap
// to 0, so the screen restarts at its column 0 and row 0, as on the 32-bit
// library (a 64-bit count would continue at 2^32 mod 17 = 1).
TEST(DitherProcessGeometry, DeviceCoordinatesWrapAt32Bits) {
    std::vector<std::uint8_t> matrix(17 * 17, 254);
    matrix[0] = matrix[1] = 0;  // matrix row 0, columns 0 and 1 print at any level
    const Screens screens(1, 0, 17, matrix);
    Band band(1, 3);
    band.setBlack({1, 1, 1, 1});
    band.draw.devX = 0xFFFFFFFEu;  // columns 16, 0 (2^32 - 1 = 17 * 252645135), then 0 and 1
    band.draw.devY = 0xFFFFFFFEu;  // matrix rows 16, 0, then 0 again
    band.draw.devResX = band.draw.srcResX = 1;
    band.draw.devResY = 3;
    band.draw.srcResY = 1;
    QvrColDizPrc(&screens.info, &band.draw);
    EXPECT_EQ(band.byte(kK, 0, 0), 0x00);  // matrix row 16: nothing prints
    EXPECT_EQ(band.byte(kK, 1, 0), 0x70);  // columns 16, 0, 0, 1
    EXPECT_EQ(band.byte(kK, 2, 0), 0x70);
    EXPECT_EQ(band.draw.devY, 1u);
    EXPECT_EQ(band.draw.devRow, 3u);
}

// A product that wraps makes a pixel's dot count huge on the 32-bit
// library, which then writes far past the row. Here the dots stop at the
// end of the row: nothing lands in the next row.
TEST(DitherProcessGeometry, WrappedStepsStayInsideTheRow) {
    const Screens screens(1, 0, 1);
    Band band(2, 2);
    band.setBlack({255, 255, 255});
    band.draw.devResX = 3;
    band.draw.srcResX = 2;
    band.draw.srcX = 0x55555555u;  // 0x55555556 * 3 wraps to 2
    QvrColDizPrc(&screens.info, &band.draw);
    EXPECT_EQ(band.byte(kK, 0, 0), 0xFF);
    EXPECT_EQ(band.byte(kK, 0, 1), 0xFF);
    EXPECT_EQ(band.byte(kK, 1, 0), 0xEE);
    EXPECT_EQ(band.draw.devRow, 1u);
}

TEST(DitherProcessGeometry, ZeroSourceResolutionWritesNothing) {
    const Screens screens(1, 0, 1);
    Band band(2, 1);
    band.setBlack({255, 255});
    band.draw.devResY = 2;
    band.draw.srcResY = 0;
    QvrColDizPrc(&screens.info, &band.draw);
    EXPECT_EQ(band.draw.srcY, 1u);
    EXPECT_EQ(band.draw.devRow, 0u);
    EXPECT_EQ(band.planes[kK], std::vector<std::uint8_t>(2, 0xEE));
    band.draw.srcResY = 2;
    band.draw.srcResX = 0;
    QvrColDizPrc(&screens.info, &band.draw);
    EXPECT_EQ(band.draw.devRow, 1u);
    EXPECT_EQ(band.planes[kK], std::vector<std::uint8_t>(2, 0x00));
}

}  // namespace
