// The earlier generation's halftoning through the exports: ordered
// dithering (rows and dots per ratio, matrix phases, strict thresholds,
// monochrome, wrapping geometry) and error diffusion (worked rows, error
// kept and cleared across calls, filter directions, modulation, the error
// sets and their selectors).
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "huecl32.h"

namespace {

constexpr std::uint8_t kSentinel = 0xA5;

// Caller-made threshold matrices: every cell between 3 and 254, different
// in every row and column.
std::vector<std::uint8_t> testMatrix(std::uint32_t edge, std::uint32_t seed) {
    std::vector<std::uint8_t> matrix(std::size_t{edge} * edge);
    for (std::uint32_t r = 0; r < edge; ++r) {
        for (std::uint32_t c = 0; c < edge; ++c) {
            matrix[r * edge + c] = static_cast<std::uint8_t>((37 * r + 11 * c + 53 * seed + (r * c) % 7) % 252 + 3);
        }
    }
    return matrix;
}

struct Matrices {
    std::array<std::vector<std::uint8_t>, 4> cells = {testMatrix(17, 1), testMatrix(17, 2), testMatrix(16, 3),
                                                      testMatrix(16, 4)};
    QvDizInf info{};

    explicit Matrices(std::uint32_t monoFlag = 0) {
        info.monoFlag = monoFlag;
        info.screenMode = 1;
        info.ptnC = cells[0].data();
        info.ptnM = cells[1].data();
        info.ptnY = cells[2].data();
        info.ptnK = cells[3].data();
    }
    // The threshold a dot of plane p meets at device row y, column x.
    std::uint8_t threshold(std::uint32_t p, std::uint32_t y, std::uint32_t x) const {
        const std::uint32_t edge = p < 2 ? 17 : 16;
        return cells[p][edge * (y % edge) + x % edge];
    }
};

// Plane buffers of `rows` rows plus a sentinel row, and the draw record.
struct Band {
    QvrDrwInf draw{};
    std::vector<std::uint8_t> pixels;
    std::array<std::vector<std::uint8_t>, 4> planes;

