// The earlier generation's colour balance through its exports, held to a
// 64-bit reference that follows the steps in order with its own pairing of
// levels and curves computed by pow; and one row of a page through balance,
// matching and the CMYK table.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "huecl32.h"
#include "support/random_pixels.h"
#include "support/earlier_colour_reference.h"

namespace {

using Pixels = std::vector<std::uint8_t>;

Pixels balanceRgb(Pixels pixels, const QvCtrRgbInf& control) {
    pixels.push_back(0xEE);  // guard byte after the row
    QvColCtrRgb(static_cast<std::uint32_t>((pixels.size() - 1) / 3), pixels.data(), &control);
    EXPECT_EQ(pixels.back(), 0xEE) << "wrote past the row";
    pixels.pop_back();
    return pixels;
}

Pixels toneCmyk(Pixels pixels, std::uint8_t* table) {
    const QvCtrCmyInf control{0x1234, table};
    pixels.push_back(0xEE);
    QvColCtrCmy(static_cast<std::uint32_t>((pixels.size() - 1) / 4), pixels.data(), &control);
    EXPECT_EQ(pixels.back(), 0xEE) << "wrote past the row";
    pixels.pop_back();
    return pixels;
}

using testsupport::randomPixelBytes;

int clampLevel(std::int64_t value) { return value < 0 ? 0 : value > 255 ? 255 : static_cast<int>(value); }

// The curve a level selects in this generation, as its exponent; 0 for none.
double exponentOfLevel(std::int32_t level) {
    if (level > 10) level = level / 2 * 2;
    if (level >= 1 && level <= 9) return level / 10.0 + 0.001;
    if (level == 20) return 2.0;
    if (level >= 12 && level <= 28) return level / 10.0 + 0.001;
    if (level == 30) return 4.0;
    return 0;
}

int curveSelect(std::int32_t level, int value) {
    const double exponent = exponentOfLevel(level);
    return exponent == 0 ? value : testsupport::powerCurve(exponent, value);
}

// C++ division truncates toward zero, as the steps require.
std::array<int, 3> referenceRgb(std::array<int, 3> bgr, const QvCtrRgbInf& c) {
    if (c.preTable != nullptr) {
        for (int& v : bgr) v = c.preTable[v];
    }
    if (c.brightness != 0) {
        for (int& v : bgr) v = clampLevel(std::int64_t{v} + c.brightness / 3);
    }
    if (c.saturation != 0) {
        const int mean = (bgr[0] + bgr[1] + bgr[2]) / 3;
        for (int& v : bgr) v = clampLevel(v + std::int64_t{v - mean} * c.saturation / 200);
    }
    const std::int32_t levels[3] = {c.gammaB, c.gammaG, c.gammaR};
    for (int k = 0; k < 3; ++k) {
        if (levels[k] != 10) bgr[k] = curveSelect(levels[k], bgr[k]);
    }
    return bgr;
}

void expectMatchesReference(const QvCtrRgbInf& control, const Pixels& pixels) {
    const Pixels result = balanceRgb(pixels, control);
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        const std::array<int, 3> expected = referenceRgb({pixels[i], pixels[i + 1], pixels[i + 2]}, control);
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(result[i + k], expected[k])
                << "pixel " << i / 3 << " component " << k << " brightness " << control.brightness << " saturation "
                << control.saturation << " levels " << control.gammaR << "," << control.gammaG << "," << control.gammaB;
        }
    }
}

// ---- QvColCtrRgb ------------------------------------------------------------------

TEST(EarlierBalanceRgb, NeutralSettingsAndLevelsWithoutCurveChangeNothing) {
    const Pixels pixels = randomPixelBytes(3 * 1000, 1);
    for (std::int32_t level : {10, 11, 0, -5, 32, 33, INT32_MAX, INT32_MIN}) {
        EXPECT_EQ(balanceRgb(pixels, QvCtrRgbInf{0, 0, level, level, level, nullptr}), pixels) << level;
    }
    EXPECT_EQ(balanceRgb(pixels, QvCtrRgbInf{2, 0, 10, 10, 10, nullptr}), pixels) << "2 / 3 truncates to 0";
    EXPECT_EQ(balanceRgb(pixels, QvCtrRgbInf{-2, 0, 10, 10, 10, nullptr}), pixels);
    EXPECT_EQ(balanceRgb({}, QvCtrRgbInf{30, 50, 4, 14, 30, nullptr}), Pixels{});
}

