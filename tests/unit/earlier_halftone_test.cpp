// The earlier generation's halftoning fast paths against the general
// procedures on random rows, matrices, geometries, ratios and row
// sequences, and the exact division of the diffusion filters over every
// sum they can meet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "colour/earlier/colour_dither.h"
#include "colour/earlier/error_diffusion.h"
#include "colour/earlier/error_diffusion_tables.h"

namespace {

using huecl::earlier::kDiffusionKernels;

TEST(DiffusionDivision, ExactForEverySumOfFourCells) {
    for (std::uint32_t kernel = 0; kernel < 6; ++kernel) {
        const std::int32_t total = kDiffusionKernels[kernel].total;
        // The four weights add up to the total, so sums of 16-bit cells lie
        // within total * [-32768, 32767].
        for (std::int32_t sum = -total * 32768; sum <= total * 32767; ++sum) {
            ASSERT_EQ(huecl::earlier::divideByKernelTotal(sum, kernel), sum / total)
                << "kernel " << kernel << " sum " << sum;
            ASSERT_EQ(huecl::earlier::divideByKernelTotalInLanes(sum, kernel), sum / total)
                << "kernel " << kernel << " sum " << sum << " in lanes";
        }
    }
}

std::uint32_t pick(std::mt19937& random, std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
}

// Geometry shared by both operations: mostly ordinary rows, sometimes
// huge or wrapping values that send the fast paths to the general one.
void randomGeometry(std::mt19937& random, QvrDrwInf& d) {
    d.srcWidth = pick(random, 0, 3) == 0 ? pick(random, 0, 20) : pick(random, 21, 300);
    d.devX = pick(random, 0, 5) == 0 ? 0xFFFFFFFFu - pick(random, 0, 400) : pick(random, 0, 40);
    d.devY = pick(random, 0, 5) == 0 ? 0xFFFFFFFFu - pick(random, 0, 4) : pick(random, 0, 100000);
    const std::uint32_t roll = pick(random, 0, 4);
    if (roll <= 1) {
        d.devResX = d.srcResX = pick(random, 0, 1200);
        d.devResY = d.srcResY = pick(random, 0, 1200);
    } else if (roll == 2) {
        d.devResX = d.devResY = 600;
        d.srcResX = d.srcResY = 300;
    } else {
        d.devResX = pick(random, 1, 7);
        d.srcResX = pick(random, 0, 15) == 0 ? 0 : pick(random, 1, 7);
        d.devResY = pick(random, 1, 4);
        d.srcResY = pick(random, 0, 15) == 0 ? 0 : pick(random, 1, 4);
    }
    d.srcX =
        pick(random, 0, 6) == 0 ? 0xFFFFFFFFu / std::max(d.devResX, 1u) - pick(random, 0, 200) : pick(random, 0, 5000);
    d.srcY =
        pick(random, 0, 6) == 0 ? 0xFFFFFFFFu / std::max(d.devResY, 1u) - pick(random, 0, 3) : pick(random, 0, 5000);
    const std::uint64_t dots = d.devResX == d.srcResX ? d.srcWidth : std::uint64_t{d.srcWidth} * 7;
    const auto exact = static_cast<std::uint32_t>((dots + 7) / 8);
    // Exact, roomy, or too short for the row (dots past it are dropped).
    const std::uint32_t lineRoll = pick(random, 0, 5);
    d.lineBytes = lineRoll == 0 ? exact / 2 : lineRoll == 1 ? exact + pick(random, 1, 5) : exact;
    d.devRow = pick(random, 0, 1000);
    d.devWidth = 0xDEADBEEF;
}

std::vector<std::uint8_t> randomBytes(std::mt19937& random, std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    const std::uint32_t style = pick(random, 0, 2);
    for (auto& byte : bytes) {
        const std::uint32_t roll = pick(random, 0, 9);
        // Plain noise, or levels clustered at the edges and the mid-tone band.
        byte = static_cast<std::uint8_t>(style == 0 || roll < 4 ? pick(random, 0, 255)
                                         : roll < 6             ? pick(random, 0, 8)
                                         : roll < 8             ? pick(random, 110, 146)
                                                                : 255 - pick(random, 0, 3));
    }
    return bytes;
}

// Device rows a call may write at most in these geometries.
constexpr std::uint32_t kMostRows = 8;

struct Planes {
    std::vector<std::uint8_t> bytes[4];

