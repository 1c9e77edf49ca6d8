// Density (toner) curves: one signed setting bends a 256-entry tone curve
// while level 0 stays 0 and level 255 stays 255.
#pragma once

#include <cstdint>

namespace huecl::later {

// Writes all 256 entries of table for the given setting.
void buildDensityTable(std::int32_t density, std::uint8_t* table) noexcept;

}  // namespace huecl::later
