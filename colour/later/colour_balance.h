// Colour balance of the later generation: rows adjusted in place before
// matching (RGB: tone table, brightness, saturation, balance curves) and
// after it (CMYK: saturation of the three colours, tone table, which
// frame/ takes straight from common::balanceCmyRow).
#pragma once

#include <cstdint>

#include "colour/common/balance_rows.h"

namespace huecl::later {

using RgbBalance = common::RgbBalance;

// count pixels of 3 bytes (blue, green, red), rewritten in place; balance
// levels 1-9 and 11-30 select curves, in pairs above 10.
void balanceRgbRow(std::uint32_t count, std::uint8_t* pixels, const RgbBalance& balance) noexcept;

}  // namespace huecl::later
