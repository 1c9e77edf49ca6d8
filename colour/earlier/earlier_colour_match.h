// Colour matching of the earlier generation: rows of RGB pixels (blue,
// green, red) become rows of CMYK pixels through one of five methods. Its
// colour table always has 32 nodes per axis, node i at level
// floor(255 i / 31); the interpolating method blends the eight nodes around
// a pixel one axis at a time (red, green, blue), truncating after each
// axis, behind the caller's 256-slot cache. Neutral greys, and the whole
// black-only method, go through the grey-to-black curve of the screen mode.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "colour/common/match_rows.h"

namespace huecl::earlier {

struct MatchSettings {
    common::MatchMethod method;
    common::NeutralRouting neutral;
    std::uint32_t screenMode;   // picks the grey-to-black curve: 1, 2, 3 or other
    const std::uint8_t* table;  // 32 x 32 x 32 CMYK entries, blue fastest, red slowest
    common::MatchCache cache;
};

// Converts count pixels of source (3 bytes each) into destination (4 bytes
// each). Only the interpolating method reads or writes the cache.
void matchRow(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
              const MatchSettings& settings) noexcept;

// ---- The grid ---------------------------------------------------------------------

inline constexpr std::uint32_t kGridNodes = 32;

constexpr std::uint32_t gridNodeLevel(std::uint32_t node) noexcept { return 255 * node / (kGridNodes - 1); }

// Where one level falls on an axis: the nodes below and above it (the same
// node only at levels 0 and 255), and the weights that blend them, each the
// distance to the other node. A pass divides by the cell width, the sum of
// the weights (8 or 9; 1 where both nodes are one), as a multiplication by
// reciprocal and a shift by kReciprocalShift, which a unit test proves exact
// for every sum a pass can form.
struct GridStep {
    std::uint8_t low;
    std::uint8_t high;
    std::uint8_t weightLow;   // the level's distance to the upper node
    std::uint8_t weightHigh;  // the level's distance to the lower node
    std::uint32_t reciprocal;
};

inline constexpr int kReciprocalShift = 16;

constexpr GridStep gridStepAt(std::uint32_t level) noexcept {
    const std::uint32_t low = (kGridNodes - 1) * level / 255;
    const std::uint32_t high = ((kGridNodes - 1) * level + 254) / 255;
    const std::uint32_t belowDistance = level - gridNodeLevel(low);
    const std::uint32_t aboveDistance = gridNodeLevel(high) - level;
    const std::uint32_t width = belowDistance + aboveDistance;
    if (width == 0) {
        // Level 0 or 255: both nodes are the same, any weights will do.
        return {static_cast<std::uint8_t>(low), static_cast<std::uint8_t>(high), 1, 0, 1u << kReciprocalShift};
    }
    return {static_cast<std::uint8_t>(low), static_cast<std::uint8_t>(high), static_cast<std::uint8_t>(aboveDistance),
            static_cast<std::uint8_t>(belowDistance), ((1u << kReciprocalShift) + width - 1) / width};
}

constexpr std::array<GridStep, 256> makeGridSteps() noexcept {
    std::array<GridStep, 256> steps{};
    for (std::uint32_t level = 0; level < 256; ++level) steps[level] = gridStepAt(level);
    return steps;
}

inline constexpr std::array<GridStep, 256> GridSteps = makeGridSteps();

// The interpolation of one pixel without the cache; the result packs cyan
// in the low byte up to black in the high one.
std::uint32_t interpolateOnGrid(std::uint32_t blue, std::uint32_t green, std::uint32_t red,
                                const std::uint8_t* table) noexcept;

}  // namespace huecl::earlier
