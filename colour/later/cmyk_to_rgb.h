// CMYK back to RGB through a caller's four-axis table: trilinear over cyan,
// magenta and yellow inside a black slice, then a blend of the two black
// slices around the pixel's black.
#pragma once

#include <cstdint>

namespace huecl::later {

// Converts count CMYK pixels of source (4 bytes each) into destination
// (3 bytes each, blue, green, red; a separate buffer). The table has
// gridSize^4 entries of red, green and blue, yellow fastest and black
// slowest; a grid size of 0 works as 1. A pixel without any colorant copies
// entry 0 in its stored order, every other pixel is written reversed.
void convertCmykRowToRgb(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
                         std::uint32_t gridSize, const std::uint8_t* table) noexcept;

}  // namespace huecl::later
