// The saturation step bounds its setting so that the product of distance
// and setting fits 32 bits. Every component, mean and a wide band of
// settings, plus settings far beyond the bound, against the 64-bit formula.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "colour/common/balance_rows.h"

namespace {

using huecl::common::kSaturationBound;
using huecl::common::saturateComponent;

int exactSaturation(int value, int mean, std::int64_t saturation, int divisor) {
    const std::int64_t moved = value + (value - mean) * saturation / divisor;
    return moved < 0 ? 0 : moved > 255 ? 255 : static_cast<int>(moved);
}

void expectExactForAllComponents(std::int32_t saturation) {
    for (int divisor : {100, 200}) {
        for (int value = 0; value < 256; ++value) {
            for (int mean = 0; mean < 256; ++mean) {
                ASSERT_EQ(saturateComponent(value, mean, saturation, divisor),
                          exactSaturation(value, mean, saturation, divisor))
                    << "value " << value << " mean " << mean << " saturation " << saturation << " / " << divisor;
            }
        }
    }
}

TEST(SaturationStep, ExactAcrossTheUsefulRange) {
    for (std::int32_t saturation = -600; saturation <= 600; ++saturation) expectExactForAllComponents(saturation);
}

// Where one level of distance starts to reach past 0 or 255 (25,500 for
// CMYK, 51,000 for RGB) and around the bound itself.
TEST(SaturationStep, ExactWhereSettingsStartToSaturateAndAtTheBound) {
    for (std::int32_t centre : {25500, 51000, kSaturationBound}) {
        for (std::int32_t offset = -3; offset <= 3; ++offset) {
            expectExactForAllComponents(centre + offset);
            expectExactForAllComponents(-(centre + offset));
        }
    }
}

TEST(SaturationStep, ExactFarBeyondTheBound) {
    for (std::int32_t saturation : {kSaturationBound * 2, 1 << 23, 8421505, 8421506, 1 << 30, INT32_MAX, INT32_MIN,
                                    INT32_MIN + 1, -(1 << 30), -8421505}) {
        expectExactForAllComponents(saturation);
    }
}

}  // namespace