    Band(std::uint32_t lineBytes, std::uint32_t rows) {
        draw.devResX = draw.srcResX = draw.devResY = draw.srcResY = 300;
        draw.lineBytes = lineBytes;
        for (auto& plane : planes) plane.assign(std::size_t{lineBytes} * (rows + 1), kSentinel);
        draw.planeC = planes[0].data();
        draw.planeM = planes[1].data();
        draw.planeY = planes[2].data();
        draw.planeK = planes[3].data();
    }
    void setPixels(std::vector<std::uint8_t> cmyk) {
        pixels = std::move(cmyk);
        draw.srcPixels = pixels.data();
        draw.srcWidth = static_cast<std::uint32_t>(pixels.size() / 4);
    }
    bool dot(std::uint32_t plane, std::uint32_t row, std::uint32_t column) const {
        return (planes[plane][std::size_t{row} * draw.lineBytes + column / 8] & (0x80u >> (column % 8))) != 0;
    }
    std::uint32_t dotsInRow(std::uint32_t plane, std::uint32_t row) const {
        std::uint32_t count = 0;
        for (std::uint32_t c = 0; c < draw.lineBytes * 8; ++c) count += dot(plane, row, c) ? 1 : 0;
        return count;
    }
    bool rowUntouched(std::uint32_t plane, std::uint32_t row) const {
        for (std::uint32_t b = 0; b < draw.lineBytes; ++b) {
            if (planes[plane][std::size_t{row} * draw.lineBytes + b] != kSentinel) return false;
        }
        return true;
    }
};

std::vector<std::uint8_t> uniformRow(std::uint32_t width, std::array<std::uint8_t, 4> cmyk) {
    std::vector<std::uint8_t> row;
    for (std::uint32_t i = 0; i < width; ++i) row.insert(row.end(), cmyk.begin(), cmyk.end());
    return row;
}

// ---- Ordered dithering ------------------------------------------------

TEST(EarlierDither, PrintsOnlyAboveTheCellAtEveryPhase) {
    const Matrices matrices;
    for (const std::int32_t offset : {0, 1}) {
        Band band(6, 1);
        band.draw.devX = 7;
        band.draw.devY = 23;
        std::vector<std::uint8_t> row;
        for (std::uint32_t c = 0; c < 48; ++c) {
            for (std::uint32_t p = 0; p < 4; ++p) {
                row.push_back(static_cast<std::uint8_t>(matrices.threshold(p, 23, 7 + c) + offset));
            }
        }
        band.setPixels(row);
        QvColDizPrc(&matrices.info, &band.draw);
        for (std::uint32_t p = 0; p < 4; ++p) {
            EXPECT_EQ(band.dotsInRow(p, 0), offset == 0 ? 0u : 48u) << "plane " << p << " offset " << offset;
        }
    }
}

struct RowCountCase {
    const char* name;
    std::uint32_t devResY, srcResY, srcY, rows;
};

TEST(EarlierDither, RowsPerCallAndCounters) {
    const RowCountCase cases[] = {
        {"equal resolutions", 300, 300, 41, 1},
        {"doubling", 600, 300, 41, 2},
        {"halving, even row", 150, 300, 40, 0},
        {"halving, odd row", 150, 300, 41, 1},
        {"four thirds", 4, 3, 2, 2},
        // 4 * (2^30 + 2) wraps to 8 in 32 bits: 8 / 3 - 4 / 3 = 1, where
        // 64-bit arithmetic would give 2.
        {"four thirds, wrapping", 4, 3, 0x40000001u, 1},
    };
    const Matrices matrices;
    for (const RowCountCase& test : cases) {
        Band band(4, 3);
        band.setPixels(uniformRow(30, {200, 200, 200, 200}));
        band.draw.devResX = band.draw.srcResX = 300;
        band.draw.devResY = test.devResY;
        band.draw.srcResY = test.srcResY;
        band.draw.srcY = test.srcY;
        band.draw.devY = 1000;
        band.draw.devRow = 7;
        QvColDizPrc(&matrices.info, &band.draw);
        EXPECT_EQ(band.draw.srcY, test.srcY + 1) << test.name;
        EXPECT_EQ(band.draw.devY, 1000 + test.rows) << test.name;
        EXPECT_EQ(band.draw.devRow, 7 + test.rows) << test.name;
        for (std::uint32_t p = 0; p < 4; ++p) {
            for (std::uint32_t r = 0; r < 4; ++r) {
                EXPECT_EQ(band.rowUntouched(p, r), r >= test.rows) << test.name << " plane " << p << " row " << r;
            }
        }
    }
}

TEST(EarlierDither, DoubledRowsStepTheMatrixRow) {
    const Matrices matrices;
    const std::vector<std::uint8_t> row = uniformRow(40, {120, 130, 140, 150});
    Band doubled(5, 2);
    doubled.setPixels(row);
    doubled.draw.devResY = 600;
    doubled.draw.devY = 15;
    QvColDizPrc(&matrices.info, &doubled.draw);
    for (std::uint32_t r = 0; r < 2; ++r) {
        Band single(5, 1);
        single.setPixels(row);
        single.draw.devY = 15 + r;
        QvColDizPrc(&matrices.info, &single.draw);
        for (std::uint32_t p = 0; p < 4; ++p) {
            for (std::uint32_t c = 0; c < 40; ++c) {
                EXPECT_EQ(doubled.dot(p, r, c), single.dot(p, 0, c)) << "plane " << p << " row " << r;
            }
        }
    }
}

struct DotCountCase {
    const char* name;
    std::uint32_t devResX, srcResX, srcX;
    std::vector<std::uint32_t> dots;  // per source pixel
};

TEST(EarlierDither, DotsPerSourcePixel) {
    const DotCountCase cases[] = {
        {"three halves", 3, 2, 0, {1, 2, 1, 2, 1, 2}},
        {"three halves, odd start", 3, 2, 1, {2, 1, 2, 1, 2, 1}},
        {"two fifths", 2, 5, 0, {0, 0, 1, 0, 1, 0}},
        // 4 * (2^30 + 1) wraps to 4: 8 / 3 - 4 / 3 = 1, not 2.
        {"four thirds, wrapping", 4, 3, 0x40000001u, {1, 2, 1, 1, 2, 1}},
    };
    const Matrices matrices(1);
    for (const DotCountCase& test : cases) {
        std::uint32_t column = 0;
        for (std::uint32_t lit = 0; lit < test.dots.size(); ++lit) {
            Band band(4, 1);
            std::vector<std::uint8_t> row = uniformRow(static_cast<std::uint32_t>(test.dots.size()), {0, 0, 0, 0});
            row[4 * lit + 3] = 255;
            band.setPixels(row);
            band.draw.devResX = test.devResX;
            band.draw.srcResX = test.srcResX;
            band.draw.srcX = test.srcX;
            QvColDizPrc(&matrices.info, &band.draw);
            EXPECT_EQ(band.dotsInRow(3, 0), test.dots[lit]) << test.name << " pixel " << lit;
            for (std::uint32_t d = 0; d < test.dots[lit]; ++d) {
                EXPECT_TRUE(band.dot(3, 0, column + d)) << test.name << " pixel " << lit;
            }
            column += test.dots[lit];
        }
    }
}

TEST(EarlierDither, MonochromeWritesTheBlackPlaneOnly) {
    for (const std::uint32_t flag : {1u, 2u, 0xFFFFFFFFu}) {
        const Matrices matrices(flag);
        Band band(3, 1);
        band.setPixels(uniformRow(24, {255, 255, 255, 255}));
        QvColDizPrc(&matrices.info, &band.draw);
        EXPECT_EQ(band.dotsInRow(3, 0), 24u) << flag;
        for (std::uint32_t p = 0; p < 3; ++p) EXPECT_TRUE(band.rowUntouched(p, 0)) << flag;
    }
}

TEST(EarlierDither, CyanAndMagentaRepeatEvery17ColumnsYellowAndBlackEvery16) {
    const Matrices matrices;
    Band band(30, 1);
    band.setPixels(uniformRow(240, {128, 128, 128, 128}));
    band.draw.devX = 5;
    QvColDizPrc(&matrices.info, &band.draw);
    for (std::uint32_t p = 0; p < 4; ++p) {
        const std::uint32_t period = p < 2 ? 17 : 16;
        for (std::uint32_t c = 0; c + period < 240; ++c) {
            ASSERT_EQ(band.dot(p, 0, c), band.dot(p, 0, c + period)) << "plane " << p << " column " << c;
        }
    }
}

// The screens QvDizPtnMak builds: colour cells lie between 3 and 254, so
// full colorant prints on every dot and 3 or less on none, in every mode.
TEST(EarlierDither, BuiltScreensPrintFullLevelsEverywhereAndFaintOnesNowhere) {
    for (const std::uint32_t screenMode : {0u, 1u, 2u, 3u}) {
        Matrices matrices;
        matrices.info.screenMode = screenMode;
        QvDizPtnMak(&matrices.info);
        for (const std::uint8_t level : {255, 3, 0}) {
            Band band(6, 2);
            band.setPixels(uniformRow(48, {level, level, level, level}));
            band.draw.devResY = 600;  // two rows, so two matrix rows each time
            for (std::uint32_t y = 0; y < 17; ++y) {
                band.draw.devX = y * 5;
                band.draw.devY = 2 * y;
                band.draw.srcY = 0;
                QvColDizPrc(&matrices.info, &band.draw);
                for (std::uint32_t p = 0; p < 4; ++p) {
                    for (std::uint32_t r = 0; r < 2; ++r) {
                        ASSERT_EQ(band.dotsInRow(p, r), level == 255 ? 48u : 0u)
                            << "mode " << screenMode << " level " << int(level) << " plane " << p << " row "
                            << 2 * y + r;
                    }
                }
            }
        }
    }
}

TEST(EarlierDither, DotsPastTheRowAreNotWritten) {
    const Matrices matrices;
    Band band(2, 1);
    band.setPixels(uniformRow(40, {255, 255, 255, 255}));
    QvColDizPrc(&matrices.info, &band.draw);
    for (std::uint32_t p = 0; p < 4; ++p) {
        EXPECT_EQ(band.planes[p][0], 0xFF);
        EXPECT_EQ(band.planes[p][1], 0xFF);
        EXPECT_TRUE(band.rowUntouched(p, 1)) << "plane " << p;
    }
}

// ---- Error diffusion ----------------------------------------------------

// Both groups' sets with zeroed rows of `columns` columns after the guard.
struct ErrorState {
    std::array<std::vector<std::int16_t>, 8> rows;
    QvErrInf info{};

