#include "colour/later/cmyk_to_rgb.h"

#include <cstddef>

#include "colour/later/grid_interpolation.h"

namespace huecl::later {

namespace {

// An entry's three bytes packed byte 0 lowest, each in a 16-bit lane.
inline std::uint64_t entryLanes(const std::uint8_t* entry) noexcept {
    return std::uint64_t{entry[0]} | (std::uint64_t{entry[1]} << 16) | (std::uint64_t{entry[2]} << 32);
}

inline std::uint64_t packedToLanes(std::uint32_t packed) noexcept {
    return (packed & 0xFFu) | (std::uint64_t{(packed >> 8) & 0xFFu} << 16) |
           (std::uint64_t{(packed >> 16) & 0xFFu} << 32);
}

// (low x (255 - f) + high x f + 127) / 255 in each 16-bit lane. The lanes
// stay at or below 65,152, where x / 255 equals (x + (x >> 8) + 1) >> 8, and
// that sum stays below 2^16, so no lane carries into the next.
inline std::uint64_t blendLanes(std::uint64_t low, std::uint64_t high, std::uint32_t fraction) noexcept {
    constexpr std::uint64_t kEachLane = 0x0000'0001'0001'0001ull;
    constexpr std::uint64_t kLaneMask = 0x0000'00FF'00FF'00FFull;
    const std::uint64_t sum = low * (255u - fraction) + high * fraction + 127u * kEachLane;
    return ((sum + ((sum >> 8) & kLaneMask) + kEachLane) >> 8) & kLaneMask;
}

// The entry's bytes are red, green and blue; the row wants blue first.
inline void storeReversed(std::uint8_t* destination, std::uint64_t lanes) noexcept {
    destination[0] = static_cast<std::uint8_t>(lanes >> 32);
    destination[1] = static_cast<std::uint8_t>(lanes >> 16);
    destination[2] = static_cast<std::uint8_t>(lanes);
}

}  // namespace

void convertCmykRowToRgb(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
                         std::uint32_t gridSize, const std::uint8_t* table) noexcept {
    const std::uint32_t gridSteps = gridStepsOf(gridSize);
    const std::size_t points = gridSteps + std::size_t{1};
    const std::size_t sliceBytes = 3 * points * points * points;

    // A row repeats its pixels in runs; a pixel equal to the one before it
    // takes the result already written. No 32-bit pixel equals the initial
    // key.
    std::uint64_t previousPixel = ~std::uint64_t{0};
    for (std::uint32_t i = 0; i < count; ++i, source += 4, destination += 3) {
        // The components are wanted one by one: four byte loads measured
        // faster here than one word load split into bytes.
        const std::uint32_t cyan = source[0], magenta = source[1], yellow = source[2], black = source[3];
        const std::uint32_t pixel = cyan | (magenta << 8) | (yellow << 16) | (black << 24);
        if (pixel == previousPixel) {
            destination[0] = destination[-3];
            destination[1] = destination[-2];
            destination[2] = destination[-1];
            continue;
        }
        previousPixel = pixel;

        if (pixel == 0) {
            // No colorant at all: the paper's entry as it is stored.
            destination[0] = table[0];
            destination[1] = table[1];
            destination[2] = table[2];
            continue;
        }
        const AxisPosition k = locateOnAxis(black, gridSteps);
        const std::uint8_t* const lowSlice = table + k.low * sliceBytes;
        const std::uint8_t* const highSlice = table + k.high * sliceBytes;
        if ((cyan | magenta | yellow) == 0) {
            // Black alone: the blank corner of both slices.
            storeReversed(destination, blendLanes(entryLanes(lowSlice), entryLanes(highSlice), k.fraction));
            continue;
        }
        // Both black slices share the cube's corners and weights.
        const CubeCorners corners = cornersOf(
            {locateOnAxis(cyan, gridSteps), locateOnAxis(magenta, gridSteps), locateOnAxis(yellow, gridSteps), points});
        const std::uint64_t low = packedToLanes(interpolateCorners<3>(lowSlice, corners));
        if (k.fraction == 0) {
            storeReversed(destination, low);
            continue;
        }
        const std::uint64_t high = packedToLanes(interpolateCorners<3>(highSlice, corners));
        storeReversed(destination, blendLanes(low, high, k.fraction));
    }
}

}  // namespace huecl::later