    Planes(std::mt19937& random, const QvrDrwInf& d) {
        for (auto& plane : bytes) plane = randomBytes(random, std::size_t{d.lineBytes} * kMostRows + 8);
    }
    void bind(QvrDrwInf& d) {
        d.planeC = bytes[0].data();
        d.planeM = bytes[1].data();
        d.planeY = bytes[2].data();
        d.planeK = bytes[3].data();
    }
};

bool sameRecord(const QvrDrwInf& a, const QvrDrwInf& b) {
    return a.srcWidth == b.srcWidth && a.devX == b.devX && a.devY == b.devY && a.srcX == b.srcX && a.srcY == b.srcY &&
           a.devWidth == b.devWidth && a.lineBytes == b.lineBytes && a.devRow == b.devRow;
}

// Rows the calls would write beyond kMostRows are out of these tests.
bool fitsTheBuffers(const QvrDrwInf& d) {
    if (d.devResX == d.srcResX && d.devResY == d.srcResY) return true;
    if (d.srcResY == 0) return true;
    for (std::uint32_t call = 0; call < 4; ++call) {
        const std::uint32_t y = d.srcY + call;
        if ((y + 1) * d.devResY / d.srcResY - y * d.devResY / d.srcResY > kMostRows) return false;
    }
    return true;
}

TEST(EarlierDitherFastPaths, MatchTheGeneralProcedureOnRandomRows) {
    std::mt19937 random(20261208);
    int checked = 0;
    while (checked < 3000) {
        QvrDrwInf draw{};
        randomGeometry(random, draw);
        if (!fitsTheBuffers(draw)) continue;
        ++checked;
        std::vector<std::uint8_t> matrices[4] = {randomBytes(random, 289), randomBytes(random, 289),
                                                 randomBytes(random, 256), randomBytes(random, 256)};
        QvDizInf dither{};
        dither.monoFlag = pick(random, 0, 3) == 0 ? pick(random, 1, 3) : 0;
        dither.ptnC = matrices[0].data();
        dither.ptnM = matrices[1].data();
        dither.ptnY = matrices[2].data();
        dither.ptnK = matrices[3].data();
        std::vector<std::uint8_t> pixels = randomBytes(random, std::size_t{draw.srcWidth} * 4);
        draw.srcPixels = pixels.data();
        Planes fastPlanes(random, draw);
        Planes generalPlanes = fastPlanes;
        QvrDrwInf fast = draw, general = draw;
        fastPlanes.bind(fast);
        generalPlanes.bind(general);
        // Consecutive rows, so that the counters carry from call to call.
        for (int call = 0; call < 3; ++call) {
            huecl::earlier::ditherColourRow(dither, fast);
            huecl::earlier::ditherColourRowGeneral(dither, general);
        }
        ASSERT_TRUE(sameRecord(fast, general)) << "case " << checked;
        for (int p = 0; p < 4; ++p) {
            ASSERT_EQ(fastPlanes.bytes[p], generalPlanes.bytes[p])
                << "case " << checked << " plane " << p << " mono " << dither.monoFlag << " width " << draw.srcWidth
                << " devX " << draw.devX << " ratio " << draw.devResX << "/" << draw.srcResX;
        }
    }
}

// Two sets of two error rows for each group, one guard group before the
// columns and room for every column a row may reach.
struct ErrorRows {
    std::vector<std::int16_t> rows[8];
    QvErrInf info{};

