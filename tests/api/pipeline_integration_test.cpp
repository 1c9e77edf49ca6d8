// One band of a page through the whole later-generation road: RGB rows are
// adjusted, matched to CMYK, adjusted again and screened into planes, with
// the band geometry from QvrColDrwInfSet. The checks are properties of the
// printed result, not of any one stage.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "huecl32.h"

namespace {

constexpr std::uint32_t kSegment = 64;  // pixels per test patch
constexpr std::uint32_t kRows = 32;

struct Page {
    // Matching by an interpolated 5 x 5 x 5 table that is plain inversion
    // (C = 255 - R ...), with every neutral sent to black.
    std::vector<std::uint8_t> table;
    std::array<std::uint8_t, HUECL_MATCH_CACHE_KEY_BYTES> cacheKeys{};
    std::array<std::uint8_t, HUECL_MATCH_CACHE_VALUE_BYTES> cacheValues{};
    QvrMchInf match{};
    QvrCtrRgbInf rgbControl{};
    QvrCtrCmyInf cmyControl{};
    std::array<std::uint8_t, 256> density{};
    QvrDizInf dither{};
    std::array<std::vector<std::uint8_t>, 4> matrices;
    QvrDrwInf draw{};
    std::array<std::vector<std::uint8_t>, 4> planes;

    Page(std::uint32_t ditherMode, std::int32_t brightness, std::uint32_t pixels, std::uint32_t scale) {
        const std::uint32_t n = 5;
        for (std::uint32_t r = 0; r < n; ++r)
            for (std::uint32_t g = 0; g < n; ++g)
                for (std::uint32_t b = 0; b < n; ++b) {
                    const auto invert = [n](std::uint32_t index) {
                        return static_cast<std::uint8_t>(255 - index * 255 / (n - 1));
                    };
                    table.insert(table.end(), {invert(r), invert(g), invert(b), 0});
                }
        match.mchMode = HUECL_MATCH_INTERPOLATED;
        match.blackMode = HUECL_BLACK_GREY;
        match.gridSize = n;
        match.mchTable = table.data();
        match.cacheKeys = cacheKeys.data();
        match.cacheValues = cacheValues.data();
        QvrColCchIni(&match);
        rgbControl.brightness = brightness;
        rgbControl.gammaR = rgbControl.gammaG = rgbControl.gammaB = 10;
        QvrColDnsMak(0, density.data());  // identity curve as the CMYK tone table
        cmyControl.cmyTable = density.data();

        for (auto& matrix : matrices) matrix.assign(HUECL_MAX_THRESHOLD_MATRIX_BYTES, 0);
        dither.dizMode = ditherMode;
        dither.screenKind = HUECL_SCREEN_KIND_3;
        dither.matrixC = matrices[0].data();
        dither.matrixM = matrices[1].data();
        dither.matrixY = matrices[2].data();
        dither.matrixK = matrices[3].data();
        QvrColDizInfSet(&dither);

        draw.srcWidth = pixels;
        draw.devResX = draw.devResY = 600;
        draw.srcResX = draw.srcResY = 600 / scale;
        const std::uint32_t bufferBytes = 1u << 16;
        const std::uint32_t rowsThatFit = QvrColDrwInfSet(&dither, &draw, bufferBytes);
        EXPECT_EQ(rowsThatFit, bufferBytes / draw.lineBytes / scale);
        for (auto& plane : planes) plane.assign(bufferBytes, 0xEE);
        draw.planeC = planes[0].data();
        draw.planeM = planes[1].data();
        draw.planeY = planes[2].data();
        draw.planeK = planes[3].data();
    }

    void printRow(std::vector<std::uint8_t> rgb) {
        const std::uint32_t count = static_cast<std::uint32_t>(rgb.size() / 3);
        QvrColCtrRgb(count, rgb.data(), &rgbControl);
        std::vector<std::uint8_t> cmyk(std::size_t{count} * 4, 0xAB);
        QvrColMchPrc(count, rgb.data(), cmyk.data(), &match);
        QvrColCtrCmy(count, cmyk.data(), &cmyControl);
        draw.srcPixels = cmyk.data();
        QvrColDizPrc(&dither, &draw);
        draw.srcPixels = nullptr;
    }