    explicit ErrorState(std::uint32_t columns) {
        for (int i = 0; i < 8; ++i) rows[i].assign(std::size_t{columns + 2} * (i < 4 ? 3 : 4), 0);
        info.rgbCells0 = info.rgbCells1 = info.cmykCells0 = info.cmykCells1 = columns + 1;
        info.rgbLastRow0 = info.rgbLastRow1 = info.cmykLastRow0 = info.cmykLastRow1 = 0xFFFFFF00u;
        info.rgbRowA0 = rows[0].data();
        info.rgbRowB0 = rows[1].data();
        info.rgbRowA1 = rows[2].data();
        info.rgbRowB1 = rows[3].data();
        info.cmykRowA0 = rows[4].data();
        info.cmykRowB0 = rows[5].data();
        info.cmykRowA1 = rows[6].data();
        info.cmykRowB1 = rows[7].data();
    }
    ErrorState(const ErrorState&) = delete;
    // Cell of a CMYK row of set `set` (A = 0, B = 1) at column x.
    std::int16_t& cmyk(std::uint32_t set, std::uint32_t ab, std::uint32_t x, std::uint32_t k) {
        return rows[4 + 2 * set + ab][4 * (x + 1) + k];
    }
    std::int16_t& rgb(std::uint32_t set, std::uint32_t ab, std::uint32_t x, std::uint32_t b) {
        return rows[2 * set + ab][3 * (x + 1) + b];
    }
};

std::vector<std::uint8_t> rgbRow(std::uint32_t width, std::uint8_t level) {
    return std::vector<std::uint8_t>(std::size_t{width} * 3, level);
}

TEST(EarlierRgbDiffusion, FirstRowRoundsDownToMultiplesOfEight) {
    ErrorState errors(8);
    QvrDrwInf draw{};
    std::vector<std::uint8_t> pixels = {100, 255, 3, 100, 255, 0};
    draw.srcWidth = 2;
    draw.srcY = 0;
    QvRgbGos(&draw, &errors.info, pixels.data());
    // First pixel: no error in, so 100 -> 96 (4 on), 255 -> 248 (7 on),
    // 3 -> 0 (3 on). Second, filter 0 (7 of 18 from the left): 100 + 28 / 18
    // = 101 -> 96; 255 + 49 / 18 = 257 -> 256, clamped to 255; 0 + 21 / 18 = 1 -> 0.
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{96, 248, 0, 96, 255, 0}));
    EXPECT_EQ(errors.rgb(0, 0, 0, 0), 4);
    EXPECT_EQ(errors.rgb(0, 0, 0, 1), 7);
    EXPECT_EQ(errors.rgb(0, 0, 0, 2), 3);
    EXPECT_EQ(errors.rgb(0, 0, 1, 0), 5);
    EXPECT_EQ(errors.rgb(0, 0, 1, 1), 2);
    EXPECT_EQ(errors.rgb(0, 0, 1, 2), 1);
    EXPECT_EQ(errors.info.rgbLastRow0, 0u);
}

