// Constant tables of the earlier generation's screens and sample tiles: tone
// limits per screen mode, the 4 x 4 base matrices that order the cells of a
// screen block, the order of the 17 super-cells of the angled screen, and
// the nine 8 x 8 print matrices of the monochrome screen and the sample
// tiles.
//
// These are tuned screen data, not formulas, apart from Bayer4 (the
// recursive ordered-dither matrix). A unit test rebuilds Bayer4, checks that
// every base and print matrix is a permutation and pins each print matrix's
// first row; the screens built from them reproduce worked rows.
#pragma once

#include <array>
#include <cstdint>

namespace huecl::earlier {
// Hand-laid tables: one row of a table per line of numbers.
// clang-format off

// Screen modes that the colour screens hold tables for (mode index 0-2).
inline constexpr std::uint32_t kColourScreenModes = 3;

// Tone limits in percent, by mode index: a limit above 100 lightens the
// screen's lower levels and compresses the rest into the remaining range.
struct ToneLimits {
    std::uint32_t cyanMagenta, yellow, black;
};
inline constexpr std::array<ToneLimits, kColourScreenModes> ToneLimit = {{
    // C/M  Y    K
    {144, 120, 100},  // mode index 0
    {136, 120, 100},  // mode index 1
    {116, 120, 100},  // mode index 2
}};

using Matrix4 = std::array<std::uint8_t, 16>;  // row-major, permutations of 0-15

inline constexpr Matrix4 kBaseBayer = {{
     0,  8,  2, 10,  // row 0
    12,  4, 14,  6,  // row 1
     3, 11,  1,  9,  // row 2
    15,  7, 13,  5,  // row 3
}};
inline constexpr Matrix4 kBasePairsA = {{
     0,  2, 14, 12,  // row 0
     8, 10,  5,  7,  // row 1
    15, 13,  1,  3,  // row 2
     4,  6,  9, 11,  // row 3
}};
inline constexpr Matrix4 kBaseClustered = {{
    12,  9,  5, 13,  // row 0
     4,  0,  1, 10,  // row 1
     8,  3,  2,  6,  // row 2
    15,  7, 11, 14,  // row 3
}};
inline constexpr Matrix4 kBasePairsB = {{
     1,  3, 14, 12,  // row 0
     8, 10,  4,  6,  // row 1
    15, 13,  0,  2,  // row 2
     5,  7,  9, 11,  // row 3
}};

// Block order of each screen, by mode index.
inline constexpr std::array<Matrix4, kColourScreenModes> ScreenBaseCM = {{
    kBaseBayer, kBasePairsB, kBaseClustered}};
inline constexpr std::array<Matrix4, kColourScreenModes> ScreenBaseY = {{
    kBasePairsA, kBaseClustered, kBaseClustered}};
inline constexpr std::array<Matrix4, kColourScreenModes> ScreenBaseK = {{
    kBaseBayer, kBaseBayer, kBasePairsA}};

// Fine offset (0-16) of each super-cell of the angled 17 x 17 screen.
inline constexpr std::array<std::uint8_t, 17> ScreenOrder17 = {{
    2, 11, 13, 4, 15, 6, 3, 12, 1, 10, 16, 7, 14, 5, 8, 0, 9}};

// The 4 x 4 ordered-dither matrix: each quadrant step of Bayer2 (0 2 / 3 1)
// applied twice. Orders the blocks of the square screens and the 8 x 8
// quarters of a sample tile.
inline constexpr Matrix4 Bayer4 = kBaseBayer;

// Offset of each 8 x 8 quarter of the monochrome screen: top left, top
// right, bottom left, bottom right.
inline constexpr std::array<std::uint8_t, 4> MonoTileOffsets = {{0, 2, 3, 1}};

using Matrix8 = std::array<std::uint8_t, 64>;  // row-major, permutations of 0-63

enum class PrintMatrixName : std::uint8_t { A, B, C, D, E, F, G, H, I };

inline constexpr std::array<Matrix8, 9> PrintMatrix = {{
    // A
    {{ 3, 35, 11, 43,  1, 33,  9, 41,
      51, 19, 59, 27, 49, 17, 57, 25,
      15, 47,  7, 39, 13, 45,  5, 37,
      63, 31, 55, 23, 61, 29, 53, 21,
       0, 32,  8, 40,  2, 34, 10, 42,
      48, 16, 56, 24, 50, 18, 58, 26,
      12, 44,  4, 36, 14, 46,  6, 38,
      60, 28, 52, 20, 62, 30, 54, 22}},
    // B
    {{50,  0,  8, 56, 48,  2, 10, 58,
      30, 32, 40, 20, 28, 34, 42, 22,
      14, 60, 52,  4, 12, 62, 54,  6,
      46, 16, 24, 36, 44, 18, 26, 38,
      49,  3, 11, 59, 51,  1,  9, 57,
      29, 35, 43, 23, 31, 33, 41, 21,
      13, 63, 55,  7, 15, 61, 53,  5,
      45, 19, 27, 39, 47, 17, 25, 37}},
    // C
    {{ 5, 13, 39, 59, 58, 43, 17,  7,
      23, 31, 49, 44, 36, 50, 25, 15,
      41, 52, 26, 18, 10, 28, 53, 33,
      61, 34,  8,  0,  2, 20, 46, 60,
      62, 42, 16,  6,  4, 12, 38, 63,
      37, 55, 24, 14, 22, 30, 54, 45,
      11, 29, 48, 32, 40, 51, 27, 19,
       3, 21, 47, 56, 57, 35,  9,  1}},
    // D
    {{ 0, 63, 15, 51,  3, 60, 12, 48,
      16, 32, 31, 47, 19, 35, 28, 44,
      56,  8, 55,  7, 59, 11, 52,  4,
      36, 24, 40, 23, 39, 27, 43, 20,
      14, 50,  2, 61, 13, 49,  1, 62,
      30, 46, 18, 34, 29, 45, 17, 33,
      54,  6, 58, 10, 53,  5, 57,  9,
      41, 22, 38, 26, 42, 21, 37, 25}},
    // E
    {{ 0, 31, 55, 39, 13, 17, 57, 41,
      48, 32,  8, 23, 61, 45,  5, 25,
      12, 16, 56, 40,  2, 29, 53, 37,
      60, 44,  4, 24, 50, 34, 10, 21,
       3, 28, 52, 36, 14, 18, 58, 42,
      51, 35, 11, 20, 62, 46,  6, 26,
      15, 19, 59, 43,  1, 30, 54, 38,
      63, 47,  7, 27, 49, 33,  9, 22}},
    // F
    {{32, 19, 14, 62, 63, 60,  2,  7,
      54,  4,  9, 31, 59, 22, 24, 58,
      50, 27, 42, 29, 16, 11, 40, 46,
      15, 37, 57, 53,  1,  6, 34, 38,
       0, 10, 45, 49, 25, 55, 51, 20,
       5, 36, 33, 18, 13, 43, 47, 35,
      56, 52, 39,  3,  8, 30, 41, 26,
      44, 48, 21, 23, 61, 28, 17, 12}},
    // G: F upside down
    {{44, 48, 21, 23, 61, 28, 17, 12,
      56, 52, 39,  3,  8, 30, 41, 26,
       5, 36, 33, 18, 13, 43, 47, 35,
       0, 10, 45, 49, 25, 55, 51, 20,
      15, 37, 57, 53,  1,  6, 34, 38,
      50, 27, 42, 29, 16, 11, 40, 46,
      54,  4,  9, 31, 59, 22, 24, 58,
      32, 19, 14, 62, 63, 60,  2,  7}},
    // H
    {{61, 45, 16, 12,  8, 28, 41, 57,
       5, 25, 36, 52, 48, 32, 21,  1,
       9, 29, 43, 59, 63, 47, 17, 13,
      49, 33, 23,  3,  7, 27, 37, 53,
      62, 46, 19, 15, 11, 31, 42, 58,
       6, 26, 39, 55, 51, 35, 22,  2,
      10, 30, 40, 56, 60, 44, 18, 14,
      50, 34, 20,  0,  4, 24, 38, 54}},
    // I
    {{49, 13,  9, 61, 50, 14, 10, 62,
      33, 29, 25, 45, 34, 30, 26, 46,
      20, 40, 39, 19, 23, 43, 36, 16,
       4, 56, 55,  3,  7, 59, 52,  0,
       8, 60, 51, 15, 11, 63, 48, 12,
      24, 44, 35, 31, 27, 47, 32, 28,
      37, 17, 21, 41, 38, 18, 22, 42,
      53,  1,  5, 57, 54,  2,  6, 58}},
}};

constexpr const Matrix8& printMatrix(PrintMatrixName name) noexcept {
    return PrintMatrix[static_cast<std::size_t>(name)];
}

// clang-format on
}  // namespace huecl::earlier
