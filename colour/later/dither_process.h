// Row dithering of the later generation: one source row of CMYK pixels
// into packed 1-, 2- or 4-bit colorant planes through the screens that the
// set-up built, with integer resolution stepping and the record counters.
#pragma once

#include <cstdint>

#include "huecl32.h"

namespace huecl::later {

// Screens one source row and advances srcY, devY and devRow. Takes the
// fast paths where they apply and the general procedure elsewhere; both
// give the same bytes.
void ditherRow(const QvrDizInf& dither, QvrDrwInf& draw) noexcept;

// The general procedure, dot by dot with a remainder per column and a
// division per pixel. It serves the rows the fast paths leave (huge or
// wrapping geometry, very large matrices) and is the reference the fast
// paths are tested against.
void ditherRowGeneral(const QvrDizInf& dither, QvrDrwInf& draw) noexcept;

// Dot values from a level and one threshold cell, with the probe order of
// the 2- and 4-bit comparisons. A cell that is not ascending gets whatever
// that order yields.
std::uint32_t twoBitDotValue(std::uint32_t level, const std::uint8_t* cell) noexcept;
std::uint32_t fourBitDotValue(std::uint32_t level, const std::uint8_t* cell) noexcept;

}  // namespace huecl::later
