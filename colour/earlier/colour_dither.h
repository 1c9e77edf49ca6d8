// Ordered dithering of the earlier generation: one source row of CMYK
// pixels into one-bit planes against the 17 x 17 cyan and magenta and the
// 16 x 16 yellow and black threshold matrices, scaled to the device grid,
// with the record counters.
#pragma once

#include "huecl32.h"

namespace huecl::earlier {

// Dithers the row at draw.srcPixels into the planes at the plane pointers
// themselves (row r of the call at plane + r * lineBytes) and advances
// srcY by one and devY and devRow by the rows written. Takes the fast
// paths where they apply and the general procedure elsewhere; both give
// the same bytes.
void ditherColourRow(const QvDizInf& dither, QvrDrwInf& draw) noexcept;

// The general procedure, dot by dot with a remainder per matrix look-up
// and the stepping divisions per pixel. It serves the rows the fast paths
// leave (stepping products or device columns that wrap past 32 bits) and
// is the reference the fast paths are tested against.
void ditherColourRowGeneral(const QvDizInf& dither, QvrDrwInf& draw) noexcept;

}  // namespace huecl::earlier
