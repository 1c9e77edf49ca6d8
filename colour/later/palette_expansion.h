// Palette expansion: a row of packed palette indices becomes a row of the
// palette's 32-bit entries, one per pixel.
#pragma once

#include <cstdint>

namespace huecl::later {

// Writes count 32-bit entries (4 bytes each, copied unchanged in host
// order) to destination. Codes are bitsPerPixel wide, packed most
// significant bit first; a code wider than 8 bits indexes the palette with
// its last 8 bits, and width 0 takes entry 0 for every pixel.
//
// Widths 1, 2 and 4 take their codes by shifting each source byte left in
// place: afterwards a fully used byte holds its old value shifted by 7, 6
// or 4 (truncated to 8 bits), the partly used last byte of a 1- or 2-bit
// row is shifted by one code per pixel taken from it, and the byte holding
// the odd last code of a 4-bit row is left alone. Every other width only
// reads the source.
void expandPaletteRow(std::uint32_t bitsPerPixel, std::uint32_t count, std::uint8_t* source, std::uint8_t* destination,
                      const std::uint8_t* palette) noexcept;

}  // namespace huecl::later
