// The earlier generation's grey-to-black curve. A neutral level is turned
// into black ink through a sine-shaped correction, whose strength on the
// light and on the dark side depends on the screen mode, and then the
// gamma-1.6 balance curve. The sine comes from a table of constant data and
// the whole curve is folded into one 256-entry table per screen mode at
// compile time, so that a pixel costs one look-up.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "colour/common/balance_curves.h"

namespace huecl::earlier {
// Hand-laid tables: one row of a table per line of numbers.
// clang-format off

// Entry i is 128 * sin(2 pi i / 255), truncated toward zero; a unit test
// recomputes every entry in double precision.
inline constexpr std::array<std::int16_t, 256> GreySineTable = {{
       0,    3,    6,    9,   12,   15,   18,   21,   25,   28,   31,   34,   37,   40,   43,   46,
      49,   52,   54,   57,   60,   63,   66,   68,   71,   73,   76,   79,   81,   83,   86,   88,
      90,   92,   95,   97,   99,  101,  103,  104,  106,  108,  110,  111,  113,  114,  115,  117,
     118,  119,  120,  121,  122,  123,  124,  125,  125,  126,  126,  127,  127,  127,  127,  127,
     127,  127,  127,  127,  127,  126,  126,  125,  125,  124,  123,  123,  122,  121,  120,  119,
     117,  116,  115,  113,  112,  110,  109,  107,  105,  104,  102,  100,   98,   96,   94,   91,
      89,   87,   85,   82,   80,   77,   75,   72,   70,   67,   64,   61,   59,   56,   53,   50,
      47,   44,   41,   38,   35,   32,   29,   26,   23,   20,   17,   14,   11,    7,    4,    1,
      -1,   -4,   -7,  -11,  -14,  -17,  -20,  -23,  -26,  -29,  -32,  -35,  -38,  -41,  -44,  -47,
     -50,  -53,  -56,  -59,  -61,  -64,  -67,  -70,  -72,  -75,  -77,  -80,  -82,  -85,  -87,  -89,
     -91,  -94,  -96,  -98, -100, -102, -104, -105, -107, -109, -110, -112, -113, -115, -116, -117,
    -119, -120, -121, -122, -123, -123, -124, -125, -125, -126, -126, -127, -127, -127, -127, -127,
    -127, -127, -127, -127, -127, -126, -126, -125, -125, -124, -123, -122, -121, -120, -119, -118,
    -117, -115, -114, -113, -111, -110, -108, -106, -104, -103, -101,  -99,  -97,  -95,  -92,  -90,
     -88,  -86,  -83,  -81,  -79,  -76,  -73,  -71,  -68,  -66,  -63,  -60,  -57,  -54,  -52,  -49,
     -46,  -43,  -40,  -37,  -34,  -31,  -28,  -25,  -21,  -18,  -15,  -12,   -9,   -6,   -3,    0,
}};

// The screen modes that set the curve's strength: 1, 2, 3, and any other.
inline constexpr std::size_t kGreyBlackVariants = 4;

constexpr std::size_t greyBlackVariant(std::uint32_t screenMode) noexcept {
    return screenMode >= 1 && screenMode <= 3 ? screenMode - 1 : 3;
}

// Divisors of the sine term per variant: where the ink level (255 minus
// the grey) is at most 128, and where it is above.
struct SineDivisors {
    std::int32_t lightSide;
    std::int32_t darkSide;
};
inline constexpr std::array<SineDivisors, kGreyBlackVariants> kSineDivisors = {{
    {24, 4}, {16, 8}, {8, 32}, {24, 6},
}};

// The black ink for the grey level (0 black, 255 white) in one variant. The
// corrected ink level x' is stretched from 1..255 onto 22..255 (a faint grey
// still gets a visible dot) while 0 stays 0, then darkened by the balance
// curve of gamma 1.6.
constexpr std::uint8_t greyBlack(std::uint32_t grey, std::size_t variant) noexcept {
    const std::int32_t ink = 255 - static_cast<std::int32_t>(grey);
    const SineDivisors divisors = kSineDivisors[variant];
    const std::int32_t divisor = ink <= 128 ? divisors.lightSide : divisors.darkSide;
    const std::int32_t corrected = ink + GreySineTable[static_cast<std::size_t>(ink)] / divisor;
    const std::int32_t stretched = corrected == 0 ? 0 : (corrected + 24) * 255 / 279;
    constexpr int kCurve = common::selectEarlierBalanceCurve(16);
    return common::BalanceCurves[kCurve][static_cast<std::size_t>(stretched)];
}

using GreyBlackCurve = std::array<std::uint8_t, 256>;

constexpr std::array<GreyBlackCurve, kGreyBlackVariants> makeGreyBlackCurves() noexcept {
    std::array<GreyBlackCurve, kGreyBlackVariants> curves{};
    for (std::size_t variant = 0; variant < kGreyBlackVariants; ++variant) {
        for (std::uint32_t grey = 0; grey < 256; ++grey) curves[variant][grey] = greyBlack(grey, variant);
    }
    return curves;
}

// greyBlack for every level of every variant, evaluated by the compiler.
inline constexpr std::array<GreyBlackCurve, kGreyBlackVariants> GreyBlackCurves = makeGreyBlackCurves();

// clang-format on
}  // namespace huecl::earlier