struct DirectionCase {
    std::uint32_t row;
    std::uint8_t expected;  // 100 plus the error of 80 from column x + 1 above
};

TEST(EarlierRgbDiffusion, RightToLeftRowsIgnoreColumnAfterAbove) {
    // One pixel at column 4; the previous row holds 80 at column 5 only.
    const DirectionCase cases[] = {
        {0, 112},  // 100 + 3 * 80 / 18 = 113
        {1, 112},  // 100 + 3 * 80 / 16 = 115
        {2, 112},  // 100 + 4 * 80 / 21 = 115
        {3, 96},   // weight 0: 100
        {4, 96},   // weight 0: 100
        {5, 104},  // 100 + 3 * 80 / 22 = 110
    };
    for (const DirectionCase& test : cases) {
        ErrorState errors(8);
        errors.info.rgbLastRow0 = test.row - 1;
        const std::uint32_t previous = (test.row & 1) == 0 ? 1 : 0;  // B on even rows
        for (std::uint32_t b = 0; b < 3; ++b) errors.rgb(0, previous, 5, b) = 80;
        QvrDrwInf draw{};
        draw.srcWidth = 1;
        draw.devX = 4;
        draw.srcY = test.row;
        std::vector<std::uint8_t> pixel = rgbRow(1, 100);
        QvRgbGos(&draw, &errors.info, pixel.data());
        EXPECT_EQ(pixel, rgbRow(1, test.expected)) << "row " << test.row;
    }
}

