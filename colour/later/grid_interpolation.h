// Grid arithmetic shared by every table the later generation interpolates
// in: where an 8-bit component falls between two grid points, and the
// trilinear step over one cube of a three-axis table whose entries are three
// or four bytes.
#pragma once

#include <array>
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

// The cube of a table with `points` points per axis around one colour:
// outer is the slowest-varying axis, inner the fastest.
struct GridCube {
    AxisPosition outer;
    AxisPosition middle;
    AxisPosition inner;
    std::size_t points;
};

// The eight corners of a cube: each corner's entry index in the table and
// its weight, the product of (255 - f) on every axis where the corner takes
// the lower point and f where it takes the upper one. The weights add up to
// 255^3. A table with several cubes of the same shape (the black slices of
// a four-axis table) shares one set of corners.
struct CubeCorners {
    std::array<std::size_t, 8> entries;
    std::array<std::uint32_t, 8> weights;
};

inline CubeCorners cornersOf(const GridCube& cube) noexcept {
    const std::size_t outer[2] = {cube.outer.low * cube.points * cube.points,
                                  cube.outer.high * cube.points * cube.points};
    const std::size_t middle[2] = {cube.middle.low * cube.points, cube.middle.high * cube.points};
    const std::size_t inner[2] = {cube.inner.low, cube.inner.high};
    const std::uint32_t outerWeight[2] = {255u - cube.outer.fraction, cube.outer.fraction};
    const std::uint32_t middleWeight[2] = {255u - cube.middle.fraction, cube.middle.fraction};
    const std::uint32_t innerWeight[2] = {255u - cube.inner.fraction, cube.inner.fraction};
    CubeCorners corners{};
    for (unsigned corner = 0; corner < 8; ++corner) {
        const unsigned o = corner >> 2, m = (corner >> 1) & 1, i = corner & 1;
        corners.entries[corner] = outer[o] + middle[m] + inner[i];
        corners.weights[corner] = outerWeight[o] * middleWeight[m] * innerWeight[i];
    }
    return corners;
}

// Trilinear interpolation over one cube: every byte of the entry is the
// weighted sum of the eight corners plus half the total weight, divided by
// 255^3 (odd, so it rounds to nearest without ties). The result packs entry
// byte 0 in its low byte upwards.
//
// Bytes 0 and 2 (and 1 and 3 of a four-byte entry) are summed side by side
// in the two 32-bit lanes of one 64-bit word. A corner's byte times its
// weight is at most 255 x 255^3 and a lane's whole sum with the rounding
// term at most 255^4 + 8,290,687, below 2^32, so no carry crosses from one
// lane into the other; that is also why the sums need all 32 unsigned bits.
template <std::size_t kEntryBytes>
inline std::uint32_t interpolateCorners(const std::uint8_t* table, const CubeCorners& corners) noexcept {
    static_assert(kEntryBytes == 3 || kEntryBytes == 4);
    constexpr std::uint64_t kRoundingInBothLanes = (std::uint64_t{kCubeRounding} << 32) | kCubeRounding;
    std::uint64_t even = kRoundingInBothLanes;
    std::uint64_t odd = kEntryBytes == 4 ? kRoundingInBothLanes : kCubeRounding;
    for (unsigned corner = 0; corner < 8; ++corner) {
        // A three-byte entry never reads a fourth byte, which may lie past
        // the table's end.
        const std::uint8_t* const entry = table + kEntryBytes * corners.entries[corner];
        const std::uint64_t weight = corners.weights[corner];
        even += (std::uint64_t{entry[0]} | (std::uint64_t{entry[2]} << 32)) * weight;
        if constexpr (kEntryBytes == 4) {
            odd += (std::uint64_t{entry[1]} | (std::uint64_t{entry[3]} << 32)) * weight;
        } else {
            odd += std::uint64_t{entry[1]} * weight;
        }
    }
    const std::uint32_t byte0 = static_cast<std::uint32_t>(even) / kCubeWeight;
    const std::uint32_t byte2 = static_cast<std::uint32_t>(even >> 32) / kCubeWeight;
    const std::uint32_t byte1 = static_cast<std::uint32_t>(odd) / kCubeWeight;
    std::uint32_t packed = byte0 | (byte1 << 8) | (byte2 << 16);
    if constexpr (kEntryBytes == 4) packed |= (static_cast<std::uint32_t>(odd >> 32) / kCubeWeight) << 24;
    return packed;
}

template <std::size_t kEntryBytes>
inline std::uint32_t interpolateCube(const std::uint8_t* table, const GridCube& cube) noexcept {
    return interpolateCorners<kEntryBytes>(table, cornersOf(cube));
}

}  // namespace huecl::later
