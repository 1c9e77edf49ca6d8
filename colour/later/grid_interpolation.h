// Grid arithmetic shared by every table the later generation interpolates
// in: where an 8-bit component falls between two grid points, and the
// trilinear step over one cube of a three-axis table whose entries are three
// or four bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace huecl::later {

// A grid of 0 points would place every component far outside the table; it
// is read as the one-point grid, which maps every colour to entry 0.
constexpr std::uint32_t gridStepsOf(std::uint32_t gridSize) noexcept { return gridSize == 0 ? 0 : gridSize - 1; }

// Where one component falls between two grid points: the lower point, the
// upper one (the same point when the component lands exactly on the grid,
// so a component of 255 never reads past the last point) and the distance
// from the lower point in 255ths.
struct AxisPosition {
    std::size_t low;
    std::size_t high;
    std::uint32_t fraction;
};

constexpr AxisPosition locateOnAxis(std::uint32_t component, std::uint32_t gridSteps) noexcept {
    const std::uint32_t position = component * gridSteps;
    const std::uint32_t low = position / 255;
    const std::uint32_t fraction = position % 255;
    return {low, low + (fraction != 0 ? 1u : 0u), fraction};
}

inline constexpr std::uint32_t kCubeWeight = 255u * 255u * 255u;
inline constexpr std::uint32_t kCubeRounding = kCubeWeight / 2;

namespace grid_detail {

// One entry with each byte in a 16-bit lane, byte 0 lowest; a three-byte
// entry leaves lane 3 empty (and never reads a fourth byte, which may lie
// past the table's end).
template <std::size_t kEntryBytes>
inline std::uint64_t spreadToLanes16(const std::uint8_t* entry) noexcept {
    static_assert(kEntryBytes == 3 || kEntryBytes == 4);
    std::uint64_t lanes =
        std::uint64_t{entry[0]} | (std::uint64_t{entry[1]} << 16) | (std::uint64_t{entry[2]} << 32);
    if constexpr (kEntryBytes == 4) lanes |= std::uint64_t{entry[3]} << 48;
    return lanes;
}

// 16-bit lanes 0 and 2, or 1 and 3, moved into 32-bit lanes.
inline constexpr std::uint64_t kLowHalfOfEachWord = 0x0000FFFF0000FFFFull;
constexpr std::uint64_t evenLanes(std::uint64_t lanes16) noexcept { return lanes16 & kLowHalfOfEachWord; }
constexpr std::uint64_t oddLanes(std::uint64_t lanes16) noexcept { return (lanes16 >> 16) & kLowHalfOfEachWord; }

}  // namespace grid_detail

// The cube of a table with `points` points per axis around one colour:
// outer is the slowest-varying axis, inner the fastest.
struct GridCube {
    AxisPosition outer;
    AxisPosition middle;
    AxisPosition inner;
    std::size_t points;
};

// Trilinear interpolation of one cube: each of the eight corners is weighted
// by the product of (255 - f) on every axis where it takes the lower point
// and f where it takes the upper one, and every byte of the entry is the
// weighted sum plus half the total weight, divided by 255^3 (odd, so it
// rounds to nearest without ties). The result packs entry byte 0 in its low
// byte upwards.
template <std::size_t kEntryBytes>
inline std::uint32_t interpolateCube(const std::uint8_t* table, const GridCube& cube) noexcept {
    using grid_detail::evenLanes;
    using grid_detail::oddLanes;
    using grid_detail::spreadToLanes16;
    const AxisPosition& outer = cube.outer;
    const AxisPosition& middle = cube.middle;
    const AxisPosition& inner = cube.inner;

    // The eight-corner sum is taken one axis at a time, with the entry's
    // bytes side by side in the lanes of 64-bit words. Integer sums are
    // exact in any order, and every lane stays below its width, so no carry
    // crosses into a neighbour:
    //   along the inner axis, two entries weighted (255 - f) and f: at most
    //   255^2, 16-bit lanes;
    //   along the middle axis: at most 255^3, 32-bit lanes, bytes 0 and 2
    //   in one word, bytes 1 and 3 in the other;
    //   along the outer axis, plus the rounding term: at most
    //   255^4 + 8,290,687, still below 2^32, which is why the sums need all
    //   32 unsigned bits.
    const auto alongInner = [&](std::size_t row) noexcept {
        return spreadToLanes16<kEntryBytes>(table + kEntryBytes * (row + inner.low)) * (255u - inner.fraction) +
               spreadToLanes16<kEntryBytes>(table + kEntryBytes * (row + inner.high)) * inner.fraction;
    };
    const std::size_t outerLow = outer.low * cube.points * cube.points;
    const std::size_t outerHigh = outer.high * cube.points * cube.points;
    const std::size_t middleLow = middle.low * cube.points;
    const std::size_t middleHigh = middle.high * cube.points;
    const std::uint64_t lowLow = alongInner(outerLow + middleLow);
    const std::uint64_t lowHigh = alongInner(outerLow + middleHigh);
    const std::uint64_t highLow = alongInner(outerHigh + middleLow);
    const std::uint64_t highHigh = alongInner(outerHigh + middleHigh);

    const std::uint64_t middleLowWeight = 255u - middle.fraction;
    const std::uint64_t lowEven = evenLanes(lowLow) * middleLowWeight + evenLanes(lowHigh) * middle.fraction;
    const std::uint64_t lowOdd = oddLanes(lowLow) * middleLowWeight + oddLanes(lowHigh) * middle.fraction;
    const std::uint64_t highEven = evenLanes(highLow) * middleLowWeight + evenLanes(highHigh) * middle.fraction;
    const std::uint64_t highOdd = oddLanes(highLow) * middleLowWeight + oddLanes(highHigh) * middle.fraction;

    constexpr std::uint64_t kRoundingInBothLanes = (std::uint64_t{kCubeRounding} << 32) | kCubeRounding;
    const std::uint64_t outerLowWeight = 255u - outer.fraction;
    const std::uint64_t even = lowEven * outerLowWeight + highEven * outer.fraction + kRoundingInBothLanes;
    const std::uint64_t odd = lowOdd * outerLowWeight + highOdd * outer.fraction + kRoundingInBothLanes;

    const std::uint32_t byte0 = static_cast<std::uint32_t>(even) / kCubeWeight;
    const std::uint32_t byte2 = static_cast<std::uint32_t>(even >> 32) / kCubeWeight;
    const std::uint32_t byte1 = static_cast<std::uint32_t>(odd) / kCubeWeight;
    std::uint32_t packed = byte0 | (byte1 << 8) | (byte2 << 16);
    if constexpr (kEntryBytes == 4) packed |= (static_cast<std::uint32_t>(odd >> 32) / kCubeWeight) << 24;
    return packed;
}

}  // namespace huecl::later