TEST(EarlierRgbDiffusion, RowsThreeAndFourRunRightToLeft) {
    // Row 0, 0, 100: only a right-to-left row passes the last pixel's error
    // of 4 on to the middle one (7 of 11 or 8 of 14: 2).
    for (std::uint32_t row = 0; row < 6; ++row) {
        ErrorState errors(8);
        QvrDrwInf draw{};
        draw.srcWidth = 3;
        draw.srcY = row;
        std::vector<std::uint8_t> pixels = {0, 0, 0, 0, 0, 0, 100, 100, 100};
        QvRgbGos(&draw, &errors.info, pixels.data());
        const bool rightToLeft = row == 3 || row == 4;
        EXPECT_EQ(errors.rgb(0, row & 1, 1, 0), rightToLeft ? 2 : 0) << "row " << row;
        EXPECT_EQ(pixels[6], 96) << "row " << row;
    }
}

// Runs rows `first` and `second` of mid-grey through the RGB group and
// returns the second row's pixels.
std::vector<std::uint8_t> rgbSecondRow(std::uint32_t first, std::uint32_t second) {
    ErrorState errors(40);
    QvrDrwInf draw{};
    draw.srcWidth = 40;
    draw.srcY = first;
    std::vector<std::uint8_t> row = rgbRow(40, 93);
    QvRgbGos(&draw, &errors.info, row.data());
    draw.srcY = second;
    row = rgbRow(40, 93);
    QvRgbGos(&draw, &errors.info, row.data());
    return row;
}

std::vector<std::uint8_t> rgbFreshRow(std::uint32_t number) {
    ErrorState errors(40);
    QvrDrwInf draw{};
    draw.srcWidth = 40;
    draw.srcY = number;
    std::vector<std::uint8_t> row = rgbRow(40, 93);
    QvRgbGos(&draw, &errors.info, row.data());
    return row;
}

TEST(EarlierRgbDiffusion, ErrorCarriesToTheNextRowOnlyWhenConsecutive) {
    EXPECT_NE(rgbSecondRow(6, 7), rgbFreshRow(7));
    EXPECT_EQ(rgbSecondRow(6, 8), rgbFreshRow(8));  // a gap clears the previous row
    EXPECT_EQ(rgbSecondRow(6, 6), rgbFreshRow(6));  // so does a repeat
}

TEST(EarlierRgbDiffusion, EmptyRowRecordsTheRowNumber) {
    ErrorState errors(4);
    errors.rgb(0, 1, 2, 0) = 9;
    errors.info.rgbLastRow0 = 11;
    QvrDrwInf draw{};
    draw.srcY = 12;
    std::uint8_t untouched = 77;
    QvRgbGos(&draw, &errors.info, &untouched);
    EXPECT_EQ(errors.info.rgbLastRow0, 12u);
    EXPECT_EQ(untouched, 77);
    EXPECT_EQ(errors.rgb(0, 1, 2, 0), 9);  // consecutive: the previous row is kept
}

