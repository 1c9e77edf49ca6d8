// The balance curves are a formula held as data: recompute every entry in
// double precision and compare. Run with HUECL_PRINT_BALANCE_CURVES=1 to
// print the regenerated table in the header's layout.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "colour/common/balance_curves.h"

namespace {

using huecl::common::BalanceCurveGammaTenths;
using huecl::common::BalanceCurves;
using huecl::common::kBalanceCurveCount;
using huecl::common::selectLaterBalanceCurve;

int powerCurveEntry(int gammaTenths, int level) {
    const double gamma = gammaTenths / 10.0;
    // Gamma 2.0 and 4.0 take their exponent exactly; the others carry a
    // small offset.
    const double exponent = (gammaTenths == 20 || gammaTenths == 40) ? gamma : gamma + 0.001;
    return static_cast<int>(std::floor(255.0 * std::pow(level / 255.0, exponent)));
}

TEST(BalanceCurves, EveryEntryMatchesThePowerFormula) {
    const bool print = std::getenv("HUECL_PRINT_BALANCE_CURVES") != nullptr;
    for (std::size_t curve = 0; curve < kBalanceCurveCount; ++curve) {
        if (print) std::printf("    // gamma %.1f\n    {{", BalanceCurveGammaTenths[curve] / 10.0);
        for (int level = 0; level < 256; ++level) {
            const int expected = powerCurveEntry(BalanceCurveGammaTenths[curve], level);
            if (print) std::printf("%s%3d", level % 16 == 0 ? (level ? ",\n      " : "") : ", ", expected);
            EXPECT_EQ(BalanceCurves[curve][level], expected)
                << "gamma tenths " << BalanceCurveGammaTenths[curve] << " level " << level;
        }
        if (print) std::printf("}},\n");
    }
}

// No entry sits so close to an integer that a last-bit difference in pow
// could move its floor: the table does not depend on the maths library.
TEST(BalanceCurves, NoEntryIsWithinRoundingOfAnInteger) {
    for (std::size_t curve = 0; curve < kBalanceCurveCount; ++curve) {
        const int tenths = BalanceCurveGammaTenths[curve];
        const double exponent = (tenths == 20 || tenths == 40) ? tenths / 10.0 : tenths / 10.0 + 0.001;
        for (int level = 1; level < 255; ++level) {
            const double value = 255.0 * std::pow(level / 255.0, exponent);
            EXPECT_GT(std::fabs(value - std::round(value)), 1e-9) << tenths << " " << level;
        }
    }
}

TEST(BalanceCurves, TellingEntries) {
    struct Row {
        int gammaTenths;
        int entries[6];  // at inputs 1, 16, 64, 128, 192, 254
    };
    const Row rows[] = {
        {1, {145, 192, 221, 237, 247, 254}}, {5, {15, 63, 127, 180, 221, 254}}, {9, {1, 21, 73, 137, 197, 254}},
        {12, {0, 9, 48, 111, 181, 253}},     {20, {0, 1, 16, 64, 144, 253}},    {28, {0, 0, 5, 36, 115, 252}},
        {40, {0, 0, 1, 16, 81, 251}},
    };
    const int inputs[6] = {1, 16, 64, 128, 192, 254};
    for (const Row& row : rows) {
        std::size_t curve = 0;
        while (BalanceCurveGammaTenths[curve] != row.gammaTenths) ++curve;
        for (int k = 0; k < 6; ++k) EXPECT_EQ(BalanceCurves[curve][inputs[k]], row.entries[k]) << row.gammaTenths;
        EXPECT_EQ(BalanceCurves[curve][0], 0);
        EXPECT_EQ(BalanceCurves[curve][255], 255);
    }
}

TEST(BalanceCurveSelection, LaterGenerationPairsLevelsUpward) {
    for (int level = 1; level <= 9; ++level) EXPECT_EQ(BalanceCurveGammaTenths[selectLaterBalanceCurve(level)], level);
    const int pairs[][2] = {{11, 12}, {12, 12}, {13, 14}, {14, 14}, {19, 20},
                            {20, 20}, {27, 28}, {28, 28}, {29, 40}, {30, 40}};
    for (const auto& pair : pairs)
        EXPECT_EQ(BalanceCurveGammaTenths[selectLaterBalanceCurve(pair[0])], pair[1]) << pair[0];
    for (int level : {-1000, -1, 0, 10, 31, 32, 1000, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(selectLaterBalanceCurve(level), huecl::common::kNoBalanceCurve) << level;
    }
}

}  // namespace
