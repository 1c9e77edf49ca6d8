// Error diffusion of the earlier generation: CMYK rows into one-bit planes
// (the alternative to ordered dithering) and RGB rows reduced in place to
// multiples of 8, both through one cycle of six error filters whose error
// rows live in the caller's QvErrInf between calls.
#pragma once

#include <cstdint>

#include "huecl32.h"

namespace huecl::earlier {

// Diffuses the CMYK row at draw.srcPixels into the planes (row r of the
// call at plane + r * lineBytes; all four planes' rows are cleared, only
// black is diffused when monoFlag is non-zero) and advances srcY by one and
// devY and devRow by the rows written. Uses the CMYK set that cmykSet
// selects: 0 set 0, any other value set 1. A call that writes no rows
// leaves the error rows and the set's last row number alone.
void diffuseCmykRow(const QvDizInf& dither, QvrDrwInf& draw, QvErrInf& errors) noexcept;

// Reduces srcWidth RGB pixels in place to multiples of 8, passing the
// rounding error on; row number srcY, columns from devX. Uses the RGB set
// that rgbSet selects (0 set 0, any other value set 1).
void diffuseRgbRow(const QvrDrwInf& draw, QvErrInf& errors, std::uint8_t* pixels) noexcept;

// The general procedures, dot by dot with the divisions written out. They
// serve what the fast paths leave (stepping or columns that wrap past 32
// bits) and are the reference the fast paths are tested against.
void diffuseCmykRowGeneral(const QvDizInf& dither, QvrDrwInf& draw, QvErrInf& errors) noexcept;
void diffuseRgbRowGeneral(const QvrDrwInf& draw, QvErrInf& errors, std::uint8_t* pixels) noexcept;

// The fast paths' division of a filter's weighted sum by its total
// (row number mod 6 selects the filter), truncating toward zero: a
// multiply and a shift, exact for every sum of four 16-bit cells.
std::int32_t divideByKernelTotal(std::int32_t sum, std::uint32_t kernel) noexcept;
// The same division as the four-colorant path does it, one sum per lane
// (with SSE2; elsewhere the one above).
std::int32_t divideByKernelTotalInLanes(std::int32_t sum, std::uint32_t kernel) noexcept;

}  // namespace huecl::earlier