// A band of one CMYK row of `width` pixels for diffusion.
struct DiffusionBand : Band {
    explicit DiffusionBand(std::uint32_t width, std::uint32_t rows = 1) : Band((width + 7) / 8, rows) {}
};

TEST(EarlierCmykDiffusion, WorkedFirstRow) {
    const Matrices matrices;
    ErrorState errors(16);
    DiffusionBand band(2);
    band.setPixels({200, 0, 0, 0, 200, 0, 0, 0});
    QvColGosPrc(&matrices.info, &band.draw, &errors.info);
    // Dot 0: threshold 200 / 2 + 52 + (5 - 32) * 200 / 128 = 110; no error
    // in; prints, keeps 200 - 255 = -55. Dot 1: threshold 152 + (13 - 32) *
    // 200 / 128 = 123; error 7 * -55 / 18 = -21; 179 prints, keeps -76.
    EXPECT_EQ(band.planes[0][0], 0xC0);
    EXPECT_EQ(errors.cmyk(0, 0, 0, 0), -55);
    EXPECT_EQ(errors.cmyk(0, 0, 1, 0), -76);
    for (std::uint32_t p = 1; p < 4; ++p) EXPECT_EQ(band.planes[p][0], 0) << p;
    EXPECT_EQ(errors.info.cmykLastRow0, 0u);
    EXPECT_EQ(band.draw.devY, 1u);
    EXPECT_EQ(band.draw.srcY, 1u);
    EXPECT_EQ(band.draw.devRow, 1u);
}

TEST(EarlierCmykDiffusion, FullBlackPrintsEverywhereAndNoneNowhere) {
    const Matrices matrices;
    ErrorState errors(100);
    DiffusionBand full(100), none(100);
    full.setPixels(uniformRow(100, {0, 0, 0, 255}));
    none.setPixels(uniformRow(100, {0, 0, 0, 0}));
    for (std::uint32_t row = 0; row < 12; ++row) {
        full.draw.devY = row;
        QvColGosPrc(&matrices.info, &full.draw, &errors.info);
        EXPECT_EQ(full.dotsInRow(3, 0), 100u) << row;
    }
    ErrorState fresh(100);
    for (std::uint32_t row = 0; row < 12; ++row) {
        none.draw.devY = row;
        QvColGosPrc(&matrices.info, &none.draw, &fresh.info);
        EXPECT_EQ(none.dotsInRow(3, 0), 0u) << row;
    }
}

// Threshold of yellow: v / 2 + 52 on every cell, so from zero error 105
// prints and 104 does not; cyan's threshold moves with the cell.
TEST(EarlierCmykDiffusion, OnlyYellowIgnoresTheModulation) {
    const Matrices matrices;
    std::uint32_t cyanPrints = 0;
    for (std::uint32_t y = 0; y < 8; ++y) {
        for (std::uint32_t x = 0; x < 8; ++x) {
            for (const std::uint8_t level : {104, 105}) {
                ErrorState errors(16);
                DiffusionBand band(9);
                band.setPixels({level, 0, level, 0});
                band.draw.devX = x;
                band.draw.devY = y;
                QvColGosPrc(&matrices.info, &band.draw, &errors.info);
                EXPECT_EQ(band.dot(2, 0, 0), level == 105) << "cell " << y << "," << x;
                cyanPrints += band.dot(0, 0, 0) ? 1 : 0;
            }
        }
    }
    EXPECT_GT(cyanPrints, 0u);
    EXPECT_LT(cyanPrints, 128u);
}

TEST(EarlierCmykDiffusion, LevelsBelowSixCountAsNone) {
    const Matrices matrices;
    std::vector<std::int16_t> keptErrors[3];
    std::vector<std::uint8_t> planes[3];
    const std::uint8_t levels[3] = {0, 5, 6};
    for (int i = 0; i < 3; ++i) {
        ErrorState errors(32);
        DiffusionBand band(30);
        band.setPixels(uniformRow(30, {levels[i], levels[i], levels[i], levels[i]}));
        QvColGosPrc(&matrices.info, &band.draw, &errors.info);
        keptErrors[i] = errors.rows[4];
        planes[i] = band.planes[0];
    }
    EXPECT_EQ(keptErrors[1], keptErrors[0]);
    EXPECT_EQ(planes[1], planes[0]);
    EXPECT_NE(keptErrors[2], keptErrors[0]);
}

