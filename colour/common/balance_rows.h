// Colour balance of rows, as both generations adjust them in place: RGB
// before matching (tone table, brightness, saturation, a balance curve per
// primary) and CMYK after it (saturation of the three colours, tone table).
// The generations differ only in how a balance level picks its curve, so
// each hands over its own pairing.
#pragma once

#include <cstdint>

#include "colour/common/balance_curves.h"

namespace huecl::common {

// A zero brightness or saturation and a null table switch their step off;
// a level whose pairing selects no curve leaves its component alone.
struct RgbBalance {
    std::int32_t brightness;  // a third of it, truncated, is added
    std::int32_t saturation;  // distance from the mean scaled by 1/200 steps
    std::int32_t levelRed;
    std::int32_t levelGreen;
    std::int32_t levelBlue;
    const std::uint8_t* preTable;  // 256 entries, applied first
};

// A generation's pairing of balance levels with BalanceCurves: the curve's
// index, or kNoBalanceCurve.
using BalanceCurveSelection = int (*)(std::int32_t level) noexcept;

struct CmyBalance {
    std::int32_t saturation;       // distance from the mean scaled by 1/100 steps
    const std::uint8_t* cmyTable;  // 256 entries, applied last to all four
};

// count pixels of 3 bytes (blue, green, red), rewritten in place.
void balanceRgbRow(std::uint32_t count, std::uint8_t* pixels, const RgbBalance& balance,
                   BalanceCurveSelection selectCurve) noexcept;

// count pixels of 4 bytes (cyan, magenta, yellow, black), rewritten in place.
void balanceCmyRow(std::uint32_t count, std::uint8_t* pixels, const CmyBalance& balance) noexcept;

// Saturation settings beyond this bound all push any component that differs
// from the mean past 0 or 255, so they are bounded before multiplying: the
// clamped result is unchanged and the product never overflows 32 bits.
inline constexpr std::int32_t kSaturationBound = 1 << 20;

// How far a component at distance (component - mean) moves: saturation /
// divisor of the distance, the division truncating toward zero.
constexpr std::int32_t saturationMove(std::int32_t distance, std::int32_t saturation, std::int32_t divisor) noexcept {
    const std::int32_t bounded = saturation > kSaturationBound    ? kSaturationBound
                                 : saturation < -kSaturationBound ? -kSaturationBound
                                                                  : saturation;
    return distance * bounded / divisor;
}

// One component moved away from (or towards) the mean, clamped to 0-255.
constexpr std::uint8_t saturateComponent(std::int32_t value, std::int32_t mean, std::int32_t saturation,
                                         std::int32_t divisor) noexcept {
    const std::int32_t moved = value + saturationMove(value - mean, saturation, divisor);
    return static_cast<std::uint8_t>(moved < 0 ? 0 : moved > 255 ? 255 : moved);
}

}  // namespace huecl::common