TEST(EarlierBalanceRgb, TellingCurveRowsPerLevel) {
    struct Row {
        std::int32_t level;
        std::uint8_t at64, at128, at192;
    };
    const Row rows[] = {
        {1, 221, 237, 247}, {2, 193, 222, 240}, {3, 168, 207, 234}, {4, 146, 193, 227}, {5, 127, 180, 221},
        {6, 111, 168, 215}, {7, 96, 157, 209},  {8, 84, 146, 203},  {9, 73, 137, 197},  {12, 48, 111, 181},
        {14, 36, 97, 171},  {16, 27, 84, 161},  {18, 21, 73, 152},  {20, 16, 64, 144},  {22, 12, 55, 136},
        {24, 9, 48, 129},   {26, 6, 42, 121},   {28, 5, 36, 115},   {30, 1, 16, 81},
    };
    for (const Row& row : rows) {
        // Each odd level above 10 acts as the even one below it.
        for (std::int32_t level : {row.level, row.level > 10 ? row.level + 1 : row.level}) {
            const Pixels result = balanceRgb({64, 128, 192}, QvCtrRgbInf{0, 0, level, level, level, nullptr});
            EXPECT_EQ(result, (Pixels{row.at64, row.at128, row.at192})) << "level " << level;
        }
    }
}

TEST(EarlierBalanceRgb, EachLevelActsOnItsOwnPrimary) {
    // Blue, green, red of 128 with levels red 12, green 11 (none), blue 30.
    EXPECT_EQ(balanceRgb({128, 128, 128}, QvCtrRgbInf{0, 0, 12, 11, 30, nullptr}), (Pixels{16, 128, 111}));
}

TEST(EarlierBalanceRgb, BrightnessAndSaturationEdges) {
    EXPECT_EQ(balanceRgb({0, 100, 254}, QvCtrRgbInf{3, 0, 10, 10, 10, nullptr}), (Pixels{1, 101, 255}));
    EXPECT_EQ(balanceRgb({0, 100, 254}, QvCtrRgbInf{-300, 0, 10, 10, 10, nullptr}), (Pixels{0, 0, 154}));
    // Saturation -200 makes the grey of the average: (10 + 20 + 90) / 3 = 40.
    EXPECT_EQ(balanceRgb({10, 20, 90}, QvCtrRgbInf{0, -200, 10, 10, 10, nullptr}), (Pixels{40, 40, 40}));
    // 200 doubles each distance from the average and clamps.
    EXPECT_EQ(balanceRgb({10, 20, 90}, QvCtrRgbInf{0, 200, 10, 10, 10, nullptr}), (Pixels{0, 0, 140}));
    EXPECT_EQ(balanceRgb({10, 100, 250}, QvCtrRgbInf{0, 200, 10, 10, 10, nullptr}), (Pixels{0, 80, 255}));
}

TEST(EarlierBalanceRgb, EveryStepTogetherAgreesWithTheReference) {
    std::array<std::uint8_t, 256> tone;
    QvTnrTblMak(25, tone.data());
    // Long rows and short ones (the library may treat them differently).
    for (std::size_t pixels : {1000u, 7u}) {
        const Pixels row = randomPixelBytes(3 * pixels, 2);
        for (std::int32_t brightness : {0, 31, -100}) {
            for (std::int32_t saturation : {0, 55, -120, 100000, INT32_MIN}) {
                for (const auto& levels : {std::array{10, 10, 10}, std::array{4, 13, 31}, std::array{11, 26, 1}}) {
                    for (std::uint8_t* table : {static_cast<std::uint8_t*>(nullptr), tone.data()}) {
                        expectMatchesReference(
                            QvCtrRgbInf{brightness, saturation, levels[0], levels[1], levels[2], table}, row);
                    }
                }
            }
        }
    }
}