    ErrorRows(std::mt19937& random, std::uint32_t columns) {
        const bool wild = pick(random, 0, 3) == 0;  // any 16-bit values, wrapping sums included
        for (int i = 0; i < 8; ++i) {
            const std::uint32_t groupCells = i < 4 ? 3 : 4;
            rows[i].resize(std::size_t{columns + 2} * groupCells);
            for (auto& cell : rows[i]) {
                cell = static_cast<std::int16_t>(wild ? pick(random, 0, 65535) : pick(random, 0, 600) - 300);
            }
        }
        info.rgbSet = pick(random, 0, 2);
        info.cmykSet = pick(random, 0, 2);
        info.rgbCells0 = info.rgbCells1 = info.cmykCells0 = info.cmykCells1 = columns + 1;
        info.rgbLastRow0 = pick(random, 0, 99);
        info.rgbLastRow1 = pick(random, 0, 99);
        info.cmykLastRow0 = pick(random, 0, 99);
        info.cmykLastRow1 = pick(random, 0, 99);
    }
    void bind() {
        info.rgbRowA0 = rows[0].data();
        info.rgbRowB0 = rows[1].data();
        info.rgbRowA1 = rows[2].data();
        info.rgbRowB1 = rows[3].data();
        info.cmykRowA0 = rows[4].data();
        info.cmykRowB0 = rows[5].data();
        info.cmykRowA1 = rows[6].data();
        info.cmykRowB1 = rows[7].data();
    }
    bool sameState(const ErrorRows& other) const {
        for (int i = 0; i < 8; ++i) {
            if (rows[i] != other.rows[i]) return false;
        }
        return info.rgbLastRow0 == other.info.rgbLastRow0 && info.rgbLastRow1 == other.info.rgbLastRow1 &&
               info.cmykLastRow0 == other.info.cmykLastRow0 && info.cmykLastRow1 == other.info.cmykLastRow1;
    }
};

// The next row number of a sequence: mostly the following one, sometimes a
// gap, a restart or a repeat.
std::uint32_t nextRowNumber(std::mt19937& random, std::uint32_t after) {
    const std::uint32_t roll = pick(random, 0, 9);
    if (roll < 7) return after;
    if (roll == 7) return after + pick(random, 1, 5);
    if (roll == 8) return pick(random, 0, 20);
    return after - 1;
}

TEST(EarlierDiffusionFastPaths, CmykRowsMatchTheGeneralProcedure) {
    std::mt19937 random(4242);
    int checked = 0;
    while (checked < 2500) {
        QvrDrwInf draw{};
        randomGeometry(random, draw);
        if (draw.devX > 64 || !fitsTheBuffers(draw)) {
            // Error rows cover the columns from 0, so wrapping columns are
            // tried with the dither test's geometry only.
            continue;
        }
        ++checked;
        QvDizInf dither{};
        dither.monoFlag = pick(random, 0, 3) == 0 ? pick(random, 1, 3) : 0;
        std::vector<std::uint8_t> pixels = randomBytes(random, std::size_t{draw.srcWidth} * 4);
        draw.srcPixels = pixels.data();
        const std::uint32_t columns = draw.devX + draw.lineBytes * 8 + 1;
        ErrorRows fastErrors(random, columns);
        ErrorRows generalErrors = fastErrors;
        fastErrors.bind();
        generalErrors.bind();
        Planes fastPlanes(random, draw);
        Planes generalPlanes = fastPlanes;
        QvrDrwInf fast = draw, general = draw;
        fastPlanes.bind(fast);
        generalPlanes.bind(general);
        for (int call = 0; call < 4; ++call) {
            huecl::earlier::diffuseCmykRow(dither, fast, fastErrors.info);
            huecl::earlier::diffuseCmykRowGeneral(dither, general, generalErrors.info);
            ASSERT_TRUE(sameRecord(fast, general)) << "case " << checked << " call " << call;
            ASSERT_TRUE(fastErrors.sameState(generalErrors)) << "case " << checked << " call " << call;
            for (int p = 0; p < 4; ++p) {
                ASSERT_EQ(fastPlanes.bytes[p], generalPlanes.bytes[p])
                    << "case " << checked << " call " << call << " plane " << p << " row " << general.devY << " width "
                    << draw.srcWidth << " ratio " << draw.devResX << "/" << draw.srcResX;
            }
            const std::uint32_t nextRow = nextRowNumber(random, fast.devY);
            fast.devY = general.devY = nextRow;
        }
    }
}

TEST(EarlierDiffusionFastPaths, RgbRowsMatchTheGeneralProcedure) {
    std::mt19937 random(777);
    for (int iteration = 0; iteration < 3000; ++iteration) {
        QvrDrwInf draw{};
        draw.srcWidth = pick(random, 0, 3) == 0 ? pick(random, 0, 9) : pick(random, 10, 400);
        draw.devX = pick(random, 0, 40);
        draw.srcY = pick(random, 0, 3) == 0 ? 0xFFFFFFFFu - pick(random, 0, 8) : pick(random, 0, 100);
        ErrorRows fastErrors(random, draw.devX + draw.srcWidth + 1);
        ErrorRows generalErrors = fastErrors;
        fastErrors.bind();
        generalErrors.bind();
        for (int call = 0; call < 4; ++call) {
            std::vector<std::uint8_t> fastPixels = randomBytes(random, std::size_t{draw.srcWidth} * 3);
            std::vector<std::uint8_t> generalPixels = fastPixels;
            huecl::earlier::diffuseRgbRow(draw, fastErrors.info, fastPixels.data());
            huecl::earlier::diffuseRgbRowGeneral(draw, generalErrors.info, generalPixels.data());
            ASSERT_EQ(fastPixels, generalPixels) << "iteration " << iteration << " call " << call;
            ASSERT_TRUE(fastErrors.sameState(generalErrors)) << "iteration " << iteration << " call " << call;
            draw.srcY = nextRowNumber(random, draw.srcY + 1);
        }
    }
}

}  // namespace