TEST(EarlierCmykDiffusion, MonochromeClearsEveryPlaneAndKeepsOtherErrorCells) {
    const Matrices matrices(1);
    ErrorState errors(24);
    for (std::uint32_t ab = 0; ab < 2; ++ab) {
        for (std::uint32_t x = 0; x < 24; ++x) {
            for (std::uint32_t k = 0; k < 3; ++k) errors.cmyk(0, ab, x, k) = static_cast<std::int16_t>(1000 + k);
        }
    }
    errors.info.cmykLastRow0 = 19;
    for (std::uint32_t row = 20; row < 27; ++row) {
        DiffusionBand band(20);
        band.setPixels(uniformRow(20, {255, 255, 255, 140}));
        band.draw.devY = row;
        QvColGosPrc(&matrices.info, &band.draw, &errors.info);
        for (std::uint32_t p = 0; p < 3; ++p) EXPECT_EQ(band.dotsInRow(p, 0), 0u) << "row " << row;
        EXPECT_GT(band.dotsInRow(3, 0), 0u);
    }
    for (std::uint32_t ab = 0; ab < 2; ++ab) {
        for (std::uint32_t x = 0; x < 24; ++x) {
            for (std::uint32_t k = 0; k < 3; ++k) ASSERT_EQ(errors.cmyk(0, ab, x, k), 1000 + k);
        }
    }
}

// Plane rows and error rows after device rows `first` then `second`.
struct CmykRun {
    std::vector<std::uint8_t> planes;
    std::vector<std::int16_t> errors;
};

CmykRun cmykRows(const std::vector<std::uint32_t>& numbers) {
    const Matrices matrices;
    ErrorState errors(40);
    CmykRun run;
    for (const std::uint32_t number : numbers) {
        DiffusionBand band(40);
        std::vector<std::uint8_t> row;
        for (std::uint32_t i = 0; i < 40; ++i) {
            row.insert(row.end(), {static_cast<std::uint8_t>(60 + i), 128, static_cast<std::uint8_t>(200 - i), 90});
        }
        band.setPixels(row);
        band.draw.devY = number;
        QvColGosPrc(&matrices.info, &band.draw, &errors.info);
        run.planes.clear();
        for (const auto& plane : band.planes) run.planes.insert(run.planes.end(), plane.begin(), plane.begin() + 5);
        run.errors = (number & 1) == 0 ? errors.rows[4] : errors.rows[5];
    }
    return run;
}

TEST(EarlierCmykDiffusion, ErrorCarriesToTheNextRowOnlyWhenConsecutive) {
    for (const std::uint32_t n : {0u, 2u, 3u, 7u}) {
        const CmykRun kept = cmykRows({n, n + 1});
        const CmykRun alone = cmykRows({n + 1});
        EXPECT_NE(kept.errors, alone.errors) << n;
        const CmykRun gap = cmykRows({n, n + 2});
        const CmykRun fresh = cmykRows({n + 2});
        EXPECT_EQ(gap.planes, fresh.planes) << n;
        EXPECT_EQ(gap.errors, fresh.errors) << n;
        const CmykRun three = cmykRows({n, n + 1, n + 2});
        EXPECT_NE(three.errors, fresh.errors) << n;
    }
}