// ---- QvColCtrCmy ------------------------------------------------------------------

TEST(EarlierBalanceCmy, TableActsOnAllFourComponents) {
    const Pixels pixels = randomPixelBytes(4 * 500, 3);
    EXPECT_EQ(toneCmyk(pixels, nullptr), pixels);
    std::array<std::uint8_t, 256> reversed;
    for (int i = 0; i < 256; ++i) reversed[i] = static_cast<std::uint8_t>(255 - i);
    const Pixels result = toneCmyk(pixels, reversed.data());
    for (std::size_t i = 0; i < pixels.size(); ++i) ASSERT_EQ(result[i], 255 - pixels[i]) << i;
    EXPECT_EQ(toneCmyk({}, reversed.data()), Pixels{});
}

// ---- One row through balance, matching and the CMYK table --------------------------

// The table holds the plain complement of each node (cyan 255 minus the red
// node's level, and so on, no black). Interpolating it is exact, so the
// matched row is the complement of the balanced one, and the whole road
// can be followed pixel by pixel: balance, complement (or the grey's black),
// then the CMYK table.
TEST(EarlierPipeline, OneRowThroughBalanceMatchingAndCmykTable) {
    std::vector<std::uint8_t> table;
    for (int r = 0; r < 32; ++r)
        for (int g = 0; g < 32; ++g)
            for (int b = 0; b < 32; ++b) {
                table.insert(table.end(), {static_cast<std::uint8_t>(255 - testsupport::gridNode(r)),
                                           static_cast<std::uint8_t>(255 - testsupport::gridNode(g)),
                                           static_cast<std::uint8_t>(255 - testsupport::gridNode(b)), 0});
            }
    std::vector<std::uint8_t> keys(HUECL_MATCH_CACHE_KEY_BYTES), values(HUECL_MATCH_CACHE_VALUE_BYTES);
    QvrMchInf match{1, 2, 0, table.data(), keys.data(), values.data()};
    QvrColCchIni(&match);
    QvDizInf dither{};
    dither.screenMode = 2;
    std::array<std::uint8_t, 256> cmykTone;
    QvTnrTblMak(-30, cmykTone.data());
    const QvCtrRgbInf rgbControl{30, 40, 8, 14, 11, nullptr};

    // A row of 4960 pixels: runs of random colours and of greys.
    constexpr std::uint32_t kPixels = 4960;
    Pixels source;
    std::mt19937 random(4);
    while (source.size() < 3 * kPixels) {
        const std::uint8_t b = random(), g = random(), r = random();
        const bool grey = random() % 4 == 0;
        for (std::uint32_t run = 1 + random() % 5; run > 0 && source.size() < 3 * kPixels; --run) {
            if (grey) {
                source.insert(source.end(), {g, g, g});
            } else {
                source.insert(source.end(), {b, g, r});
            }
        }
    }
    const Pixels balanced = balanceRgb(source, rgbControl);
    Pixels cmyk(4 * kPixels);
    QvColMchPrc(&dither, kPixels, balanced.data(), cmyk.data(), &match);
    cmyk = toneCmyk(cmyk, cmykTone.data());

    for (std::uint32_t i = 0; i < kPixels; ++i) {
        const std::array<int, 3> bgr = referenceRgb({source[3 * i], source[3 * i + 1], source[3 * i + 2]}, rgbControl);
        std::array<int, 4> matched = {255 - bgr[2], 255 - bgr[1], 255 - bgr[0], 0};
        if (bgr[0] == bgr[1] && bgr[1] == bgr[2]) matched = {0, 0, 0, testsupport::greyBlackReference(bgr[0], 2)};
        for (int k = 0; k < 4; ++k) ASSERT_EQ(cmyk[4 * i + k], cmykTone[matched[k]]) << "pixel " << i << " ink " << k;
    }
}

}  // namespace
