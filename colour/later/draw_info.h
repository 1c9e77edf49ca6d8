// Band geometry of the later generation: derives a band's origin in source
// units, its width in device dots and the bytes of one plane row.
#pragma once

#include <cstdint>

#include "huecl32.h"

namespace huecl::later {

// Bits that each device dot occupies in a plane row, as row sizing reads
// the dither mode: modes 0 and 2 one, mode 3 two, mode 1 and all others
// four.
std::uint32_t bitsPerDeviceDot(std::uint32_t ditherMode) noexcept;

// Writes srcX, srcY, devWidth and lineBytes of draw and returns how many
// source rows fit into plane buffers of bufferBytes each. Fields that a
// zero resolution leaves undefined are not written, and the result is 0
// whenever a row needs no bytes or a divisor is 0.
std::uint32_t setUpDrawInformation(std::uint32_t ditherMode, QvrDrwInf& draw, std::uint32_t bufferBytes) noexcept;

}  // namespace huecl::later
