// The earlier generation's screens and sample tiles.
//
// buildDitherPatterns fills the threshold matrices of a QvDizInf: in colour
// an angled 17 x 17 screen for magenta, its left-right mirror for cyan and
// 16 x 16 screens for yellow and black; in monochrome only the 16 x 16
// black screen. A dot prints where its level is strictly greater than the
// cell (cell (row, column) at edge x row + column).
//
// drawSampleTile draws a 32 x 32 one-bit tile of one ink at one level, for
// showing a screen to the user; it reads no matrix of the record.
#pragma once

#include <cstdint>

#include "colour/earlier/pattern_tables.h"
#include "huecl32.h"

namespace huecl::earlier {

inline constexpr std::uint32_t kAngledScreenEdge = 17;  // cyan and magenta
inline constexpr std::uint32_t kAngledScreenBytes = kAngledScreenEdge * kAngledScreenEdge;
inline constexpr std::uint32_t kSquareScreenEdge = 16;  // yellow, black, monochrome black
inline constexpr std::uint32_t kSquareScreenBytes = kSquareScreenEdge * kSquareScreenEdge;

inline constexpr std::uint32_t kSampleTileEdge = 32;
inline constexpr std::uint32_t kSampleTileRowBytes = kSampleTileEdge / 8;
inline constexpr std::uint32_t kSampleTileBytes = kSampleTileEdge * kSampleTileRowBytes;
inline constexpr std::uint32_t kSampleToneFull = 1024;  // sample tone of level 255

// The screens and tiles take monoFlag 1 as monochrome and every other value
// as colour (the dithering itself takes every non-zero value as monochrome).
constexpr bool isMonochromeScreen(std::uint32_t monoFlag) noexcept { return monoFlag == 1; }

// Mode index of the colour screens: screen modes 0 and 1 give 0, 2 gives 1,
// 3 gives 2. There are tables for three modes only, so every mode above 3
// builds the screens of mode index 0 as well.
constexpr std::uint32_t colourModeIndex(std::uint32_t screenMode) noexcept {
    return (screenMode == 2 || screenMode == 3) ? screenMode - 1 : 0;
}

// Threshold of a seed cell of the angled screen: the seeds carry the 17
// highest levels (272 + order) without tone limit.
std::uint8_t angledSeedThreshold(std::uint32_t order) noexcept;

// Threshold of a block cell of the angled screen at level 0-271 under a tone
// limit in percent (knee at level 144; never below 3).
std::uint8_t angledBlockThreshold(std::uint32_t level, std::uint32_t toneLimit) noexcept;

// Threshold of a square-screen cell at level 0-255 under a tone limit in
// percent (knee at level 128; never below 4).
std::uint8_t squareThreshold(std::uint32_t level, std::uint32_t toneLimit) noexcept;

// The colour screens of a screen mode: magenta and cyan 289 bytes each,
// yellow and black 256 bytes each.
void buildColourScreens(std::uint32_t screenMode, std::uint8_t* cyan, std::uint8_t* magenta, std::uint8_t* yellow,
                        std::uint8_t* black) noexcept;

// The monochrome black screen of a screen mode (256 bytes): four quarters of
// one 8 x 8 print matrix, interleaved by MonoTileOffsets, covering 0-255.
void buildMonochromeScreen(std::uint32_t screenMode, std::uint8_t* black) noexcept;

// Fills the matrices that info points to: all four in colour, ptnK alone in
// monochrome. Reads monoFlag and screenMode only.
void buildDitherPatterns(const QvDizInf& info) noexcept;

// The print matrix and tone knee (percent) of a sample tile.
struct SampleScreen {
    PrintMatrixName matrix;
    std::uint32_t knee;
};
SampleScreen chooseSampleScreen(bool monochrome, std::uint32_t screenMode, std::uint32_t colour) noexcept;

// Sample tone (0-1024) of a level (0-255) under a knee in percent: linear
// up to level knee x 255 / 200, which reaches about 512, then linear on to
// 1024 at level 255. A knee above 100 lightens the tile.
std::uint32_t sampleTone(std::uint32_t level, std::uint32_t knee) noexcept;

// Draws the 128-byte tile of one ink (0 cyan, 1 magenta, 2 yellow, 3 and
// above black) at one level: 32 rows of 4 bytes, first dot in bit 7.
void drawSampleTile(const QvDizInf& info, std::uint32_t colour, std::uint32_t level, std::uint8_t* tile) noexcept;

}  // namespace huecl::earlier