TEST(EarlierCmykDiffusion, ScaledRowsCountRowsAndRecordTheLastOne) {
    const Matrices matrices;
    const RowCountCase cases[] = {
        {"doubling", 600, 300, 10, 2},
        {"halving, even row", 150, 300, 10, 0},
        {"halving, odd row", 150, 300, 11, 1},
    };
    for (const RowCountCase& test : cases) {
        ErrorState errors(64);
        // Row 100 does not follow 50, so a call that writes rows clears the
        // previous row B first; column 25 lies beyond the 20 dots written.
        errors.cmyk(0, 1, 25, 0) = 321;
        errors.info.cmykLastRow0 = 50;
        DiffusionBand band(20, 2);
        band.setPixels(uniformRow(10, {90, 90, 90, 90}));
        band.draw.devResX = band.draw.devResY = test.devResY;
        band.draw.srcResX = band.draw.srcResY = test.srcResY;
        band.draw.srcY = test.srcY;
        band.draw.devY = 100;
        QvColGosPrc(&matrices.info, &band.draw, &errors.info);
        EXPECT_EQ(band.draw.srcY, test.srcY + 1) << test.name;
        EXPECT_EQ(band.draw.devY, 100 + test.rows) << test.name;
        EXPECT_EQ(band.draw.devRow, test.rows) << test.name;
        EXPECT_EQ(errors.info.cmykLastRow0, test.rows == 0 ? 50u : 99u + test.rows) << test.name;
        EXPECT_EQ(errors.cmyk(0, 1, 25, 0), test.rows == 0 ? 321 : 0) << test.name;
        for (std::uint32_t p = 0; p < 4; ++p) {
            for (std::uint32_t r = 0; r < 3; ++r) {
                EXPECT_EQ(band.rowUntouched(p, r), r >= test.rows) << test.name << " plane " << p << " row " << r;
            }
        }
    }
}

TEST(EarlierCmykDiffusion, EmptyRowClearsThePlanesAndRecordsTheRow) {
    const Matrices matrices;
    ErrorState errors(4);
    DiffusionBand band(16);
    band.draw.srcPixels = nullptr;
    band.draw.srcWidth = 0;
    band.draw.devY = 5;
    QvColGosPrc(&matrices.info, &band.draw, &errors.info);
    for (std::uint32_t p = 0; p < 4; ++p) {
        EXPECT_EQ(band.planes[p][0], 0);
        EXPECT_EQ(band.planes[p][1], 0);
    }
    EXPECT_EQ(errors.info.cmykLastRow0, 5u);
}

// Only two sets exist: every selector but 0 takes set 1, leaving set 0
// and the other group alone.
TEST(EarlierDiffusionSets, AnyNonZeroSelectorUsesSetOne) {
    const Matrices matrices;
    for (const std::uint32_t selector : {1u, 2u, 7u, 0x80000000u}) {
        ErrorState errors(32);
        for (const int set0 : {0, 1, 4, 5}) errors.rows[set0].assign(errors.rows[set0].size(), 55);
        errors.info.cmykSet = selector;
        errors.info.rgbSet = selector;
        DiffusionBand band(30);
        band.setPixels(uniformRow(30, {100, 120, 140, 160}));
        band.draw.devY = 4;
        QvColGosPrc(&matrices.info, &band.draw, &errors.info);
        std::vector<std::uint8_t> rgb = rgbRow(30, 77);
        QvrDrwInf rgbDraw{};
        rgbDraw.srcWidth = 30;
        rgbDraw.srcY = 9;
        QvRgbGos(&rgbDraw, &errors.info, rgb.data());
        EXPECT_EQ(errors.info.cmykLastRow1, 4u) << selector;
        EXPECT_EQ(errors.info.rgbLastRow1, 9u) << selector;
        EXPECT_EQ(errors.info.cmykLastRow0, 0xFFFFFF00u) << selector;
        EXPECT_EQ(errors.info.rgbLastRow0, 0xFFFFFF00u) << selector;
        EXPECT_NE(errors.rows[6], std::vector<std::int16_t>(errors.rows[6].size(), 0)) << selector;  // row 4: A
        EXPECT_NE(errors.rows[3], std::vector<std::int16_t>(errors.rows[3].size(), 0)) << selector;  // row 9: B
        for (const int set0 : {0, 1, 4, 5}) {
            EXPECT_EQ(errors.rows[set0], std::vector<std::int16_t>(errors.rows[set0].size(), 55))
                << selector << " row " << set0;
        }
        EXPECT_EQ(errors.info.cmykSet, selector);
        EXPECT_EQ(errors.info.rgbSet, selector);
    }
}

}  // namespace
