// Constant tables of the earlier generation's error diffusion: the cycle
// of six error filters and the two 8 x 8 matrices that modulate the
// printing threshold.
#pragma once

#include <array>
#include <cstdint>

namespace huecl::earlier {

// Weights of the four neighbours whose error a dot takes in: the dot
// visited just before it in the same row, then columns x - 1, x and x + 1
// of the row above (the same columns in either scan direction). Rows 3
// and 4 of the cycle run right to left, so their "before" is column x + 1.
struct DiffusionKernel {
    std::int32_t before;
    std::int32_t aboveLeft;
    std::int32_t above;
    std::int32_t aboveRight;
    std::int32_t total;  // the sum of the four, the exact divisor
    bool rightToLeft;
};

constexpr std::array<DiffusionKernel, 6> kDiffusionKernels = {{
    // before, x - 1, x, x + 1, total, right to left    (row number mod 6)
    {7, 3, 5, 3, 18, false},  // 0
    {7, 1, 5, 3, 16, false},  // 1
    {8, 4, 5, 4, 21, false},  // 2
    {7, 1, 3, 0, 11, true},   // 3
    {8, 2, 4, 0, 14, true},   // 4
    {8, 3, 8, 3, 22, false},  // 5
}};

// Threshold modulation, row-major by (device row mod 8, device column
// mod 8). Levels 113-143, the mid tones where a diffused pattern locks
// into visible worms, take matrix B at a fixed strength; every other level
// takes matrix A scaled by the level itself.
constexpr std::array<std::uint8_t, 64> kDiffuseModA = {
    5,  13, 39, 59, 58, 43, 17, 7,   //
    23, 31, 49, 44, 36, 50, 25, 15,  //
    41, 52, 26, 18, 10, 28, 53, 33,  //
    61, 34, 8,  0,  2,  20, 46, 60,  //
    62, 42, 16, 6,  4,  12, 38, 63,  //
    37, 55, 24, 14, 22, 30, 54, 45,  //
    11, 29, 48, 32, 40, 51, 27, 19,  //
    3,  21, 47, 56, 57, 35, 9,  1,
};

constexpr std::array<std::uint8_t, 64> kDiffuseModB = {
    0,  8,  56, 48, 2,  10, 58, 50,  //
    32, 40, 20, 28, 34, 42, 22, 30,  //
    60, 52, 4,  12, 62, 54, 6,  14,  //
    16, 24, 36, 44, 18, 26, 38, 46,  //
    3,  11, 59, 51, 1,  9,  57, 49,  //
    35, 43, 23, 31, 33, 41, 21, 29,  //
    63, 55, 7,  15, 61, 53, 5,  13,  //
    19, 27, 39, 47, 17, 25, 37, 45,
};

// Levels below this print as no colorant at all.
constexpr std::uint32_t kLowestDiffusedLevel = 6;

constexpr std::uint32_t diffusedLevel(std::uint32_t level) { return level < kLowestDiffusedLevel ? 0 : level; }

// The printing threshold of a (diffused) level at modulation cell `cell`
// (8 * (row mod 8) + column mod 8); yellow is never modulated.
constexpr std::int32_t diffusionThreshold(std::uint32_t level, std::uint32_t cell, bool modulated) {
    const auto v = static_cast<std::int32_t>(level);
    std::int32_t threshold = v / 2 + 52;
    if (modulated) {
        const std::int32_t strength =
            v >= 113 && v <= 143 ? (kDiffuseModB[cell] - 32) * 256 : (kDiffuseModA[cell] - 32) * v;
        threshold += strength / 128;
    }
    return threshold;
}

}  // namespace huecl::earlier
