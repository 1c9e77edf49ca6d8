// Constant tables of the dither set-up: Bayer index matrices, seed cells,
// tile patterns, the three screen tone curves and the configuration tables
// that pick one screen per plane for every mode and screen selector.
//
// Seed cells fix the order in which the dots of a cell grow; a value is the
// dot's rank inside its cell, row by row. They and the tone curves are
// tuned screen data, not formulas: a unit test pins each one by checksum.
// The Bayer matrices and the seeds marked as derived (mirrored, rotated)
// follow from others, and a unit test rebuilds them from their rule.
#pragma once

#include <array>
#include <cstdint>

#include "colour/common/tone_tables.h"

namespace huecl::later {
// Hand-laid tables: one row of a table per line of numbers.
// clang-format off

// Bayer index matrices: each doubles the one before (4M+0 | 4M+2 / 4M+3 | 4M+1).
inline constexpr std::array<std::uint8_t, 4> Bayer2 = {{
    0, 2,  // row 0
    3, 1,  // row 1
}};

inline constexpr std::array<std::uint8_t, 16> Bayer4 = {{
     0,  8,  2, 10,  // row 0
    12,  4, 14,  6,  // row 1
     3, 11,  1,  9,  // row 2
    15,  7, 13,  5,  // row 3
}};

inline constexpr std::array<std::uint8_t, 64> Bayer8 = {{
     0, 32,  8, 40,  2, 34, 10, 42,  // row 0
    48, 16, 56, 24, 50, 18, 58, 26,  // row 1
    12, 44,  4, 36, 14, 46,  6, 38,  // row 2
    60, 28, 52, 20, 62, 30, 54, 22,  // row 3
     3, 35, 11, 43,  1, 33,  9, 41,  // row 4
    51, 19, 59, 27, 49, 17, 57, 25,  // row 5
    15, 47,  7, 39, 13, 45,  5, 37,  // row 6
    63, 31, 55, 23, 61, 29, 53, 21,  // row 7
}};

inline constexpr std::array<std::uint8_t, 9> Seed3A = {{
    7, 3, 8,  // row 0
    2, 0, 4,  // row 1
    5, 1, 6,  // row 2
}};

inline constexpr std::array<std::uint8_t, 16> Seed4A = {{
     6,  4, 14, 12,  // row 0
    10,  8,  3,  1,  // row 1
    15, 13,  7,  5,  // row 2
     2,  0, 11,  9,  // row 3
}};

// Seed4A with its rows rotated by two
inline constexpr std::array<std::uint8_t, 16> Seed4B = {{
    15, 13,  7,  5,  // row 0
     2,  0, 11,  9,  // row 1
     6,  4, 14, 12,  // row 2
    10,  8,  3,  1,  // row 3
}};

inline constexpr std::array<std::uint8_t, 16> Seed4C = {{
    12,  9,  5, 13,  // row 0
     4,  1,  0, 10,  // row 1
     8,  3,  2,  6,  // row 2
    15,  7, 11, 14,  // row 3
}};

inline constexpr std::array<std::uint8_t, 16> Seed4D = {{
     6,  4, 15, 13,  // row 0
    10,  8,  3,  1,  // row 1
    14, 12,  7,  5,  // row 2
     2,  0, 11,  9,  // row 3
}};

inline constexpr std::array<std::uint8_t, 16> Seed4E = {{
     0,  8,  1,  9,  // row 0
    12,  4, 13,  5,  // row 1
     3, 11,  2, 10,  // row 2
    15,  7, 14,  6,  // row 3
}};

inline constexpr std::array<std::uint8_t, 25> Seed5A = {{
    17, 23,  0,  5, 12,  // row 0
     3,  8, 10, 15, 24,  // row 1
    13, 18, 21,  4,  9,  // row 2
    22,  1,  6, 14, 19,  // row 3
     7, 11, 16, 20,  2,  // row 4
}};

// Seed5A mirrored left-right
inline constexpr std::array<std::uint8_t, 25> Seed5B = {{
    12,  5,  0, 23, 17,  // row 0
    24, 15, 10,  8,  3,  // row 1
     9,  4, 21, 18, 13,  // row 2
    19, 14,  6,  1, 22,  // row 3
     2, 20, 16, 11,  7,  // row 4
}};

inline constexpr std::array<std::uint8_t, 25> Seed5C = {{
    23, 18, 10, 14, 24,  // row 0
    13,  5,  3,  6, 19,  // row 1
     9,  2,  0,  4, 11,  // row 2
    17,  8,  1,  7, 15,  // row 3
    21, 16, 12, 20, 22,  // row 4
}};

inline constexpr std::array<std::uint8_t, 36> Seed6A = {{
     5, 13, 31, 29, 15,  7,  // row 0
     9, 21, 35, 33, 23, 11,  // row 1
    24, 16,  2,  0, 18, 26,  // row 2
    28, 14,  6,  4, 12, 30,  // row 3
    32, 22, 10,  8, 20, 34,  // row 4
     1, 19, 27, 25, 17,  3,  // row 5
}};

inline constexpr std::array<std::uint8_t, 64> Seed8A = {{
    24, 18, 10, 26, 39, 47, 55, 32,  // row 0
     8,  2,  0, 20, 52, 58, 56, 40,  // row 1
    16,  6,  4, 12, 44, 62, 60, 48,  // row 2
    30, 14, 22, 28, 36, 51, 43, 35,  // row 3
    38, 46, 54, 33, 25, 19, 11, 27,  // row 4
    53, 59, 57, 41,  9,  3,  1, 21,  // row 5
    45, 63, 61, 49, 17,  7,  5, 13,  // row 6
    37, 50, 42, 34, 31, 15, 23, 29,  // row 7
}};

inline constexpr std::array<std::uint8_t, 64> Seed8B = {{
    12, 17, 23, 53, 31, 21, 49, 44,  // row 0
    25, 37, 33,  8,  3, 35, 54, 59,  // row 1
    39, 52, 47, 13, 18, 27, 40,  5,  // row 2
    20, 57, 62, 29, 50, 45, 10,  0,  // row 3
    42, 28,  6,  1, 55, 60, 41, 15,  // row 4
    46, 36, 11, 16, 24, 38, 26, 51,  // row 5
    61, 32, 22, 43, 34,  9,  4, 56,  // row 6
     7,  2, 48, 63, 58, 14, 19, 30,  // row 7
}};

// Seed8B mirrored left-right
inline constexpr std::array<std::uint8_t, 64> Seed8C = {{
    44, 49, 21, 31, 53, 23, 17, 12,  // row 0
    59, 54, 35,  3,  8, 33, 37, 25,  // row 1
     5, 40, 27, 18, 13, 47, 52, 39,  // row 2
     0, 10, 45, 50, 29, 62, 57, 20,  // row 3
    15, 41, 60, 55,  1,  6, 28, 42,  // row 4
    51, 26, 38, 24, 16, 11, 36, 46,  // row 5
    56,  4,  9, 34, 43, 22, 32, 61,  // row 6
    30, 19, 14, 58, 63, 48,  2,  7,  // row 7
}};

inline constexpr std::array<std::uint8_t, 64> Seed8D = {{
    58, 50,  8,  0, 56, 48, 10,  2,  // row 0
    30, 22, 40, 32, 28, 20, 42, 34,  // row 1
    14,  6, 60, 52, 12,  4, 62, 54,  // row 2
    46, 38, 24, 16, 44, 36, 26, 18,  // row 3
    57, 49, 11,  3, 59, 51,  9,  1,  // row 4
    29, 21, 43, 35, 31, 23, 41, 33,  // row 5
    13,  5, 63, 55, 15,  7, 61, 53,  // row 6
    45, 37, 27, 19, 47, 39, 25, 17,  // row 7
}};

// Seed8D rotated two columns: (r, c) is Seed8D (r, (c + 2) mod 8)
inline constexpr std::array<std::uint8_t, 64> Seed8E = {{
     8,  0, 56, 48, 10,  2, 58, 50,  // row 0
    40, 32, 28, 20, 42, 34, 30, 22,  // row 1
    60, 52, 12,  4, 62, 54, 14,  6,  // row 2
    24, 16, 44, 36, 26, 18, 46, 38,  // row 3
    11,  3, 59, 51,  9,  1, 57, 49,  // row 4
    43, 35, 31, 23, 41, 33, 29, 21,  // row 5
    63, 55, 15,  7, 61, 53, 13,  5,  // row 6
    27, 19, 47, 39, 25, 17, 45, 37,  // row 7
}};

inline constexpr std::array<std::uint8_t, 64> Seed8F = {{
     8,  0, 44, 36, 10,  2, 46, 38,  // row 0
    24, 16, 60, 52, 26, 18, 62, 54,  // row 1
    40, 32, 12,  4, 42, 34, 14,  6,  // row 2
    56, 48, 28, 20, 58, 50, 30, 22,  // row 3
    11,  3, 47, 39,  9,  1, 45, 37,  // row 4
    27, 19, 63, 55, 25, 17, 61, 53,  // row 5
    43, 35, 15,  7, 41, 33, 13,  5,  // row 6
    59, 51, 31, 23, 57, 49, 29, 21,  // row 7
}};

inline constexpr std::array<std::uint8_t, 64> Seed8G = {{
     0, 63, 15, 51,  3, 60, 12, 48,  // row 0
    16, 32, 31, 47, 19, 35, 28, 44,  // row 1
    56,  8, 55,  7, 59, 11, 52,  4,  // row 2
    36, 24, 40, 23, 39, 27, 43, 20,  // row 3
    14, 50,  2, 61, 13, 49,  1, 62,  // row 4
    30, 46, 18, 34, 29, 45, 17, 33,  // row 5
    54,  6, 58, 10, 53,  5, 57,  9,  // row 6
    41, 22, 38, 26, 42, 21, 37, 25,  // row 7
}};

inline constexpr std::array<std::uint8_t, 64> Seed8H = {{
     0, 31, 55, 39, 13, 17, 57, 41,  // row 0
    48, 32,  8, 23, 61, 45,  5, 25,  // row 1
    12, 16, 56, 40,  2, 29, 53, 37,  // row 2
    60, 44,  4, 24, 50, 34, 10, 21,  // row 3
     3, 28, 52, 36, 14, 18, 58, 42,  // row 4
    51, 35, 11, 20, 62, 46,  6, 26,  // row 5
    15, 19, 59, 43,  1, 30, 54, 38,  // row 6
    63, 47,  7, 27, 49, 33,  9, 22,  // row 7
}};

inline constexpr std::array<std::uint8_t, 64> Seed8I = {{
     0, 32,  4, 36,  2, 34,  6, 38,  // row 0
    48, 16, 52, 20, 50, 18, 54, 22,  // row 1
    12, 44,  8, 40, 14, 46, 10, 42,  // row 2
    60, 28, 56, 24, 62, 30, 58, 26,  // row 3
     3, 35,  7, 39,  1, 33,  5, 37,  // row 4
    51, 19, 55, 23, 49, 17, 53, 21,  // row 5
    15, 47, 11, 43, 13, 45,  9, 41,  // row 6
    63, 31, 59, 27, 61, 29, 57, 25,  // row 7
}};

inline constexpr std::array<std::uint8_t, 64> Seed8J = {{
    61, 45, 20, 12,  8, 28, 41, 57,  // row 0
     1, 25, 36, 52, 48, 32, 17,  5,  // row 1
     9, 29, 43, 59, 63, 47, 21, 13,  // row 2
    49, 33, 19,  7,  3, 27, 37, 53,  // row 3
    62, 46, 23, 15, 11, 31, 42, 58,  // row 4
     2, 26, 39, 55, 51, 35, 18,  6,  // row 5
    10, 30, 40, 56, 60, 44, 22, 14,  // row 6
    50, 34, 16,  4,  0, 24, 38, 54,  // row 7
}};

inline constexpr std::array<std::uint8_t, 64> Seed8K = {{
    49, 13,  9, 61, 50, 14, 10, 62,  // row 0
    33, 29, 25, 45, 34, 30, 26, 46,  // row 1
    16, 40, 39, 23, 19, 43, 36, 20,  // row 2
     0, 56, 55,  7,  3, 59, 52,  4,  // row 3
     8, 60, 51, 15, 11, 63, 48, 12,  // row 4
    24, 44, 35, 31, 27, 47, 32, 28,  // row 5
    37, 21, 17, 41, 38, 22, 18, 42,  // row 6
    53,  5,  1, 57, 54,  6,  2, 58,  // row 7
}};

inline constexpr std::array<std::uint8_t, 64> Seed8L = {{
    48, 36, 20, 52, 50, 38, 22, 54,  // row 0
    16,  4,  0, 40, 18,  6,  2, 42,  // row 1
    32, 12,  8, 24, 34, 14, 10, 26,  // row 2
    60, 28, 44, 56, 62, 30, 46, 58,  // row 3
    51, 39, 23, 55, 49, 37, 21, 53,  // row 4
    19,  7,  3, 43, 17,  5,  1, 41,  // row 5
    35, 15, 11, 27, 33, 13,  9, 25,  // row 6
    63, 31, 47, 59, 61, 29, 45, 57,  // row 7
}};

// Seed8L rotated six rows and six columns
inline constexpr std::array<std::uint8_t, 64> Seed8M = {{
     9, 25, 35, 15, 11, 27, 33, 13,  // row 0
    45, 57, 63, 31, 47, 59, 61, 29,  // row 1
    22, 54, 48, 36, 20, 52, 50, 38,  // row 2
     2, 42, 16,  4,  0, 40, 18,  6,  // row 3
    10, 26, 32, 12,  8, 24, 34, 14,  // row 4
    46, 58, 60, 28, 44, 56, 62, 30,  // row 5
    21, 53, 51, 39, 23, 55, 49, 37,  // row 6
     1, 41, 19,  7,  3, 43, 17,  5,  // row 7
}};

inline constexpr std::array<std::uint8_t, 64> Seed8N = {{
     7, 13, 39, 59, 58, 43, 17,  5,  // row 0
    23, 31, 49, 44, 36, 50, 25, 15,  // row 1
    41, 52, 26, 18, 10, 28, 53, 33,  // row 2
    61, 34,  8,  2,  0, 20, 46, 60,  // row 3
    62, 42, 16,  6,  4, 12, 38, 63,  // row 4
    37, 55, 24, 14, 22, 30, 54, 45,  // row 5
    11, 29, 48, 32, 40, 51, 27, 19,  // row 6
     3, 21, 47, 56, 57, 35,  9,  1,  // row 7
}};

// holds 34 twice and 37 not at all: that screen has 16 fewer distinct ranks
inline constexpr std::array<std::uint8_t, 64> Seed8O = {{
    60, 57, 49, 34, 33, 45, 53, 61,  // row 0
    52, 40, 29, 21, 17, 25, 41, 58,  // row 1
    44, 24, 12,  9,  5, 13, 30, 50,  // row 2
    32, 16,  4,  1,  0, 10, 22, 38,  // row 3
    36, 20,  8,  3,  2,  6, 18, 34,  // row 4
    48, 28, 15,  7, 11, 14, 26, 46,  // row 5
    56, 43, 27, 19, 23, 31, 42, 54,  // row 6
    63, 55, 47, 35, 39, 51, 59, 62,  // row 7
}};

inline constexpr std::array<std::uint8_t, 100> Seed10A = {{
    97, 17,  7, 43, 33, 23, 69, 79, 59, 84,  // row 0
    47, 37, 27, 63, 73, 53, 85, 94, 14,  4,  // row 1
    67, 77, 57, 82, 95, 15,  5, 44, 34, 24,  // row 2
    86, 92, 12,  2, 45, 35, 25, 64, 74, 54,  // row 3
     6, 42, 32, 22, 65, 75, 55, 80, 96, 16,  // row 4
    26, 62, 72, 52, 88, 90, 10,  0, 46, 36,  // row 5
    56, 81, 98, 18,  8, 40, 30, 20, 66, 76,  // row 6
    11,  1, 48, 38, 28, 60, 70, 50, 89, 91,  // row 7
    31, 21, 68, 78, 58, 83, 99, 19,  9, 41,  // row 8
    71, 51, 87, 93, 13,  3, 49, 39, 29, 61,  // row 9
}};

inline constexpr std::array<std::uint8_t, 100> Seed10B = {{
    84, 59, 79, 69, 33, 23, 43, 17,  7, 97,  // row 0
    14,  4, 94, 85, 53, 73, 63, 37, 27, 47,  // row 1
    34, 24, 44, 15,  5, 95, 82, 57, 77, 67,  // row 2
    54, 74, 64, 35, 25, 45, 12,  2, 92, 86,  // row 3
     6, 96, 80, 55, 75, 65, 32, 22, 42, 16,  // row 4
    26, 46, 10,  0, 90, 88, 52, 72, 62, 36,  // row 5
    76, 66, 30, 20, 40, 18,  8, 98, 81, 56,  // row 6
    91, 89, 50, 70, 60, 38, 28, 48, 11,  1,  // row 7
    41, 19,  9, 99, 83, 58, 78, 68, 31, 21,  // row 8
    61, 39, 29, 49, 13,  3, 93, 87, 51, 71,  // row 9
}};

inline constexpr std::array<std::uint8_t, 100> Seed10C = {{
     4, 24, 72, 57, 37, 77, 94, 99, 54,  9,  // row 0
    14, 44, 80, 85, 65, 25, 45, 60, 34, 19,  // row 1
    39, 79, 90, 95, 50,  5,  0, 20, 74, 59,  // row 2
    66, 26, 46, 61, 30, 15, 10, 40, 81, 86,  // row 3
    51,  6,  1, 21, 70, 55, 35, 75, 91, 96,  // row 4
    31, 16, 11, 41, 83, 88, 68, 28, 48, 63,  // row 5
    71, 56, 36, 76, 93, 98, 53,  8,  3, 23,  // row 6
    82, 87, 67, 27, 47, 62, 33, 18, 13, 43,  // row 7
    92, 97, 52,  7,  2, 22, 73, 58, 38, 78,  // row 8
    49, 64, 32, 17, 12, 42, 84, 89, 69, 29,  // row 9
}};

inline constexpr std::array<std::uint8_t, 100> Seed10D = {{
     4, 54, 99, 94, 77, 37, 57, 72, 24,  9,  // row 0
    14, 34, 60, 45, 25, 65, 85, 80, 44, 19,  // row 1
    59, 74, 20,  5,  0, 50, 95, 90, 79, 39,  // row 2
    86, 81, 40, 15, 10, 30, 61, 46, 26, 66,  // row 3
    96, 91, 75, 35, 55, 70, 21,  6,  1, 51,  // row 4
    63, 48, 28, 68, 88, 83, 41, 16, 11, 31,  // row 5
    23,  8,  3, 53, 98, 93, 76, 36, 56, 71,  // row 6
    43, 18, 13, 33, 62, 47, 27, 67, 87, 82,  // row 7
    78, 38, 58, 73, 22,  7,  2, 52, 97, 92,  // row 8
    29, 69, 89, 84, 42, 17, 12, 32, 64, 49,  // row 9
}};

// Tone curve 1 of the screens: level to tone value, non-decreasing in steps of 0-2.
inline constexpr std::array<std::uint8_t, 256> DizToneTable1 = {{
      0,   1,   2,   3,   4,   6,   7,   8,   9,  10,  11,  12,  13,  14,  15,  17,  // 0-15
     18,  19,  20,  21,  22,  23,  24,  25,  26,  28,  29,  30,  31,  32,  33,  34,  // 16-31
     35,  36,  37,  39,  40,  41,  42,  43,  44,  45,  46,  47,  48,  50,  51,  52,  // 32-47
     53,  54,  55,  56,  57,  58,  59,  60,  62,  63,  64,  65,  66,  67,  68,  69,  // 48-63
     70,  71,  72,  74,  75,  76,  77,  78,  79,  80,  81,  82,  83,  84,  86,  87,  // 64-79
     88,  89,  90,  91,  92,  93,  94,  95,  96,  97,  98,  99, 101, 102, 103, 104,  // 80-95
    105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 118, 119, 120, 121,  // 96-111
    122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132, 133, 134, 135, 136, 137,  // 112-127
    138, 139, 140, 141, 142, 143, 144, 145, 146, 147, 148, 149, 150, 151, 152, 153,  // 128-143
    154, 155, 156, 156, 157, 158, 159, 160, 161, 162, 163, 164, 165, 166, 167, 168,  // 144-159
    169, 170, 171, 172, 172, 173, 174, 175, 176, 177, 178, 179, 180, 181, 182, 183,  // 160-175
    184, 184, 185, 186, 187, 188, 189, 190, 191, 192, 193, 194, 195, 195, 196, 197,  // 176-191
    198, 199, 200, 201, 202, 203, 204, 205, 205, 206, 207, 208, 209, 210, 211, 212,  // 192-207
    213, 214, 215, 215, 216, 217, 218, 219, 220, 221, 222, 223, 224, 224, 225, 226,  // 208-223
    227, 228, 229, 230, 231, 232, 233, 233, 234, 235, 236, 237, 238, 239, 240, 241,  // 224-239
    242, 242, 243, 244, 245, 246, 247, 248, 249, 250, 251, 251, 252, 253, 254, 255,  // 240-255
}};

// Tone curve 2 of the screens: level to tone value, non-decreasing in steps of 0-2.
inline constexpr std::array<std::uint8_t, 256> DizToneTable2 = {{
      0,   1,   2,   3,   5,   6,   7,   8,   9,  10,  11,  13,  14,  15,  16,  17,  // 0-15
     18,  19,  21,  22,  23,  24,  25,  26,  28,  29,  30,  31,  32,  33,  34,  36,  // 16-31
     37,  38,  39,  40,  41,  42,  44,  45,  46,  47,  48,  49,  50,  51,  53,  54,  // 32-47
     55,  56,  57,  58,  59,  61,  62,  63,  64,  65,  66,  67,  68,  70,  71,  72,  // 48-63
     73,  74,  75,  76,  78,  79,  80,  81,  82,  83,  84,  85,  86,  88,  89,  90,  // 64-79
     91,  92,  93,  94,  95,  96,  98,  99, 100, 101, 102, 103, 104, 105, 106, 107,  // 80-95
    109, 110, 111, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 123, 124, 125,  // 96-111
    126, 127, 128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141,  // 112-127
    142, 143, 144, 145, 146, 147, 148, 149, 150, 151, 152, 153, 154, 155, 155, 156,  // 128-143
    157, 158, 159, 160, 161, 162, 163, 164, 165, 166, 167, 167, 168, 169, 170, 171,  // 144-159
    172, 173, 174, 175, 176, 177, 177, 178, 179, 180, 181, 182, 183, 184, 185, 185,  // 160-175
    186, 187, 188, 189, 190, 191, 192, 193, 193, 194, 195, 196, 197, 198, 199, 200,  // 176-191
    201, 201, 202, 203, 204, 205, 206, 207, 207, 208, 209, 210, 211, 212, 213, 214,  // 192-207
    214, 215, 216, 217, 218, 219, 220, 221, 221, 222, 223, 224, 225, 226, 227, 227,  // 208-223
    228, 229, 230, 231, 232, 233, 233, 234, 235, 236, 237, 238, 239, 240, 240, 241,  // 224-239
    242, 243, 244, 245, 246, 246, 247, 248, 249, 250, 251, 252, 252, 253, 254, 255,  // 240-255
}};

// Tone curve 3 of the screens: level to tone value, non-decreasing in steps of 0-2.
inline constexpr std::array<std::uint8_t, 256> DizToneTable3 = {{
      0,   1,   3,   4,   5,   6,   8,   9,  10,  11,  13,  14,  15,  16,  18,  19,  // 0-15
     20,  22,  23,  24,  25,  27,  28,  29,  30,  32,  33,  34,  35,  37,  38,  39,  // 16-31
     40,  42,  43,  44,  45,  47,  48,  49,  50,  52,  53,  54,  55,  57,  58,  59,  // 32-47
     60,  62,  63,  64,  65,  67,  68,  69,  70,  72,  73,  74,  75,  76,  78,  79,  // 48-63
     80,  81,  83,  84,  85,  86,  87,  89,  90,  91,  92,  93,  95,  96,  97,  98,  // 64-79
     99, 101, 102, 103, 104, 105, 107, 108, 109, 110, 111, 112, 114, 115, 116, 117,  // 80-95
    118, 119, 120, 122, 123, 124, 125, 126, 127, 128, 129, 130, 132, 133, 134, 135,  // 96-111
    136, 137, 138, 139, 140, 141, 142, 143, 144, 145, 146, 147, 148, 149, 150, 151,  // 112-127
    152, 153, 154, 155, 156, 156, 157, 158, 159, 160, 161, 162, 163, 164, 165, 165,  // 128-143
    166, 167, 168, 169, 170, 171, 171, 172, 173, 174, 175, 176, 177, 177, 178, 179,  // 144-159
    180, 181, 182, 182, 183, 184, 185, 186, 187, 187, 188, 189, 190, 191, 191, 192,  // 160-175
    193, 194, 195, 196, 196, 197, 198, 199, 200, 200, 201, 202, 203, 204, 204, 205,  // 176-191
    206, 207, 208, 208, 209, 210, 211, 212, 212, 213, 214, 215, 215, 216, 217, 218,  // 192-207
    219, 219, 220, 221, 222, 222, 223, 224, 225, 226, 226, 227, 228, 229, 229, 230,  // 208-223
    231, 232, 233, 233, 234, 235, 236, 236, 237, 238, 239, 240, 240, 241, 242, 243,  // 224-239
    243, 244, 245, 246, 247, 247, 248, 249, 250, 250, 251, 252, 253, 253, 254, 255,  // 240-255
}};
// Tile screens: the small square of the 17-tile screens (1 x 1) and the
// small and large squares of the 34-tile screen (3 x 3 on top of 5 x 5).
inline constexpr std::array<std::uint8_t, 1> TileA1 = {{16}};

inline constexpr std::array<std::uint8_t, 9> TileA3 = {{
    25, 30, 26,  // row 0
    29, 33, 31,  // row 1
    28, 32, 27,  // row 2
}};

inline constexpr std::array<std::uint8_t, 25> TileB5 = {{
    13, 22, 18, 10, 14,  // row 0
     9,  5,  3,  6, 23,  // row 1
    17,  2,  0,  4, 19,  // row 2
    21,  8,  1,  7, 11,  // row 3
    16, 12, 20, 24, 15,  // row 4
}};

// Order in which the tiles take each pattern value: the minor key of a rank.
inline constexpr std::array<std::uint8_t, 17> TileOrder17 = {{
    0, 12, 2, 14, 8, 4, 10, 6, 3, 15, 1, 13, 11, 7, 9, 5, 16,
}};

inline constexpr std::array<std::uint8_t, 34> TileOrder34 = {{
     0, 17,  4, 21, 25,  8, 29, 12,  6, 23,  2, 19, 31, 14, 27, 10, 16,
     1, 18,  5, 22, 26,  9, 30, 13,  7, 24,  3, 20, 32, 15, 28, 11, 33,
}};

// ---- Configuration tables --------------------------------------------------

enum class ToneCurve : std::uint8_t { none, gray, primary, screen1, screen2, screen3 };

constexpr const std::uint8_t* toneCurveTable(ToneCurve curve) noexcept {
    switch (curve) {
        case ToneCurve::gray: return common::GrayToneTable.data();
        case ToneCurve::primary: return common::PrimaryToneTable.data();
        case ToneCurve::screen1: return DizToneTable1.data();
        case ToneCurve::screen2: return DizToneTable2.data();
        case ToneCurve::screen3: return DizToneTable3.data();
        case ToneCurve::none: break;
    }
    return nullptr;
}

// A square seed cell (or a Bayer matrix used as one) and its edge length.
struct SeedCell {
    const std::uint8_t* values;
    std::uint8_t cell;
};

template <std::size_t N>
constexpr SeedCell seedCell(const std::array<std::uint8_t, N>& values) noexcept {
    std::uint8_t edge = 1;
    while (static_cast<std::size_t>(edge) * edge < N) ++edge;
    return SeedCell{values.data(), edge};
}

// The two tile lattices: a x a on top of b x b, a^2 + b^2 tiles.
enum class TileLattice : std::uint8_t { none, small17, large34 };

// Which plane a screen goes to. magentaAndCyan is a tile build whose
// straight copy is the magenta matrix and whose mirrored copy the cyan one.
enum class ScreenPlane : std::uint8_t { cyan, magenta, yellow, black, magentaAndCyan };

// Which screenKind values select a row. Black-only rows never use kind0:
// there a screenKind of 0 falls to other.
enum class ScreenKindSelector : std::uint8_t { kind0, kind1, kind3, other };

// One row of a configuration table: the screen of one plane (or of the
// magenta/cyan pair) for one selector. For tile builds seed is the large
// square's pattern; the small square and tile order follow from lattice.
// Modes 0 and 2 have one level per dot and no groupFactor; modes 1 and 3
// read it. Mode 3 shares mode 2's rows with its own groupFactor and size.
struct ScreenRow {
    bool blackOnly;
    ScreenKindSelector kind;
    ScreenPlane plane;
    TileLattice lattice;  // none for cell builds
    std::uint8_t lowClip;
    std::uint8_t highClip;
    ToneCurve tone;
    SeedCell seed;
    std::uint8_t groupFactor;  // mode 1; mode 3 rows use groupFactorMode3
    std::uint8_t size;
    std::uint8_t groupFactorMode3;
    std::uint8_t sizeMode3;
};

// Short names keep each table row on one line.
namespace screen_rows {
using K = ScreenKindSelector;
using P = ScreenPlane;
using T = ToneCurve;
using Lattice = TileLattice;

// Mode 0: one threshold per dot.
// Columns: blackOnly, screenKind, plane, lattice, lowClip, highClip, tone, seed,
// groupFactor, size, (unused, unused).
inline constexpr std::array<ScreenRow, 16> ScreenRowsMode0 = {{
    {true,  K::kind1, P::black, Lattice::none, 0, 48, T::gray,    seedCell(Bayer8), 0, 32, 0, 0},
    {true,  K::kind3, P::black, Lattice::none, 0,  0, T::none,    seedCell(Seed8N), 0, 32, 0, 0},
    {true,  K::other, P::black, Lattice::none, 0, 24, T::screen1, seedCell(Seed8E), 0, 32, 0, 0},
    {false, K::kind0, P::cyan,    Lattice::none, 0, 20, T::none, seedCell(Seed8B), 0, 32, 0, 0},
    {false, K::kind0, P::magenta, Lattice::none, 0, 20, T::none, seedCell(Seed8C), 0, 32, 0, 0},
    {false, K::kind0, P::yellow,  Lattice::none, 4, 32, T::gray, seedCell(Seed8D), 0, 32, 0, 0},
    {false, K::kind0, P::black,   Lattice::none, 0, 20, T::gray, seedCell(Seed8F), 0, 32, 0, 0},
    {false, K::kind1, P::magentaAndCyan, Lattice::small17, 0, 36, T::gray, seedCell(Bayer4), 0, 17, 0, 0},
    {false, K::kind1, P::yellow, Lattice::none, 0, 28, T::gray, seedCell(Seed4B), 0, 32, 0, 0},
    {false, K::kind1, P::black,  Lattice::none, 0, 28, T::gray, seedCell(Seed4A), 0, 32, 0, 0},
    {false, K::kind3, P::magentaAndCyan, Lattice::small17, 0, 16, T::none, seedCell(Seed4C), 0, 17, 0, 0},
    {false, K::kind3, P::yellow, Lattice::none, 0, 16, T::screen1, seedCell(Seed4C), 0, 32, 0, 0},
    {false, K::kind3, P::black,  Lattice::none, 0, 16, T::none,    seedCell(Seed6A), 0, 24, 0, 0},
    {false, K::other, P::magentaAndCyan, Lattice::small17, 0, 28, T::screen1, seedCell(Seed4A), 0, 17, 0, 0},
    {false, K::other, P::yellow, Lattice::none, 0, 28, T::gray, seedCell(Seed4B), 0, 32, 0, 0},
    {false, K::other, P::black,  Lattice::none, 0, 28, T::gray, seedCell(Seed4A), 0, 32, 0, 0},
}};

// Mode 1: fifteen thresholds per dot, all cell builds.
// Columns: blackOnly, screenKind, plane, lattice, lowClip, highClip, tone, seed,
// groupFactor, size, (unused, unused).
inline constexpr std::array<ScreenRow, 19> ScreenRowsMode1 = {{
    {true,  K::kind1, P::black, Lattice::none, 24, 48, T::gray,    seedCell(Bayer8), 16, 8, 0, 0},
    {true,  K::kind3, P::black, Lattice::none,  0,  0, T::none,    seedCell(Seed8N),  2, 8, 0, 0},
    {true,  K::other, P::black, Lattice::none,  6, 24, T::screen1, seedCell(Seed8E),  8, 8, 0, 0},
    {false, K::kind0, P::cyan,    Lattice::none, 28, 44, T::screen3, seedCell(Seed8G), 16, 8, 0, 0},
    {false, K::kind0, P::magenta, Lattice::none, 28, 44, T::screen3, seedCell(Seed8H), 16, 8, 0, 0},
    {false, K::kind0, P::yellow,  Lattice::none,  8, 32, T::gray,    seedCell(Seed8D),  8, 8, 0, 0},
    {false, K::kind0, P::black,   Lattice::none, 28, 44, T::primary, seedCell(Seed8I), 16, 8, 0, 0},
    {false, K::kind1, P::cyan,    Lattice::none, 32, 44, T::gray,    seedCell(Seed8G), 16, 8, 0, 0},
    {false, K::kind1, P::magenta, Lattice::none, 32, 44, T::gray,    seedCell(Seed8H), 16, 8, 0, 0},
    {false, K::kind1, P::yellow,  Lattice::none,  0, 32, T::gray,    seedCell(Seed8D),  8, 8, 0, 0},
    {false, K::kind1, P::black,   Lattice::none, 32, 44, T::screen3, seedCell(Seed8I), 16, 8, 0, 0},
    {false, K::kind3, P::cyan,    Lattice::none,  8, 24, T::none,    seedCell(Seed10A), 10, 10, 0, 0},
    {false, K::kind3, P::magenta, Lattice::none,  8, 24, T::none,    seedCell(Seed10B), 10, 10, 0, 0},
    {false, K::kind3, P::yellow,  Lattice::none,  0, 24, T::screen1, seedCell(Seed3A),   1, 12, 0, 0},
    {false, K::kind3, P::black,   Lattice::none,  4, 24, T::none,    seedCell(Seed4D),   2, 8, 0, 0},
    {false, K::other, P::cyan,    Lattice::none, 20, 40, T::gray,    seedCell(Seed5A),  5, 5, 0, 0},
    {false, K::other, P::magenta, Lattice::none, 20, 40, T::gray,    seedCell(Seed5B),  5, 5, 0, 0},
    {false, K::other, P::yellow,  Lattice::none,  0, 40, T::gray,    seedCell(Seed4D),  2, 8, 0, 0},
    {false, K::other, P::black,   Lattice::none, 20, 40, T::primary, seedCell(Seed4E),  4, 8, 0, 0},
}};

// Modes 2 (one threshold per dot) and 3 (three per dot) share their screens.
// Columns: blackOnly, screenKind, plane, lattice, lowClip, highClip, tone, seed,
// (unused), size in mode 2, groupFactor in mode 3, size in mode 3.
inline constexpr std::array<ScreenRow, 18> ScreenRowsMode2And3 = {{
    {true,  K::kind1, P::black, Lattice::none, 16, 64, T::gray,    seedCell(Seed8L), 0, 32, 4, 16},
    {true,  K::kind3, P::black, Lattice::none,  0,  0, T::none,    seedCell(Seed8O), 0, 32, 1, 16},
    {true,  K::other, P::black, Lattice::none,  8, 32, T::screen1, seedCell(Seed8N), 0, 32, 2, 16},
    {false, K::kind0, P::cyan,    Lattice::none, 32, 44, T::gray, seedCell(Seed8J), 0, 32, 4, 16},
    {false, K::kind0, P::magenta, Lattice::none, 32, 44, T::gray, seedCell(Seed8K), 0, 32, 4, 16},
    {false, K::kind0, P::yellow,  Lattice::none, 32, 44, T::gray, seedCell(Seed8L), 0, 32, 4, 16},
    {false, K::kind0, P::black,   Lattice::none, 32, 44, T::gray, seedCell(Seed8M), 0, 32, 4, 16},
    {false, K::kind1, P::cyan,    Lattice::none, 52, 48, T::screen3, seedCell(Seed10A), 0, 20, 10, 10},
    {false, K::kind1, P::magenta, Lattice::none, 52, 48, T::screen3, seedCell(Seed10B), 0, 20, 10, 10},
    {false, K::kind1, P::yellow,  Lattice::none, 24, 40, T::gray,    seedCell(Seed6A),  0, 24, 2, 12},
    {false, K::kind1, P::black,   Lattice::none, 24, 40, T::gray,    seedCell(Seed4C),  0, 32, 1, 16},
    {false, K::kind3, P::magentaAndCyan, Lattice::large34, 8, 24, T::screen2, seedCell(TileB5), 0, 34, 34, 34},
    {false, K::kind3, P::yellow,  Lattice::none,  0, 24, T::screen2, seedCell(Seed8A), 0, 32, 2, 16},
    {false, K::kind3, P::black,   Lattice::none, 16, 28, T::screen2, seedCell(Seed5C), 0, 20, 1, 10},
    {false, K::other, P::cyan,    Lattice::none, 24, 40, T::gray, seedCell(Seed10C), 0, 20, 5, 10},
    {false, K::other, P::magenta, Lattice::none, 24, 40, T::gray, seedCell(Seed10D), 0, 20, 5, 10},
    {false, K::other, P::yellow,  Lattice::none, 24, 40, T::gray, seedCell(Seed6A),  0, 24, 2, 12},
    {false, K::other, P::black,   Lattice::none, 24, 40, T::gray, seedCell(Seed4C),  0, 32, 1, 16},
}};

}  // namespace screen_rows

using screen_rows::ScreenRowsMode0;
using screen_rows::ScreenRowsMode1;
using screen_rows::ScreenRowsMode2And3;

// clang-format on
}  // namespace huecl::later
