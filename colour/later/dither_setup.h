// Threshold-matrix set-up of the later generation: builds the screen of
// every plane that a dither record selects into the caller's buffers.
#pragma once

#include <array>
#include <cstdint>

#include "huecl32.h"

namespace huecl::later {

// Bytes per matrix dot: thresholds per dot of a dither mode as set-up reads
// it (values above 3 count as mode 2).
std::uint32_t thresholdsPerDot(std::uint32_t ditherMode) noexcept;

// Highlight/shadow stretch of one build: linear through (lowClip, 0) and
// (128, 128), then through (128, 128) towards 254 at 255 - highClip.
std::array<std::uint8_t, 256> buildStretchTable(std::uint32_t lowClip, std::uint32_t highClip) noexcept;

// One threshold from a dot's rank (0 .. topRank) through the optional tone
// curve and the stretch of its build.
std::uint8_t finishThreshold(std::uint32_t rank, std::uint32_t topRank, const std::uint8_t* tone,
                             const std::array<std::uint8_t, 256>& stretch) noexcept;

// Builds the matrices that info selects and writes their sizes back.
void setUpDitherMatrices(QvrDizInf& info) noexcept;

}  // namespace huecl::later
