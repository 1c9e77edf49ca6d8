// The earlier generation's matching written the slow, obvious way, from the
// formulas and in double precision where they use sine and powers, as the
// reference that the library's tables and folded arithmetic must agree with.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace testsupport {

// 128 sin(2 pi i / 255), truncated toward zero.
inline int greySine(int i) { return static_cast<int>(128.0 * std::sin(2.0 * std::numbers::pi * i / 255.0)); }

// floor(255 (level / 255)^exponent).
inline int powerCurve(double exponent, int level) {
    return static_cast<int>(std::floor(255.0 * std::pow(level / 255.0, exponent)));
}

// Black ink for a grey level (0 black, 255 white) and a screen mode.
inline int greyBlackReference(int grey, std::uint32_t screenMode) {
    int lightSide = 24, darkSide = 6;
    if (screenMode == 1) lightSide = 24, darkSide = 4;
    if (screenMode == 2) lightSide = 16, darkSide = 8;
    if (screenMode == 3) lightSide = 8, darkSide = 32;
    const int ink = 255 - grey;
    const int corrected = ink + greySine(ink) / (ink <= 128 ? lightSide : darkSide);
    const int stretched = corrected == 0 ? 0 : (corrected + 24) * 255 / 279;
    return powerCurve(1.601, stretched);
}

using CmykPixel = std::array<std::uint8_t, 4>;

inline int gridNode(int i) { return 255 * i / 31; }

// Interpolation in a 32 x 32 x 32 table: one axis at a time, red, green,
// blue, each byte divided and truncated after every axis.
inline CmykPixel interpolationReference(int blue, int green, int red, const std::vector<std::uint8_t>& table) {
    struct Axis {
        int low, high, belowDistance, aboveDistance;
    };
    const auto locate = [](int v) {
        const int low = 31 * v / 255, high = (31 * v + 254) / 255;
        return Axis{low, high, v - gridNode(low), gridNode(high) - v};
    };
    const auto blendValues = [](int low, int high, const Axis& axis) {
        if (axis.belowDistance == 0) return low;
        if (axis.aboveDistance == 0) return high;
        return (high * axis.belowDistance + low * axis.aboveDistance) / (axis.belowDistance + axis.aboveDistance);
    };
    const Axis r = locate(red), g = locate(green), b = locate(blue);
    CmykPixel result{};
    for (int k = 0; k < 4; ++k) {
        const auto entry = [&](int ri, int gi, int bi) { return int{table[4 * ((ri * 32 + gi) * 32 + bi) + k]}; };
        int afterRed[2][2];
        for (int gh = 0; gh < 2; ++gh) {
            for (int bh = 0; bh < 2; ++bh) {
                const int gi = gh ? g.high : g.low, bi = bh ? b.high : b.low;
                afterRed[gh][bh] = blendValues(entry(r.low, gi, bi), entry(r.high, gi, bi), r);
            }
        }
        const int afterGreen[2] = {blendValues(afterRed[0][0], afterRed[1][0], g),
                                   blendValues(afterRed[0][1], afterRed[1][1], g)};
        result[k] = static_cast<std::uint8_t>(blendValues(afterGreen[0], afterGreen[1], b));
    }
    return result;
}

// The inversion method: complements, a quarter of their least to black,
// colours through the gamma-1.4 curve.
inline CmykPixel curvedInversionReference(int blue, int green, int red) {
    const int cyan = 255 - red, magenta = 255 - green, yellow = 255 - blue;
    const int black = std::min(cyan, std::min(magenta, yellow)) / 4;
    return {static_cast<std::uint8_t>(powerCurve(1.401, cyan - black)),
            static_cast<std::uint8_t>(powerCurve(1.401, magenta - black)),
            static_cast<std::uint8_t>(powerCurve(1.401, yellow - black)), static_cast<std::uint8_t>(black)};
}

}  // namespace testsupport
