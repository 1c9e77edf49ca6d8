// Colour balance of the earlier generation: RGB rows adjusted in place
// before matching (tone table, brightness, saturation, a balance curve per
// primary chosen by this generation's own pairing of levels), CMYK rows
// after it (one tone table on all four components).
#pragma once

#include <cstdint>

#include "colour/common/balance_rows.h"

namespace huecl::earlier {

using RgbBalance = common::RgbBalance;

// count pixels of 3 bytes (blue, green, red), rewritten in place. Levels
// 1-9 select their curves; a level above 10 is first rounded down to even,
// and 12-30 then select theirs, so 11, like 10, 0 and below and 32 and
// above, leaves its component alone.
void balanceRgbRow(std::uint32_t count, std::uint8_t* pixels, const RgbBalance& balance) noexcept;

// count pixels of 4 bytes, every byte replaced by its entry of the 256-byte
// cmyTable; a null table leaves the row as it is.
void toneCmykRow(std::uint32_t count, std::uint8_t* pixels, const std::uint8_t* cmyTable) noexcept;

}  // namespace huecl::earlier
