// Colour balance through the exports: RGB rows before matching, CMYK rows
// after it, held to a plain 64-bit reference that follows the steps in
// order with curves computed by pow.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "huecl32.h"
#include "support/random_pixels.h"

namespace {

using Pixels = std::vector<std::uint8_t>;

Pixels balanceRgb(Pixels pixels, const QvrCtrRgbInf& control) {
    pixels.push_back(0xEE);  // guard byte after the row
    QvrColCtrRgb(static_cast<std::uint32_t>((pixels.size() - 1) / 3), pixels.data(), &control);
    EXPECT_EQ(pixels.back(), 0xEE) << "wrote past the row";
    pixels.pop_back();
    return pixels;
}

Pixels balanceCmy(Pixels pixels, const QvrCtrCmyInf& control) {
    pixels.push_back(0xEE);
    QvrColCtrCmy(static_cast<std::uint32_t>((pixels.size() - 1) / 4), pixels.data(), &control);
    EXPECT_EQ(pixels.back(), 0xEE) << "wrote past the row";
    pixels.pop_back();
    return pixels;
}

using testsupport::randomPixelBytes;

int clampLevel(std::int64_t value) { return value < 0 ? 0 : value > 255 ? 255 : static_cast<int>(value); }

// Gamma in tenths selected by a later-generation balance level, 0 for none.
int gammaTenthsOfLevel(std::int32_t level) {
    if (level >= 1 && level <= 9) return level;
    if (level >= 11 && level <= 28) return 12 + 2 * ((level - 11) / 2);
    if (level == 29 || level == 30) return 40;
    return 0;
}

int curveEntry(int gammaTenths, int level) {
    const double exponent = (gammaTenths == 20 || gammaTenths == 40) ? gammaTenths / 10.0 : gammaTenths / 10.0 + 0.001;
    return static_cast<int>(std::floor(255.0 * std::pow(level / 255.0, exponent)));
}

// C++ division truncates toward zero, as the steps require.
std::array<int, 3> referenceRgb(std::array<int, 3> rgb, const QvrCtrRgbInf& c) {
    for (int& v : rgb) {
        if (c.preTable) v = c.preTable[v];
        if (c.brightness != 0) v = clampLevel(std::int64_t{v} + c.brightness / 3);
    }
    if (c.saturation != 0) {
        const int mean = (rgb[0] + rgb[1] + rgb[2]) / 3;
        for (int& v : rgb) v = clampLevel(v + std::int64_t{v - mean} * c.saturation / 200);
    }
    const std::int32_t levels[3] = {c.gammaR, c.gammaG, c.gammaB};
    for (int k = 0; k < 3; ++k) {
        const int tenths = gammaTenthsOfLevel(levels[k]);
        if (tenths != 0) rgb[k] = curveEntry(tenths, rgb[k]);
    }
    return rgb;
}

void expectRgbMatchesReference(const QvrCtrRgbInf& control, const Pixels& source, const char* what) {
    const Pixels result = balanceRgb(source, control);
    for (std::size_t i = 0; i < source.size(); i += 3) {
        const std::array<int, 3> expected = referenceRgb({source[i + 2], source[i + 1], source[i]}, control);
        ASSERT_EQ(result[i + 2], expected[0]) << what << " red, pixel " << i / 3;
        ASSERT_EQ(result[i + 1], expected[1]) << what << " green, pixel " << i / 3;
        ASSERT_EQ(result[i], expected[2]) << what << " blue, pixel " << i / 3;
    }
}

// ---- RGB ---------------------------------------------------------------------------

TEST(RgbBalance, NeutralSettingsLeaveEveryPixelUnchanged) {
    const Pixels source = randomPixelBytes(3 * 20000, 1);
    for (std::int32_t level : {0, 10, 31, -7, 1000}) {
        const QvrCtrRgbInf control{0, 0, level, level, level, nullptr};
        EXPECT_EQ(balanceRgb(source, control), source) << level;
    }
}

TEST(RgbBalance, LevelsSelectTheLaterPairing) {
    const Pixels mid = {128, 128, 128, 192, 192, 192};
    for (std::int32_t level : {19, 20}) {
        const Pixels out = balanceRgb(mid, QvrCtrRgbInf{0, 0, level, level, level, nullptr});
        EXPECT_EQ(out[0], 64) << level;
        EXPECT_EQ(out[3], 144) << level;
    }
    for (std::int32_t level : {29, 30}) {
        EXPECT_EQ(balanceRgb(mid, QvrCtrRgbInf{0, 0, level, level, level, nullptr})[3], 81) << level;
    }
    // Level 11 already darkens (gamma 1.2), and each level acts on its own
    // component only: red, green, blue at bytes 2, 1, 0.
    const Pixels out = balanceRgb(mid, QvrCtrRgbInf{0, 0, 11, 10, 5, nullptr});
    EXPECT_EQ(out[2], 111);
    EXPECT_EQ(out[1], 128);
    EXPECT_EQ(out[0], 180);
}

TEST(RgbBalance, BrightnessAddsAThirdAndClamps) {
    const Pixels source = {0, 100, 255};
    EXPECT_EQ(balanceRgb(source, QvrCtrRgbInf{10, 0, 10, 10, 10, nullptr}), (Pixels{3, 103, 255}));
    EXPECT_EQ(balanceRgb(source, QvrCtrRgbInf{-10, 0, 10, 10, 10, nullptr}), (Pixels{0, 97, 252}));
    EXPECT_EQ(balanceRgb(source, QvrCtrRgbInf{2, 0, 10, 10, 10, nullptr}), source);
    EXPECT_EQ(balanceRgb(source, QvrCtrRgbInf{-2, 0, 10, 10, 10, nullptr}), source);
    EXPECT_EQ(balanceRgb(source, QvrCtrRgbInf{-300, 0, 10, 10, 10, nullptr}), (Pixels{0, 0, 155}));
    EXPECT_EQ(balanceRgb(source, QvrCtrRgbInf{INT32_MAX, 0, 10, 10, 10, nullptr}), (Pixels{255, 255, 255}));
    EXPECT_EQ(balanceRgb(source, QvrCtrRgbInf{INT32_MIN, 0, 10, 10, 10, nullptr}), (Pixels{0, 0, 0}));
}

TEST(RgbBalance, SaturationScalesTheDistanceFromTheMean) {
    const Pixels source = {100, 100, 200};  // blue, green, red
    EXPECT_EQ(balanceRgb(source, QvrCtrRgbInf{0, 100, 10, 10, 10, nullptr}), (Pixels{84, 84, 233}));
    EXPECT_EQ(balanceRgb(source, QvrCtrRgbInf{0, -200, 10, 10, 10, nullptr}), (Pixels{133, 133, 133}));
}

// A product of distance and saturation beyond 32 bits must not wrap: any
// saturation that large pushes every component that differs from the mean
// to 0 or 255, in the direction of its sign.
TEST(RgbBalance, HugeSaturationSaturatesInsteadOfWrapping) {
    const Pixels source = {100, 100, 200};
    for (std::int32_t saturation : {(1 << 23) + 1, 1 << 30, INT32_MAX}) {
        EXPECT_EQ(balanceRgb(source, QvrCtrRgbInf{0, saturation, 10, 10, 10, nullptr}), (Pixels{0, 0, 255}))
            << saturation;
        EXPECT_EQ(balanceRgb(source, QvrCtrRgbInf{0, -saturation, 10, 10, 10, nullptr}), (Pixels{255, 255, 0}))
            << saturation;
    }
    EXPECT_EQ(balanceRgb(source, QvrCtrRgbInf{0, INT32_MIN, 10, 10, 10, nullptr}), (Pixels{255, 255, 0}));
    // A grey pixel has no distance to scale.
    EXPECT_EQ(balanceRgb(Pixels{77, 77, 77}, QvrCtrRgbInf{0, INT32_MAX, 10, 10, 10, nullptr}), (Pixels{77, 77, 77}));
}

TEST(RgbBalance, ToneTableActsBeforeBrightnessAndSaturation) {
    std::array<std::uint8_t, 256> allTo250;
    allTo250.fill(250);
    // Table first, then +10: 255. The other order would give 250.
    EXPECT_EQ(balanceRgb(Pixels{0, 128, 255}, QvrCtrRgbInf{30, 0, 10, 10, 10, allTo250.data()}),
              (Pixels{255, 255, 255}));
}

TEST(RgbBalance, EveryStepTogetherMatchesTheReference) {
    std::mt19937 random(2);
    std::array<std::uint8_t, 256> table;
    QvrColDnsMak(25, table.data());
    const Pixels source = randomPixelBytes(3 * 3000, 3);
    const std::int32_t saturations[] = {0, 1, -1, 37, -37, 199, -200, 400, 51000, -51200, 1 << 20, -(1 << 20) - 1};
    for (std::int32_t saturation : saturations) {
        for (int trial = 0; trial < 6; ++trial) {
            const auto level = [&] { return static_cast<std::int32_t>(random() % 36) - 2; };
            const QvrCtrRgbInf control{static_cast<std::int32_t>(random() % 1201) - 600,
                                       saturation,
                                       level(),
                                       level(),
                                       level(),
                                       trial % 2 ? table.data() : nullptr};
            // Long rows and short ones take different routes to the same bytes.
            expectRgbMatchesReference(control, source, "long row");
            expectRgbMatchesReference(control, Pixels(source.begin(), source.begin() + 3 * 100), "short row");
        }
    }
}

TEST(RgbBalance, CountZeroChangesNothing) {
    std::array<std::uint8_t, 256> table{};
    Pixels pixels = {1, 2, 3};
    const QvrCtrRgbInf control{90, 50, 3, 15, 29, table.data()};
    QvrColCtrRgb(0, pixels.data(), &control);
    EXPECT_EQ(pixels, (Pixels{1, 2, 3}));
}

// ---- CMYK ----------------------------------------------------------------------------

TEST(CmyBalance, SaturationMovesColoursButNotBlack) {
    const Pixels source = {200, 100, 100, 50};
    EXPECT_EQ(balanceCmy(source, QvrCtrCmyInf{100, nullptr}), (Pixels{255, 67, 67, 50}));
    EXPECT_EQ(balanceCmy(source, QvrCtrCmyInf{-100, nullptr}), (Pixels{133, 133, 133, 50}));
    // -100 greys a CMYK pixel where RGB needs -200; -50 goes half way,
    // each move truncated toward zero (-33.5 to -33, +16.5 to +16).
    EXPECT_EQ(balanceCmy(source, QvrCtrCmyInf{-50, nullptr}), (Pixels{167, 116, 116, 50}));
    EXPECT_EQ(balanceCmy(source, QvrCtrCmyInf{INT32_MAX, nullptr}), (Pixels{255, 0, 0, 50}));
    EXPECT_EQ(balanceCmy(source, QvrCtrCmyInf{INT32_MIN, nullptr}), (Pixels{0, 255, 255, 50}));
}

TEST(CmyBalance, ToneTableActsLastOnAllFourComponents) {
    std::array<std::uint8_t, 256> invert;
    for (int level = 0; level < 256; ++level) invert[level] = static_cast<std::uint8_t>(255 - level);
    const Pixels source = {200, 100, 100, 50};
    EXPECT_EQ(balanceCmy(source, QvrCtrCmyInf{0, invert.data()}), (Pixels{55, 155, 155, 205}));
    // Saturation first (255, 67, 67), then the table.
    EXPECT_EQ(balanceCmy(source, QvrCtrCmyInf{100, invert.data()}), (Pixels{0, 188, 188, 205}));
}

TEST(CmyBalance, MatchesTheReferenceAndLeavesNeutralRowsAlone) {
    const Pixels source = randomPixelBytes(4 * 5000, 4);
    EXPECT_EQ(balanceCmy(source, QvrCtrCmyInf{0, nullptr}), source);
    std::array<std::uint8_t, 256> table;
    QvrColDnsMak(-30, table.data());
    for (std::int32_t saturation : {0, 3, -3, 100, -100, 250, -25600, 1 << 21}) {
        for (std::uint8_t* tone : {static_cast<std::uint8_t*>(nullptr), table.data()}) {
            const Pixels result = balanceCmy(source, QvrCtrCmyInf{saturation, tone});
            // The first 50 pixels alone are a short row.
            const Pixels shortResult =
                balanceCmy(Pixels(source.begin(), source.begin() + 4 * 50), QvrCtrCmyInf{saturation, tone});
            EXPECT_TRUE(std::equal(shortResult.begin(), shortResult.end(), result.begin())) << saturation;
            for (std::size_t i = 0; i < source.size(); i += 4) {
                int pixel[4] = {source[i], source[i + 1], source[i + 2], source[i + 3]};
                if (saturation != 0) {
                    const int mean = (pixel[0] + pixel[1] + pixel[2]) / 3;
                    for (int k = 0; k < 3; ++k)
                        pixel[k] = clampLevel(pixel[k] + std::int64_t{pixel[k] - mean} * saturation / 100);
                }
                for (int k = 0; k < 4; ++k) {
                    const int expected = tone ? tone[pixel[k]] : pixel[k];
                    ASSERT_EQ(result[i + k], expected) << "saturation " << saturation << " pixel " << i / 4;
                }
            }
        }
    }
}

TEST(CmyBalance, CountZeroChangesNothing) {
    std::array<std::uint8_t, 256> table{};
    Pixels pixels = {1, 2, 3, 4};
    const QvrCtrCmyInf control{70, table.data()};
    QvrColCtrCmy(0, pixels.data(), &control);
    EXPECT_EQ(pixels, (Pixels{1, 2, 3, 4}));
}

}  // namespace