    // Printed share of a plane's dot values over a range of dots, 0-1.
    double coverage(int plane, std::uint32_t firstDot, std::uint32_t dots) const {
        const std::uint32_t bits = dither.dizMode == HUECL_DITHER_4BIT   ? 4
                                   : dither.dizMode == HUECL_DITHER_2BIT ? 2
                                                                         : 1;
        const std::uint32_t perByte = 8 / bits;
        std::uint64_t sum = 0;
        for (std::uint32_t row = 0; row < draw.devRow; ++row) {
            for (std::uint32_t dot = firstDot; dot < firstDot + dots; ++dot) {
                const std::uint8_t byte = planes[plane][std::size_t{row} * draw.lineBytes + dot / perByte];
                sum += (byte >> (8 - bits * (dot % perByte + 1))) & ((1u << bits) - 1);
            }
        }
        return static_cast<double>(sum) / (double(draw.devRow) * dots * ((1u << bits) - 1));
    }
};

// Patches of one row, left to right: white, red, a grey ramp, black.
std::vector<std::uint8_t> testRow(const std::vector<std::array<std::uint8_t, 3>>& patches) {
    std::vector<std::uint8_t> rgb;
    for (const auto& bgr : patches)
        for (std::uint32_t i = 0; i < kSegment; ++i) rgb.insert(rgb.end(), bgr.begin(), bgr.end());
    return rgb;
}

const std::vector<std::array<std::uint8_t, 3>> kPatches = {
    {255, 255, 255},                                                  // white
    {0, 0, 255},                                                      // red (B, G, R)
    {200, 200, 200}, {150, 150, 150}, {100, 100, 100}, {50, 50, 50},  // greys
    {0, 0, 0},                                                        // black
};

class PipelineIntegration : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(PipelineIntegration, RgbRowsBecomePlanesWithTheRightInks) {
    const std::uint32_t mode = GetParam();
    for (std::uint32_t scale : {1u, 2u}) {
        SCOPED_TRACE("mode " + std::to_string(mode) + " scale " + std::to_string(scale));
        const std::uint32_t pixels = static_cast<std::uint32_t>(kPatches.size()) * kSegment;
        Page page(mode, 0, pixels, scale);
        for (std::uint32_t row = 0; row < kRows; ++row) page.printRow(testRow(kPatches));
        EXPECT_EQ(page.draw.devRow, kRows * scale);
        EXPECT_EQ(page.draw.srcY, kRows);
        const std::uint32_t patch = kSegment * scale;
        enum { C, M, Y, K };
        // White prints nothing at all.
        for (int plane = 0; plane < 4; ++plane) EXPECT_EQ(page.coverage(plane, 0, patch), 0.0) << plane;
        // Red is magenta and yellow at full strength, no cyan, no black.
        EXPECT_EQ(page.coverage(M, patch, patch), 1.0);
        EXPECT_EQ(page.coverage(Y, patch, patch), 1.0);
        EXPECT_EQ(page.coverage(C, patch, patch), 0.0);
        EXPECT_EQ(page.coverage(K, patch, patch), 0.0);
        // Greys print in black only, more the darker they are; black is solid.
        double previous = 0.0;
        for (std::uint32_t grey = 0; grey < 5; ++grey) {
            const std::uint32_t first = (2 + grey) * patch;
            for (int plane : {C, M, Y}) EXPECT_EQ(page.coverage(plane, first, patch), 0.0) << grey;
            const double black = page.coverage(K, first, patch);
            EXPECT_GT(black, previous) << grey;
            previous = black;
        }
        EXPECT_EQ(previous, 1.0);
    }
}

TEST_P(PipelineIntegration, BrighterInputPrintsFewerDots) {
    const std::uint32_t pixels = static_cast<std::uint32_t>(kPatches.size()) * kSegment;
    Page plain(GetParam(), 0, pixels, 1), brighter(GetParam(), 60, pixels, 1);
    for (std::uint32_t row = 0; row < kRows; ++row) {
        plain.printRow(testRow(kPatches));
        brighter.printRow(testRow(kPatches));
    }
    for (std::uint32_t grey = 0; grey < 4; ++grey) {
        const std::uint32_t first = (2 + grey) * kSegment;
        EXPECT_LT(brighter.coverage(3, first, kSegment), plain.coverage(3, first, kSegment)) << grey;
    }
}

INSTANTIATE_TEST_SUITE_P(AllDotDepths, PipelineIntegration, ::testing::Values(0u, 1u, 2u, 3u));

}  // namespace
